#include "board/sim_mcc_peer.h"

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

#include "board/fs_root.h"

SimMccPeer::SimMccPeer(SimPoller& poller, std::function<void(const Frame&)> receive)
    : poller_(poller), receive_(std::move(receive)) {}

SimMccPeer::~SimMccPeer() {
    hangUp();
    if (listen_ < 0) return;
    poller_.unwatch(listen_);
    ::close(listen_);
    ::unlink(path_.c_str());
}

bool SimMccPeer::listen(const std::string& path) {
    int fd = bindUnixSocket(path, SOCK_SEQPACKET);
    if (fd < 0) return false;
    if (::listen(fd, 1) != 0 || !poller_.watch(fd, [this] { accept(); })) {
        ::close(fd);
        ::unlink(path.c_str());
        return false;
    }
    listen_ = fd;
    path_ = path;
    return true;
}

namespace {

// An absolute path without ".." components, so it stays below the root.
bool underRoot(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.find("/../") != std::string::npos) return false;
    return path.size() < 3 || path.compare(path.size() - 3, 3, "/..") != 0;
}

}  // namespace

std::unique_ptr<SimMccPeer> SimMccPeer::belowRoot(SimPoller& poller, const std::string& path,
                                                  std::function<void(const Frame&)> receive) {
    if (!underRoot(path)) return nullptr;
    std::unique_ptr<SimMccPeer> peer(new SimMccPeer(poller, std::move(receive)));
    if (!peer->listen(Fs::path(path))) return nullptr;
    return peer;
}

// A new process takes the place of one still connected: a restarted peer
// may connect before its old socket's end has been noticed.
void SimMccPeer::accept() {
    int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    hangUp();
    if (!poller_.watch(fd, [this] { read(); })) {
        ::close(fd);
        return;
    }
    conn_ = fd;
}

void SimMccPeer::read() {
    Frame buf(65536);
    for (;;) {
        ssize_t n = ::recv(conn_, buf.data(), buf.size(), MSG_DONTWAIT);
        if (n > 0) {
            receive_(Frame(buf.begin(), buf.begin() + n));
            if (conn_ < 0) return;  // the receiver hung up on it
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        return hangUp();  // end of the connection, or a broken one
    }
}

void SimMccPeer::hangUp() {
    if (conn_ < 0) return;
    poller_.unwatch(conn_);
    ::close(conn_);
    conn_ = -1;
}

bool SimMccPeer::send(const Frame& frame) {
    return conn_ >= 0 &&
           ::send(conn_, frame.data(), frame.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0;
}
