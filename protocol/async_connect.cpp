#include "protocol/async_connect.h"

#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "runtime/inet4_addr.h"

namespace ASync {

Connect::Connect() {
    event.Bind("Connect::OnSocketEvent", &Connect::OnSocketEvent, this);
}

Connect::~Connect() {
    timer.reset();
    event.Release();
    sock.close();
}

void Connect::Start(const std::string& address, unsigned timeout) {
    Stop();
    if (status == Status::Connecting) return;  // the handler started another attempt meanwhile
    status = Status::Connecting;
    INet4::Addr peer;
    int port = -1;
    if (!peer.Assign(address, &port) || port < 0) return Complete(Status::Failed);
    sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (!sock || !sock.NonBlock()) return Complete(Status::Failed);
    const sockaddr_in& sa = peer.sockaddr();
    if (::connect(sock.get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0)
        return Complete(Status::Connected);
    if (errno != EINPROGRESS) return Complete(Status::Failed);
    event.Schedule(sock, POLLOUT);
    timer.set(timeout, &Connect::OnTimeOut, this);
}

void Connect::OnSocketEvent(int, short revents) {
    if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
        Complete(Status::Failed);
    } else if (revents & POLLOUT) {
        int pending = 0;
        socklen_t len = sizeof pending;
        bool ok =
            ::getsockopt(sock.get(), SOL_SOCKET, SO_ERROR, &pending, &len) == 0 && pending == 0;
        Complete(ok ? Status::Connected : Status::Failed);
    }
}

// Leaves nothing behind before the handler runs, which may start again or
// destroy this object; the duplicate it is given is a local.
void Connect::Complete(Status::Type s) {
    if (status != Status::Connecting) return;
    Fd handed = s == Status::Connected ? sock.dup() : Fd();
    if (s == Status::Connected && !handed) s = Status::Failed;  // no descriptor left to hand over
    status = s;
    sock.close();
    event.Release();
    timer.reset();
    Notify(s, handed);
    handed.close();
}

}  // namespace ASync
