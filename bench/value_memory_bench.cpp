// The memory that one large control message leaves behind: the protoLemz
// command of 128 radio packets of tests/asn1/lemz_message.h.
//
// Decode/protoLemz128 decodes it in this process again and again, each time
// into a fresh message that is then destroyed; then the heap is trimmed, as
// the control server trims it after a quiet second. Daemon/protoLemz128
// sends it once to the daemon on the simulated board, which decodes it and
// answers it (no service takes it), then a ping, and waits for that second.
// Counters, from /proc/<pid>/status:
//   rss_idle_kB       resident set before the message (this process: at
//                     start, the message's frame built by a child; the
//                     daemon: with the controller connected)
//   rss_after_kB      resident set once the message is gone
//   anon_idle_kB      their anonymous parts (heap, static data, stacks),
//   anon_after_kB     without the program's pages that the decoding of the
//                     message read for the first time
//   rss_peak_kB       the high-water mark
//   octets            the message's size

#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "asn1/allocator.h"
#include "asn1/coder_env.h"
#include "asn1/gen/lgcp.h"
#include "bench/daemon.h"
#include "bench/daemon_lgcp.h"
#include "bench/proc_status.h"
#include "tests/asn1/lemz_message.h"

namespace {

struct Resident {
    explicit Resident(pid_t pid) : kB(StatusKb(pid, "VmRSS")), anonKb(StatusKb(pid, "RssAnon")) {}
    double kB;
    double anonKb;
};

// The resident set of this process before any value existed.
const Resident atStart(::getpid());

// The message's frame, built by a child process: building it from its text
// takes values of its own, which must not count for this process.
const std::vector<uint8_t>& largeFrame() {
    static const std::vector<uint8_t> frame = [] {
        int ends[2];
        if (::pipe(ends) != 0) return std::vector<uint8_t>();
        if (::fork() == 0) {
            std::vector<uint8_t> built = EncodeLgcp(LemzMessage::text());
            bool sent = ::write(ends[1], built.data(), built.size()) == ssize_t(built.size());
            _exit(sent ? 0 : 1);
        }
        ::close(ends[1]);
        std::vector<uint8_t> read;
        uint8_t chunk[4096];
        for (ssize_t n; (n = ::read(ends[0], chunk, sizeof chunk)) > 0;)
            read.insert(read.end(), chunk, chunk + n);
        ::close(ends[0]);
        ::wait(nullptr);
        return read;
    }();
    return frame;
}

void memoryCounters(benchmark::State& state, pid_t pid, const Resident& idle, size_t octets) {
    Resident after(pid);
    state.counters["rss_idle_kB"] = idle.kB;
    state.counters["rss_after_kB"] = after.kB;
    state.counters["anon_idle_kB"] = idle.anonKb;
    state.counters["anon_after_kB"] = after.anonKb;
    state.counters["rss_peak_kB"] = StatusKb(pid, "VmHWM");
    state.counters["octets"] = double(octets);
}

void BM_DecodeLargeMessage(benchmark::State& state) {
    const std::vector<uint8_t>& frame = largeFrame();
    if (frame.size() <= 4) return state.SkipWithError("the message does not encode");
    const char* begin = reinterpret_cast<const char*>(frame.data()) + 4;
    const char* end = reinterpret_cast<const char*>(frame.data()) + frame.size();
    for (auto _ : state) {
        ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
        LGCP::Message msg;
        if (!ASN1::decode(begin, end, &env, msg, true)) return state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(&msg);
    }
    // As the control server does after a quiet second.
    if (ASN1::heapTrimDue()) ASN1::trimHeap();
    memoryCounters(state, ::getpid(), atStart, frame.size() - 4);
}
BENCHMARK(BM_DecodeLargeMessage)->Name("Decode/protoLemz128")->Unit(benchmark::kMicrosecond);

// Reads messages until the response with sequence number `seq`; false
// when the connection fails or a message does not decode.
bool AwaitAnswer(int fd, int seq) {
    for (;;) {
        LGCP::Message msg;
        if (!ReadLgcp(fd, msg)) return false;
        if (msg.get_pdu().is_response() && msg.has_seq() && msg.get_seq().getValue() == seq) return true;
    }
}

bool Send(int fd, const std::vector<uint8_t>& frame) {
    return ::write(fd, frame.data(), frame.size()) == ssize_t(frame.size());
}

void BM_DaemonAfterLargeMessage(benchmark::State& state) {
    const std::vector<uint8_t>& large = largeFrame();
    if (large.size() <= 4) return state.SkipWithError("the message does not encode");
    std::vector<uint8_t> ping = EncodeLgcp("{ seq 2, pdu command : ping : NULL }");
    for (auto _ : state) {
        DaemonRoot root;
        int port = FreePort();
        pid_t pid = StartDaemon(port, root.path, -1);
        int fd = Connect(port);
        // A ping's answer: the daemon has settled with its controller.
        bool ok = fd >= 0 && Send(fd, ping) && AwaitAnswer(fd, 2);
        Resident idle(pid);
        // The ping's answer after the message's: the message is gone by then.
        ok = ok && Send(fd, large) && AwaitAnswer(fd, 1) && Send(fd, ping) && AwaitAnswer(fd, 2);
        // The daemon gives the memory back after a quiet second.
        ::usleep(1500 * 1000);
        if (ok) memoryCounters(state, pid, idle, large.size() - 4);
        if (fd >= 0) ::close(fd);
        StopDaemon(pid);
        if (!ok) return state.SkipWithError("the daemon did not answer");
    }
}
BENCHMARK(BM_DaemonAfterLargeMessage)
    ->Name("Daemon/protoLemz128")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
