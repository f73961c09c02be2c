#include "protocol/listen_socket.h"

#include <errno.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "protocol/control_service.h"

namespace Control {

namespace {

// Errors after which the same client is still pending: retrying at once
// would only spin.
bool OutOfResources(int err) {
    return err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM;
}

}  // namespace

void RemoveStaleSocket(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path.c_str());
}

ListenSocket::ListenSocket(Service& s, const char* event_name) : service(s) {
    event.Bind(event_name, &ListenSocket::OnSocketEvent, this);
}

void ListenSocket::Open(const SockAddr& a) {
    Close();
    address = a;
    Attempt();
}

void ListenSocket::Close() {
    retry.reset();
    event.Release();
    sock.close();
    bound = false;
    ready = false;
    awaiting_release = false;
}

// Goes as far as it can towards listening; what may pass is tried again
// on the timer.
void ListenSocket::Attempt() {
    if ((!sock && !CreateSocket()) || (!bound && !BindSocket())) {
        retry.set(retry_ms, &ListenSocket::OnTimeout, this);
        return;
    }
    if (!ready && !Listen()) return;
    event.Schedule(sock, POLLIN);
}

void ListenSocket::OnTimeout(Timer*) {
    Attempt();
}

bool ListenSocket::CreateSocket() {
    bool inet = address.family() == AF_INET;
    sock = ::socket(address.family(), SOCK_STREAM | SOCK_CLOEXEC, inet ? IPPROTO_TCP : 0);
    if (!sock) {
        if (service.trace) std::cerr << "can't create socket:" << std::strerror(errno) << std::endl;
        return false;
    }
    int one = 1;
    if (inet) (void)::setsockopt(sock.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    return true;
}

bool ListenSocket::BindSocket() {
    if (address.family() == AF_UNIX) RemoveStaleSocket(address.path());
    if (::bind(sock.get(), address.get(), address.size()) != 0) {
        if (service.trace)
            std::cerr << "can't bind to socket: \"" << std::strerror(errno) << "\"  waiting..."
                      << std::endl;
        return false;
    }
    bound = true;
    return true;
}

// A failure here is not expected to pass: the service goes Idle.
bool ListenSocket::Listen() {
    const char* what = nullptr;
    if (::listen(sock.get(), backlog) != 0)
        what = "can't listen socket: ";
    else if (!sock.NonBlock())
        what = "can't set socket to non block mode: ";
    if (what) {
        if (service.trace) std::cerr << what << std::strerror(errno) << std::endl;
        service.Deactivate();
        return false;
    }
    ready = true;
    return true;
}

// ---- clients --------------------------------------------------------------------

void ListenSocket::OnSocketEvent(int, short revents) {
    if (!(revents & POLLIN)) return;
    // Each client taken may end the listening (a callback that deactivates
    // the service closes this socket).
    while (sock && service.state != Service::Deactivating) {
        // The stream layer has yet to read the hang-up (and what came
        // before it); out of the loop meanwhile, or it would spin.
        if (service.state == Service::Connected && service.PeerClosed()) {
            awaiting_release = true;
            event.Release();
            return;
        }
        SockAddr peer;
        int fd = ::accept4(sock.get(), peer.receive(), peer.receive_size(),
                           SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (OutOfResources(errno)) Pause(errno);
            return;
        }
        Take(Fd(fd), peer);
    }
}

void ListenSocket::Resume() {
    if (!awaiting_release) return;
    awaiting_release = false;
    event.Schedule(sock, POLLIN);
}

void ListenSocket::Take(Fd client, const SockAddr& peer) {
    if (service.state == Service::Connected) {
        if (service.trace) std::cerr << "refuse connection from " << peer.text() << std::endl;
        service.ImplRefuseConnection();
    } else {
        if (service.trace) std::cout << "new connection from " << peer.text() << std::endl;
        service.Admit(client, peer);
        service.ImplConnected(client);
    }
    // The stream layer and the acceptor keep their own duplicates.
    client.close();
}

void ListenSocket::Pause(int error) {
    if (service.trace)
        std::cerr << "can't accept connection: \"" << std::strerror(error) << "\"  waiting..."
                  << std::endl;
    event.Release();
    retry.set(retry_ms, &ListenSocket::OnTimeout, this);
}

}  // namespace Control
