#ifndef KORVAND_BOARD_SIM_POLLER_H
#define KORVAND_BOARD_SIM_POLLER_H

#include <functional>
#include <map>
#include <string>

// The descriptors the simulated board's models watch themselves (sockets
// to processes outside the daemon), gathered in one epoll set: whoever runs
// the board polls descriptor() for reading and calls serve() when it is
// readable. Nothing here blocks.
class SimPoller {
  public:
    SimPoller();
    ~SimPoller();
    SimPoller(const SimPoller&) = delete;
    SimPoller& operator=(const SimPoller&) = delete;

    int descriptor() const { return epoll_; }

    // Calls `ready` whenever `fd` is readable or hung up, until unwatch().
    bool watch(int fd, std::function<void()> ready);
    void unwatch(int fd);

    // Runs the callbacks of the descriptors that are ready now.
    void serve();

  private:
    int epoll_;
    std::map<int, std::function<void()>> watched_;
};

// A Unix socket of `type` bound at `path` (a socket left there is replaced),
// non-blocking and close-on-exec; -1 when it cannot be made.
int bindUnixSocket(const std::string& path, int type);

// Whether a datagram socket is bound at `path` and still open: false for a
// socket file left by a process that has gone, and for no file at all.
bool datagramSocketAnswers(const std::string& path);

#endif
