// Driver events of one RTP slot of the running daemon on the simulated
// board, to a controller over loopback.
//
// Each round the board emits Arg rtp_event records of packet detection on
// the slot's session (one command on its control socket); the daemon reads
// them in one wake-up and sends each as an `rtp` `pd` signal.
// signals_per_second is what reached the controller; daemon_cpu_us_per_event
// the processor time the daemon spent per event, the board's own work and
// its control command included.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench/daemon.h"
#include "bench/daemon_lgcp.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// Reads frames until `signals` packet-detection signals and `answers`
// responses came. False when a frame does not decode or the link fails.
bool Collect(int fd, size_t signals, int answers) {
    while (signals > 0 || answers > 0) {
        LGCP::Message msg;
        if (!ReadLgcp(fd, msg)) return false;
        const LGCP::PDU& pdu = msg.get_pdu();
        if (pdu.is_signal() && pdu.get_signal().is_rtp() && signals > 0)
            --signals;
        else if (pdu.is_response())
            --answers;
    }
    return true;
}

// The daemon with one G.729 RTP slot whose packet detection is on.
struct Daemon : PinnedDaemon {
    Daemon() {
        ready = Write(EncodeLgcp("{ seq 1, slot 1, pdu command : create : rtp : { codecRTP { payload ptG729, dhost {"
                                 " iaddr \"127.0.0.1\", port 40000 } }, txPayload ptG729, rxPayload ptG729 } }")) &&
                Collect(fd, 0, 1) &&
                Write(EncodeLgcp("{ seq 2, slot 1, pdu command : ioctl : pd-enable : { timeout 250 } }")) &&
                Collect(fd, 0, 1);
    }
    bool Write(const Bytes& bytes) { return ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()); }
    BoardControl board{root.path};
    bool ready = false;
};

void BM_RtpEvents(benchmark::State& state) {
    static Daemon daemon;
    if (!daemon.ready) {
        state.SkipWithError("the daemon did not make the slot");
        return;
    }
    const size_t burst = size_t(state.range(0));
    const std::string inject = "/dev/rtp event 256 1 5 250 " + std::to_string(burst);
    double cpu = daemon.CpuNs();
    for (auto _ : state) {
        if (daemon.board.Run(inject) != "ok" || !Collect(daemon.fd, burst, 0)) {
            state.SkipWithError("the round failed");
            break;
        }
    }
    double events = double(state.iterations() * burst);
    state.counters["signals_per_second"] = benchmark::Counter(events, benchmark::Counter::kIsRate);
    if (events > 0) state.counters["daemon_cpu_us_per_event"] = (daemon.CpuNs() - cpu) / 1000.0 / events;
}
BENCHMARK(BM_RtpEvents)->Arg(1)->Arg(16)->Arg(64)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
