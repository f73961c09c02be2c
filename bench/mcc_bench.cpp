// User data through one MCC byte channel of the running daemon on the
// simulated board, to a controller over loopback.
//
// Arg 0: the board receives 1536 octets on the channel per round (one
// command on its control socket); the daemon reads them and sends each
// read as a `userData` signal. Arg 1: the controller sends 4096 octets as
// user data into the channel, which the board loops back, so each round
// also carries the write path. bytes_per_second and signals_per_second are
// what reached the controller; daemon_cpu_us_per_signal the processor time
// the daemon spent per signal, the board's own work included.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/gen/lgcp.h"
#include "bench/daemon.h"
#include "bench/daemon_lgcp.h"
#include "board/sim_words.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// Reads frames until `octets` of user data and `answers` responses came;
// counts the signals. False when a frame does not decode or the link fails.
bool Collect(int fd, size_t octets, int answers, size_t& signals) {
    while (octets > 0 || answers > 0) {
        LGCP::Message msg;
        if (!ReadLgcp(fd, msg)) return false;
        if (msg.get_pdu().is_signal() && msg.get_pdu().get_signal().is_userData()) {
            size_t n = msg.get_pdu().get_signal().get_userData().size();
            octets -= std::min(octets, n);
            ++signals;
        } else if (msg.get_pdu().is_response()) {
            --answers;
        }
    }
    return true;
}

// The daemon with one transparent channel, looped back on the board.
struct Daemon : PinnedDaemon {
    Daemon() {
        size_t none = 0;
        ready = Write(EncodeLgcp("{ seq 1, slot 1, pdu command : create : mcc : { type transparent, mode standard"
                                 " } }")) &&
                Collect(fd, 0, 1, none) && board.Run("/dev/mcc/ctl patch 256 256") == "ok";
    }
    bool Write(const Bytes& bytes) { return ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()); }
    BoardControl board{root.path};
    bool ready = false;
};

Bytes Pattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7);
    return b;
}

void BM_MccUserData(benchmark::State& state) {
    static Daemon daemon;
    if (!daemon.ready) {
        state.SkipWithError("the daemon did not make the channel");
        return;
    }
    bool looped = state.range(0) != 0;
    const size_t octets = looped ? 4096 : 1536;
    const std::string inject = "/dev/mcc/ctl rx 256 " + SimWords::hex(Pattern(octets));
    const Bytes command = EncodeLgcp("{ seq 2, slot 1, pdu command : userData : '" + SimWords::hex(Pattern(octets)) + "'H }");
    size_t signals = 0;
    double cpu = daemon.CpuNs();
    for (auto _ : state) {
        bool sent = looped ? daemon.Write(command) : daemon.board.Run(inject) == "ok";
        if (!sent || !Collect(daemon.fd, octets, looped ? 1 : 0, signals)) {
            state.SkipWithError("the round failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations() * octets));
    state.counters["signals_per_second"] = benchmark::Counter(double(signals), benchmark::Counter::kIsRate);
    if (signals > 0)
        state.counters["daemon_cpu_us_per_signal"] = (daemon.CpuNs() - cpu) / 1000.0 / double(signals);
}
BENCHMARK(BM_MccUserData)->Arg(0)->Arg(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
