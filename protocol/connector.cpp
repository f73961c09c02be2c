#include "protocol/connector.h"

#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <iostream>

#include "protocol/listen_socket.h"

namespace Control {

ConnectSocket::ConnectSocket(Service& s, const char* event_name, const Texts& t)
    : service(s), texts(t) {
    event.Bind(event_name, &ConnectSocket::OnSocketEvent, this);
}

void ConnectSocket::Start(const SockAddr& p, const std::string& t, const SockAddr& l) {
    Stop();
    peer = p;
    target = t;
    local = l;
    fast = fast_retries;
    TryConnect();
}

void ConnectSocket::Stop() {
    event.Release();
    sock.close();
    retry.reset();
}

void ConnectSocket::Reconnect() {
    retry.set(reconnect_ms, &ConnectSocket::OnTimeout, this);
}

void ConnectSocket::Retry(unsigned slow_ms) {
    event.Release();
    sock.close();
    unsigned ms = slow_ms;
    if (fast > 0) {
        --fast;
        ms = fast_retry_ms;
    }
    retry.set(ms, &ConnectSocket::OnTimeout, this);
}

void ConnectSocket::TryConnect() {
    Stop();
    bool inet = peer.family() != AF_UNIX;
    sock = ::socket(inet ? AF_INET : AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, inet ? IPPROTO_TCP : 0);
    if (!sock) {
        // Out of descriptors or buffers passes: try again as after a refusal.
        std::cerr << texts.create_failed << std::strerror(errno) << std::endl;
        Retry(refused_retry_ms);
        return;
    }
    if (!sock.NonBlock()) {
        std::cerr << texts.non_block_failed << std::strerror(errno) << std::endl;
        service.Deactivate();
        return;
    }
    if (local.valid()) BindLocal();
    int r = peer.valid() ? ::connect(sock.get(), peer.get(), peer.size()) : (errno = EINVAL, -1);
    if (r == 0) {
        Succeed(std::clog, texts.connected_at_once, "");
    } else if (errno == EINPROGRESS) {
        event.Schedule(sock, POLLOUT);
    } else {
        std::cerr << "can't connect to " << target << " : " << std::strerror(errno) << std::endl;
        Retry(refused_retry_ms);
    }
}

void ConnectSocket::BindLocal() {
    RemoveStaleSocket(local.path());
    if (::bind(sock.get(), local.get(), local.size()) != 0)
        std::cerr << "can't bind to domain socket '" << local.path() << "': \""
                  << std::strerror(errno) << std::endl;
}

void ConnectSocket::OnSocketEvent(int, short revents) {
    if (revents & (POLLERR | POLLHUP)) {
        std::cerr << "fail to connect to " << target << std::endl;
        Retry(failed_retry_ms);
        return;
    }
    if (!(revents & POLLOUT)) return;
    event.Release();
    int pending = 0;
    socklen_t len = sizeof pending;
    if (::getsockopt(sock.get(), SOL_SOCKET, SO_ERROR, &pending, &len) != 0) {
        std::cerr << "getsockopt(SOL_SOCKET,SO_ERROR) fail: " << std::strerror(errno) << std::endl;
        service.Deactivate();
    } else if (pending == 0) {
        Succeed(std::cout, "connected to ", ".");
    } else {
        std::cerr << "fail to connect to " << target << std::endl;
        Retry(completed_with_error_retry_ms);
    }
}

// The stream layer takes its own duplicate; the connecting socket goes.
void ConnectSocket::Succeed(std::ostream& os, const char* text, const char* end) {
    os << text << target << end << std::endl;
    Fd connected = sock;
    sock = Fd();
    service.Admit(connected, peer);
    connected.close();
}

// ---- ConnectorNet ---------------------------------------------------------------------

const ConnectSocket::Texts ConnectorNet::texts = {
    "can't create socket:", "can't set socket to non block mode: ", "already connected to "};

ConnectorNet::ConnectorNet(const std::string& h, unsigned short p)
    : Connecting("ConnectorNet::OnSocketEvent", texts), port(p), host(h) {}

ConnectorNet::ConnectorNet(const std::string& address) : ConnectorNet(address, 0) {
    INet4::Addr a;
    int parsed = -1;
    if (a.Assign(address, &parsed) && parsed >= 0) {
        port = uint16_t(parsed);
        host = a.GetString().substr(0, a.GetString().rfind(':'));
    }
}

bool ConnectorNet::ImplActivate() {
    INet4::Addr a;
    int parsed = -1;
    // A host that is no dotted quad leaves the address unusable: every
    // attempt then fails and is retried like a refusal.
    bool ok = !host.empty() && a.Assign(host, &parsed) && parsed == -1;
    a.setPort(port);
    link.Start(ok ? SockAddr(a) : SockAddr(), host + ":" + std::to_string(port));
    return true;
}

// ---- ConnectorUnix ----------------------------------------------------------------------

const ConnectSocket::Texts ConnectorUnix::texts = {
    "can't create domain socket:", "can't set domain socket to non block mode: ", "connected to "};

ConnectorUnix::ConnectorUnix(const std::string& p, const std::string& l)
    : Connecting("ConnectorUnix::OnSocketEvent", texts), path(p), local(l) {}

bool ConnectorUnix::ImplActivate() {
    SockAddr server;
    SockAddr own;
    if (!server.set_local(path) || (!local.empty() && !own.set_local(local))) {
        std::cerr << "bad socket path: \"" << (server.valid() ? local : path) << "\"" << std::endl;
        return false;
    }
    link.Start(server, path, own);
    return true;
}

}  // namespace Control
