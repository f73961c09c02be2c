// The daemon's resident memory after slots come and go: the daemon on the
// simulated board with a controller connected, which makes and destroys
// slots of ten kinds again and again, then leaves the daemon alone.
//
// One cycle makes an E1 trunk time slot, a map channel, an echo channel, an
// MCC byte channel, a PSTN slot in SS7 mode (its link takes an MCC channel
// and starts aligning), an RTP slot, a LEMZ radio gateway, a mixer input, an
// ATS Q.SIG link and a voice player, which plays a 16,000-octet phrase file
// twice into its MCC channel; the PSTN slot and the player are connected to
// trunk time slots of their own. Then it destroys them all, and a ping waits
// for the answers. The argument is the number of cycles.
//
// Counters, from /proc/<pid>/status, each once the daemon has been quiet for
// two seconds (the control server trims the heap after a quiet second):
//   rss_idle_kB      resident set before the first slot
//   rss_kB           resident set after the cycles, the slots gone
//   rss_growth_kB    the difference
//   anon_idle_kB     the anonymous parts of the two (heap, static data,
//   anon_kB          stacks), without the program's pages that the slots'
//   anon_growth_kB   code read for the first time
//   us_per_cycle     wall time per cycle
//   slots            slots made and destroyed

#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "bench/daemon.h"
#include "bench/daemon_lgcp.h"
#include "bench/proc_status.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// One slot a kind, at slot ids 1 to 10.
const char* const kinds[] = {
    "create : trunk : { trunk 0, timeslot 1 }",
    "create : map : { transmitter { bus 1, channel 5 } }",
    "create : echo : { bus 5, channel 3 }",
    "create : mcc : { type data, mode standard }",
    "create : pstn : ss7 : { trunk 1, slc 0, dpc 1, opc 2, emergency TRUE }",
    "create : rtp : { codecRTP { payload ptG729, dhost { iaddr \"127.0.0.1\", port 40000 } }, "
    "txPayload ptG729, rxPayload ptG729 }",
    "create : rtp : { codecRTP { payload ptG711-Alaw, dhost { iaddr \"127.0.0.1\", port 40002 }, "
    "shost { iaddr \"0.0.0.0\", port 65535 }, radio { status lemz : { flags { prio 5, ptt FALSE, "
    "bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, pwr FALSE, rv FALSE, resv FALSE, "
    "selcall 0, li 0 }, freq { channel 1, frequency \"121.5\" }, remote { no 0, ch 0 }, squelshe "
    "on, "
    "rte a1b, standby-state-channel active, standby-group 0, standby-state-receiver active } } }, "
    "txPayload ptG711-Alaw, rxPayload ptG711-Alaw }",
    "create : mixerIn : { unit 0, channel tdm : 1 }",
    "create : ats-qsig : { side network : NULL, log 0 }",
    "create : voice : player : file : { name { \"hello.raw\" }, repeat 2 }",
};
const int kKinds = sizeof kinds / sizeof kinds[0];
const int kPstnSlot = 5, kPlayerSlot = 10;
// Trunk time slots that the PSTN slot and the player are connected with.
const int kLinkSlot = kKinds + 1, kSinkSlot = kKinds + 2, kSlots = kKinds + 2;
const long kPingSeq = 4242;

Bytes Command(int seq, int slot, const std::string& command) {
    return EncodeLgcp("{ seq " + std::to_string(seq) + ", slot " + std::to_string(slot) +
                      ", pdu command : " + command + " }");
}

// Every command of one cycle, and the ping that closes it, in one buffer.
const Bytes& Cycle() {
    static Bytes all;
    if (!all.empty()) return all;
    auto add = [](const Bytes& frame) { all.insert(all.end(), frame.begin(), frame.end()); };
    for (int k = 0; k < kKinds; ++k) add(Command(k + 1, k + 1, kinds[k]));
    add(Command(20, kLinkSlot, "create : trunk : { trunk 0, timeslot 16 }"));
    add(Command(21, kLinkSlot, "connect : " + std::to_string(kPstnSlot)));
    add(Command(22, kSinkSlot, "create : trunk : { trunk 0, timeslot 2 }"));
    add(Command(23, kPlayerSlot, "connect : " + std::to_string(kSinkSlot)));
    for (int slot = 1; slot <= kSlots; ++slot) add(Command(100 + slot, slot, "destroy : NULL"));
    add(EncodeLgcp("{ seq " + std::to_string(kPingSeq) + ", pdu command : ping : NULL }"));
    return all;
}

// Reads until the answer to the closing ping; false when the link fails.
bool Answers(int fd) {
    for (;;) {
        LGCP::Message msg;
        if (!ReadLgcp(fd, msg)) return false;
        if (msg.get_pdu().is_response() && msg.has_seq() && msg.get_seq().getValue() == kPingSeq)
            return true;
    }
}

void BM_SlotChurn(benchmark::State& state) {
    const long cycles = state.range(0);
    for (auto _ : state) {
        DaemonRoot root;
        ::mkdir((root.path + "/usr").c_str(), 0755);
        ::mkdir((root.path + "/usr/local").c_str(), 0755);
        ::mkdir((root.path + "/usr/local/voice").c_str(), 0755);
        std::ofstream(root.path + "/usr/local/voice/hello.raw") << std::string(16000, '\x55');
        int port = FreePort();
        pid_t pid = StartDaemon(port, root.path, -1);
        int fd = Connect(port);
        // A query finds the mixers for the mixer slots.
        Bytes query = EncodeLgcp("{ seq 1, pdu command : query : NULL }");
        if (fd < 0 || ::write(fd, query.data(), query.size()) != ssize_t(query.size()) ||
            DrainFor(fd, 2000) < 0) {
            state.SkipWithError("no controller connection");
            StopDaemon(pid);
            break;
        }
        double rssIdle = StatusKb(pid, "VmRSS"), anonIdle = StatusKb(pid, "RssAnon");
        auto begin = std::chrono::steady_clock::now();
        bool ok = true;
        for (long c = 0; c < cycles && ok; ++c) {
            const Bytes& cycle = Cycle();
            ok = ::write(fd, cycle.data(), cycle.size()) == ssize_t(cycle.size()) && Answers(fd);
        }
        double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        if (!ok || DrainFor(fd, 2000) < 0) state.SkipWithError("the daemon stopped answering");
        double rss = StatusKb(pid, "VmRSS"), anon = StatusKb(pid, "RssAnon");
        state.counters["rss_idle_kB"] = rssIdle;
        state.counters["rss_kB"] = rss;
        state.counters["rss_growth_kB"] = rss - rssIdle;
        state.counters["anon_idle_kB"] = anonIdle;
        state.counters["anon_kB"] = anon;
        state.counters["anon_growth_kB"] = anon - anonIdle;
        state.counters["us_per_cycle"] = cycles ? wall * 1e6 / double(cycles) : 0;
        state.counters["slots"] = double(cycles * kSlots);
        ::close(fd);
        StopDaemon(pid);
    }
}
BENCHMARK(BM_SlotChurn)
    ->Arg(100)
    ->Arg(400)
    ->Arg(25000)
    ->Arg(250000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
