// The controller's ping round trip over loopback through the running
// daemon (decode, dispatch to the heartbeat, encode, framed answer),
// against a bare TPKT echo server in another process that sends each frame
// straight back. Both are started by this program and measured in the same
// run; each reports the median and the 99th percentile of its round trips,
// and the interleaved run the ratio of the medians.

#include <arpa/inet.h>
#include <fcntl.h>
#include <benchmark/benchmark.h>
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

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bench/loopback.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// `{ pdu command : ping : NULL }` in one TPKT frame.
const Bytes pingFrame = {3, 0, 0, 6, 0x06, 0x00};

bool ReadAll(int fd, uint8_t* to, size_t n) {
    while (n > 0) {
        ssize_t got = ::read(fd, to, n);
        if (got <= 0) return false;
        to += got;
        n -= size_t(got);
    }
    return true;
}

// The echo server's life: one client at a time, each whole frame written
// back as it is, in a poll loop like the daemon's.
[[noreturn]] void ServeEcho(int port) {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = Loopback(port);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener, 1) != 0)
        _exit(1);
    for (;;) {
        int client = ::accept(listener, nullptr, nullptr);
        if (client < 0) continue;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Bytes pending;
        uint8_t buf[4096];
        for (;;) {
            pollfd p{client, POLLIN, 0};
            ::poll(&p, 1, -1);
            ssize_t n = ::read(client, buf, sizeof buf);
            if (n <= 0) break;
            pending.insert(pending.end(), buf, buf + n);
            size_t whole = 0;
            while (pending.size() - whole >= 4) {
                size_t len = size_t(pending[whole + 2]) << 8 | pending[whole + 3];
                if (len < 4 || pending.size() - whole < len) break;
                whole += len;
            }
            if (whole > 0 && ::write(client, pending.data(), whole) != ssize_t(whole)) break;
            pending.erase(pending.begin(), pending.begin() + long(whole));
        }
        ::close(client);
    }
}

// The client runs on one processor and both servers on another, so that
// neither server gets to share the client's processor and skip the
// cross-processor wake-up that the other pays.
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

pid_t StartDaemon(int port, const std::string& root, int cpu) {
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

// A connected blocking client, retried while the server is still starting.
int Connect(int port) {
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

// One ping and its answer frame; the round trip in microseconds, or a
// negative value when the connection failed.
double RoundTrip(int fd) {
    auto start = std::chrono::steady_clock::now();
    uint8_t answer[65536];
    if (::write(fd, pingFrame.data(), pingFrame.size()) != ssize_t(pingFrame.size()) ||
        !ReadAll(fd, answer, 4))
        return -1;
    size_t len = size_t(answer[2]) << 8 | answer[3];
    if (len < 4 || !ReadAll(fd, answer + 4, len - 4)) return -1;
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

double Percentile(std::vector<double> samples, double p) {
    if (samples.empty()) return 0;
    size_t at = std::min(samples.size() - 1, size_t(p * double(samples.size())));
    std::nth_element(samples.begin(), samples.begin() + long(at), samples.end());
    return samples[at];
}

// The two servers and a connection to each, for the whole program.
struct Servers {
    Servers() {
        char tmpl[] = "/tmp/korvand-bench-XXXXXX";
        root = ::mkdtemp(tmpl);
        ::mkdir((root + "/var").c_str(), 0755);
        ::mkdir((root + "/var/run").c_str(), 0755);
        int daemonPort = FreePort();
        int echoPort = FreePort();
        Placement placement;
        daemon = StartDaemon(daemonPort, root, placement.servers);
        echo = ::fork();
        if (echo == 0) {
            Placement::pin(placement.servers);
            ServeEcho(echoPort);
        }
        Placement::pin(placement.client);
        toDaemon = Connect(daemonPort);
        toEcho = Connect(echoPort);
    }
    ~Servers() {
        ::close(toDaemon);
        ::close(toEcho);
        for (pid_t p : {daemon, echo}) {
            ::kill(p, SIGTERM);
            ::waitpid(p, nullptr, 0);
        }
        std::string cmd = "rm -rf '" + root + "'";
        if (::system(cmd.c_str()) != 0) {
            // A temporary directory left behind is harmless.
        }
    }
    std::string root;
    pid_t daemon = -1;
    pid_t echo = -1;
    int toDaemon = -1;
    int toEcho = -1;
};

Servers& servers() {
    static Servers s;
    return s;
}

void Report(benchmark::State& state, const char* name, const std::vector<double>& samples) {
    state.counters[std::string(name) + "_median_us"] = Percentile(samples, 0.5);
    state.counters[std::string(name) + "_p99_us"] = Percentile(samples, 0.99);
}

// Arg 0: the echo server; 1: the daemon.
void BM_PingRoundTrip(benchmark::State& state) {
    int fd = state.range(0) ? servers().toDaemon : servers().toEcho;
    std::vector<double> samples;
    for (auto _ : state) {
        double us = RoundTrip(fd);
        if (us < 0) {
            state.SkipWithError("the connection failed");
            break;
        }
        samples.push_back(us);
    }
    Report(state, state.range(0) ? "daemon" : "echo", samples);
}
BENCHMARK(BM_PingRoundTrip)->Arg(0)->Arg(1);

// Both in turn, so that both see the same state of the machine.
void BM_PingDaemonOverEcho(benchmark::State& state) {
    std::vector<double> echo, daemon;
    for (auto _ : state) {
        double e = RoundTrip(servers().toEcho);
        double d = RoundTrip(servers().toDaemon);
        if (e < 0 || d < 0) {
            state.SkipWithError("the connection failed");
            break;
        }
        echo.push_back(e);
        daemon.push_back(d);
    }
    Report(state, "echo", echo);
    Report(state, "daemon", daemon);
    double e = Percentile(echo, 0.5);
    state.counters["median_ratio"] = e > 0 ? Percentile(daemon, 0.5) / e : 0;
}
BENCHMARK(BM_PingDaemonOverEcho);

}  // namespace

BENCHMARK_MAIN();
