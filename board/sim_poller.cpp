#include "board/sim_poller.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <vector>

SimPoller::SimPoller() : epoll_(::epoll_create1(EPOLL_CLOEXEC)) {}

SimPoller::~SimPoller() {
    if (epoll_ >= 0) ::close(epoll_);
}

bool SimPoller::watch(int fd, std::function<void()> ready) {
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.fd = fd;
    if (epoll_ < 0 || ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e) != 0) return false;
    watched_[fd] = std::move(ready);
    return true;
}

void SimPoller::unwatch(int fd) {
    if (watched_.erase(fd)) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
}

void SimPoller::serve() {
    epoll_event events[16];
    int n = epoll_ < 0 ? 0 : ::epoll_wait(epoll_, events, 16, 0);
    std::vector<int> ready;
    for (int i = 0; i < n; ++i) ready.push_back(events[i].data.fd);
    // A callback may unwatch another descriptor: look each one up afresh.
    for (int fd : ready) {
        auto it = watched_.find(fd);
        if (it == watched_.end()) continue;
        std::function<void()> call = it->second;
        call();
    }
}

namespace {

// The address of `path`; false when it is empty or too long for one.
bool unixAddress(const std::string& path, sockaddr_un& a) {
    std::memset(&a, 0, sizeof a);
    if (path.empty() || path.size() >= sizeof a.sun_path) return false;
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path, path.c_str(), path.size());
    return true;
}

}  // namespace

int bindUnixSocket(const std::string& path, int type) {
    sockaddr_un a;
    if (!unixAddress(path, a)) return -1;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path.c_str());
    int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Connecting a datagram socket only names its peer: it succeeds when a
// socket is bound there and open, fails with ECONNREFUSED at a file whose
// socket has been closed and with ENOENT where there is none.
bool datagramSocketAnswers(const std::string& path) {
    sockaddr_un a;
    if (!unixAddress(path, a)) return false;
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool answers = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return answers;
}
