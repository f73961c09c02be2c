// The memory that one large control message leaves behind: an `LGCP`
// protoLemz command of 128 radio packets, about 23 KB of aligned PER, each
// packet the keep-alive of a digital radio interface with the ten flags of
// 112 channels: some 160,000 values, most of them one bit on the wire.
//
// Decode/protoLemz128 decodes it in this process again and again, each time
// into a fresh message that is then destroyed. Daemon/protoLemz128 sends it
// once to the daemon on the simulated board, which decodes it and answers
// it (no service takes it), then a ping. Counters, from /proc/<pid>/status:
//   rss_idle_kB   resident set before the message (this process: at start;
//                 the daemon: with the controller connected)
//   rss_after_kB  resident set once the message is gone
//   rss_peak_kB   the high-water mark
//   octets        the message's size

#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/gen/lgcp.h"
#include "bench/daemon.h"
#include "bench/lgcp_frame.h"
#include "bench/proc_status.h"

namespace {

const int kPackets = 128;
const int kChannels = 112;

// The resident set of this process before any value existed.
const double startRssKb = StatusKb(::getpid(), "VmRSS");

// One channel's ten flags: 11 bits on the wire, 11 values in memory.
std::string channel(int n) {
    static const char* const flags[] = {"rc", "ptt", "ptt-selcall", "self-hear", "receiver",
                                        "bss", "detected-rx", "detected-tx", "sql", "rc-line-state"};
    std::string text;
    for (int f = 0; f < 10; ++f)
        text += std::string(f ? ", " : "{ ") + flags[f] + ((n + f) % 3 ? " TRUE" : " FALSE");
    return text + " }";
}

std::string packet(int seq) {
    std::string channels;
    for (int c = 0; c < kChannels; ++c) channels += (c ? ", " : "") + channel(c);
    return "{ msgLength 180, msgSeqNum " + std::to_string(seq) +
           ", msgID dli-keep-alive=8208, stateProtocol protocol-v1, stateMode radio, stateMaster 1,"
           " srcAddr dli, srcChannel 3, dstAddr lgw, dstChannel " +
           std::to_string(seq % 8) + ", payload dli-keep-alive : radio-v1 : { id " + std::to_string(seq) +
           ", channels { " + channels + " } } }";
}

std::string largeMessage() {
    std::string packets;
    for (int p = 0; p < kPackets; ++p) packets += (p ? ", " : "") + packet(p);
    return "{ seq 1, pdu command : protoLemz : { packets { " + packets + " } } }";
}

void memoryCounters(benchmark::State& state, pid_t pid, double idleKb, size_t octets) {
    state.counters["rss_idle_kB"] = idleKb;
    state.counters["rss_after_kB"] = StatusKb(pid, "VmRSS");
    state.counters["rss_peak_kB"] = StatusKb(pid, "VmHWM");
    state.counters["octets"] = double(octets);
}

void BM_DecodeLargeMessage(benchmark::State& state) {
    std::vector<uint8_t> frame = EncodeFrame(largeMessage());
    if (frame.empty()) return state.SkipWithError("the message does not encode");
    const char* begin = reinterpret_cast<const char*>(frame.data()) + 4;
    const char* end = reinterpret_cast<const char*>(frame.data()) + frame.size();
    for (auto _ : state) {
        ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
        LGCP::Message msg;
        if (!ASN1::decode(begin, end, &env, msg, true)) return state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(&msg);
    }
    memoryCounters(state, ::getpid(), startRssKb, frame.size() - 4);
}
BENCHMARK(BM_DecodeLargeMessage)->Name("Decode/protoLemz128")->Unit(benchmark::kMicrosecond);

// Reads frames until the response with sequence number `seq`; false when
// the connection fails or a frame does not decode.
bool AwaitAnswer(int fd, int seq) {
    std::vector<uint8_t> frame;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    for (;;) {
        if (!ReadFrame(fd, frame)) return false;
        LGCP::Message msg;
        const char* data = reinterpret_cast<const char*>(frame.data());
        if (!ASN1::decode(data + 4, data + frame.size(), &env, msg, false)) return false;
        if (msg.get_pdu().is_response() && msg.has_seq() &&
            msg.get_seq().getValue() == seq)
            return true;
    }
}

bool Send(int fd, const std::vector<uint8_t>& frame) {
    return ::write(fd, frame.data(), frame.size()) == ssize_t(frame.size());
}

void BM_DaemonAfterLargeMessage(benchmark::State& state) {
    std::vector<uint8_t> large = EncodeFrame(largeMessage());
    std::vector<uint8_t> ping = EncodeFrame("{ seq 2, pdu command : ping : NULL }");
    for (auto _ : state) {
        DaemonRoot root;
        int port = FreePort();
        pid_t pid = StartDaemon(port, root.path, -1);
        int fd = Connect(port);
        // A ping's answer: the daemon has settled with its controller.
        bool ok = fd >= 0 && Send(fd, ping) && AwaitAnswer(fd, 2);
        double idleKb = ok ? StatusKb(pid, "VmRSS") : -1;
        // The ping's answer after the message's: the message is gone by then.
        ok = ok && Send(fd, large) && AwaitAnswer(fd, 1) && Send(fd, ping) && AwaitAnswer(fd, 2);
        if (ok) memoryCounters(state, pid, idleKb, large.size() - 4);
        if (fd >= 0) ::close(fd);
        StopDaemon(pid);
        if (!ok) return state.SkipWithError("the daemon did not answer");
    }
}
BENCHMARK(BM_DaemonAfterLargeMessage)->Name("Daemon/protoLemz128")->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
