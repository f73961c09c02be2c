// The controller's ping round trip over loopback through the running
// daemon (decode, dispatch to the heartbeat, encode, framed answer),
// against a bare TPKT echo server in another process that sends each frame
// straight back. Both are started by this program and measured in the same
// run; each reports the median and the 99th percentile of its round trips,
// and the interleaved run the ratio of the medians.

#include <benchmark/benchmark.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bench/daemon.h"
#include "bench/daemon_lgcp.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// `{ pdu command : ping : NULL }` in one TPKT frame.
const Bytes pingFrame = {3, 0, 0, 6, 0x06, 0x00};

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

// One ping and its answer frame; the round trip in microseconds, or a
// negative value when the connection failed. The daemon's own signals are
// read past: taken for answers, they would leave every later answer waiting
// in the socket, and the round trips would time reads of what had come.
double RoundTrip(int fd) {
    static std::vector<uint8_t> answer;
    auto start = std::chrono::steady_clock::now();
    if (::write(fd, pingFrame.data(), pingFrame.size()) != ssize_t(pingFrame.size()) || !ReadAnswerFrame(fd, answer))
        return -1;
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
        int daemonPort = FreePort();
        int echoPort = FreePort();
        Placement placement;
        daemon = StartDaemon(daemonPort, root.path, placement.servers);
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
        for (pid_t p : {daemon, echo}) StopDaemon(p);
    }
    DaemonRoot root;
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
