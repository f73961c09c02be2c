#ifndef KORVAND_BENCH_DAEMON_H
#define KORVAND_BENCH_DAEMON_H

// The daemon binary (KORVAND_BINARY, defined by the benchmark's .cmake) run
// on the simulated board for benchmarks that talk to it over loopback, with
// a blocking controller connection.

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "bench/daemon_root.h"
#include "bench/loopback.h"

// Reads exactly `n` bytes; false when the connection ends first.
inline bool ReadAll(int fd, uint8_t* to, size_t n) {
    while (n > 0) {
        ssize_t got = ::read(fd, to, n);
        if (got <= 0) return false;
        to += got;
        n -= size_t(got);
    }
    return true;
}

// Reads one TPKT frame, header included, into `frame`.
inline bool ReadFrame(int fd, std::vector<uint8_t>& frame) {
    uint8_t head[4];
    if (!ReadAll(fd, head, 4)) return false;
    size_t len = size_t(head[2]) << 8 | head[3];
    if (len < 4) return false;
    frame.assign(head, head + 4);
    frame.resize(len);
    return ReadAll(fd, frame.data() + 4, len - 4);
}

// Reads every frame that comes within `ms`; the number read, or -1 when
// the connection ended.
inline long DrainFor(int fd, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::vector<uint8_t> frame;
    long frames = 0;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return frames;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0) continue;
        if (!ReadFrame(fd, frame)) return -1;
        ++frames;
    }
}

// The client runs on one processor and the servers on another, so that no
// server gets to share the client's processor and skip the cross-processor
// wake-up that another pays.
struct Placement {
    Placement() {
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
        for (int cpu = 0, found = 0; cpu < CPU_SETSIZE && found < 2; ++cpu) {
            if (!CPU_ISSET(cpu, &allowed)) continue;
            (found++ == 0 ? client : servers) = cpu;
        }
        if (servers < 0) servers = client;
    }
    static void pin(int cpu) {
        if (cpu < 0) return;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        ::sched_setaffinity(0, sizeof one, &one);
    }
    int client = -1;
    int servers = -1;
};

// Starts the daemon on the simulated board, pinned to `cpu` (-1: anywhere),
// its output discarded.
inline pid_t StartDaemon(int port, const std::string& root, int cpu) {
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    Placement::pin(cpu);
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::setenv("KORVAND_BOARD", "sim", 1);
    ::setenv("KORVAND_ROOT", root.c_str(), 1);
    std::string portText = std::to_string(port);
    ::execl(KORVAND_BINARY, KORVAND_BINARY, "--port", portText.c_str(), static_cast<char*>(nullptr));
    _exit(127);
}

inline void StopDaemon(pid_t pid) {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

// A connected blocking client, retried while the server is still starting.
inline int Connect(int port) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = Loopback(port);
        if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            int one = 1;
            ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return s;
        }
        ::close(s);
        ::usleep(10000);
    }
    return -1;
}

// The daemon on the simulated board, pinned away from the client, with
// the client's connection.
struct PinnedDaemon {
    PinnedDaemon() {
        int port = FreePort();
        Placement placement;
        pid = StartDaemon(port, root.path, placement.servers);
        Placement::pin(placement.client);
        fd = Connect(port);
    }
    ~PinnedDaemon() {
        ::close(fd);
        StopDaemon(pid);
    }
    PinnedDaemon(const PinnedDaemon&) = delete;
    PinnedDaemon& operator=(const PinnedDaemon&) = delete;

    // The processor time the daemon has used, in nanoseconds (0 when unknown).
    double CpuNs() const {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/schedstat");
        double ns = 0;
        stat >> ns;
        return ns;
    }

    DaemonRoot root;
    pid_t pid = -1;
    int fd = -1;
};

#endif
