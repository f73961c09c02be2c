// 128 radio gateway slots in one process (control server, slot table and
// the radio factories on the simulated board), each sent 50 header-extension
// packets a second by its driver, to a controller over loopback.
//
// LEMZ: each packet is a workstation's push-to-talk, which the slot reports
// as an `rtpExt` signal. ED-137: the ground side's push-to-talk alternates
// on and off, so that each packet changes the state and is reported. The
// slots' own status timers run meanwhile (the LEMZ announcements, the
// ED-137 keep-alives).
//
// daemon_cpu_us_per_packet is the loop thread's processor time per packet
// (the simulated driver's injection left out, its answers to the requests
// counted); rtpExt_per_second
// what reached the controller; longest_pass_ms the processor time of the
// longest loop pass, what a timer or a driver event waited at worst.

#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <thread>

#include <benchmark/benchmark.h>

#include "bench/daemon_lgcp.h"
#include "board/board_io.h"
#include "board/sim_board.h"
#include "board/sim_rtp.h"
#include "board/sim_rtp_ext.h"
#include "core/ctrl_server.h"
#include "core/slot_table.h"
#include "hardware/hw_mux.h"
#include "protocol/acceptor.h"
#include "rtp/rtp_radio_factory.h"
#include "runtime/multiplexer.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kSlots = 128;
const int kPacketsPerSecond = 50;
enum Family { kLemz, kEd137 };

double threadCpuNs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

std::string createText(int slot, Family family) {
    std::string status =
        family == kLemz
            ? "lemz : { flags { prio 5, ptt FALSE, bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, pwr "
              "FALSE, rv FALSE, resv FALSE, selcall 0, li 0 }, freq { channel 1, frequency \"121.5\" }, remote { no 0, "
              "ch 0 }, squelshe on, rte a1b, standby-state-channel active, standby-group 0, standby-state-receiver "
              "active }"
            : "ed-137 : { header { ptt ptt-off, squ squ-on, ptt-id 1, ptt-mute FALSE, ptt-summation FALSE, sct FALSE "
              "} }";
    return "{ seq 1, slot " + std::to_string(slot) +
           ", pdu command : create : rtp : { codecRTP { payload ptG711-Alaw, dhost { iaddr \"127.0.0.1\", port 40000 "
           "}, shost { iaddr \"0.0.0.0\", port 65535 }, radio { status " + status +
           " } }, txPayload ptG711-Alaw, rxPayload ptG711-Alaw } }";
}

// The controller's side: counts the answers and the `rtpExt` signals.
struct Controller {
    explicit Controller(int port) : fd(Connect(port)), reader([this] { read(); }) {}
    ~Controller() {
        ::shutdown(fd, SHUT_RDWR);
        reader.join();
        ::close(fd);
    }
    void read() {
        LGCP::Message msg;
        while (ReadLgcp(fd, msg)) {
            const LGCP::PDU& pdu = msg.get_pdu();
            if (pdu.is_response()) ++answers;
            if (pdu.is_signal() && pdu.get_signal().is_rtpExt()) ++signals;
        }
    }
    int fd;
    std::atomic<long> answers{0};
    std::atomic<long> signals{0};
    std::thread reader;
};

// Runs loop passes until `done` holds, at most `limitMs` of real time.
template <class Pred>
bool pump(Pred done, int limitMs) {
    auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!done() && Clock::now() < end) multiplexer.runOnce(5);
    return done();
}

void BM_RadioSlots(benchmark::State& state) {
    const Family family = Family(state.range(0));
    std::streambuf* out = std::cout.rdbuf(nullptr);
    std::streambuf* log = std::clog.rdbuf(nullptr);
    std::streambuf* err = std::cerr.rdbuf(nullptr);
    {
        // One board for the process: the switch keeps its devices.
        static std::unique_ptr<SimBoard> board = [] {
            std::unique_ptr<SimBoard> b = SimBoard::makeStandard();
            setBoardIo(b.get());
            HwMux::instance();
            return b;
        }();
        SimRtpExt& ext = board->model<SimRtpExt>(SimRtpExt::kPath);
        ctrlServer.Bind(Slots::instance());
        RtpFactory rtp;
        RtpLEMZFactory lemz;
        RtpED137Factory ed137;
        const int port = FreePort();
        ctrlServer.Activate(new Control::AcceptorNetCheckConnection(port, false));
        {
            Controller controller(port);
            pump([] { return ctrlServer.GetService()->GetState() == Control::Service::Connected; }, 5000);
            for (int slot = 1; slot <= kSlots; ++slot) {
                std::vector<uint8_t> frame = EncodeLgcp(createText(slot, family));
                if (::write(controller.fd, frame.data(), frame.size()) != ssize_t(frame.size())) break;
                pump([&] { return controller.answers == slot; }, 5000);
            }
            if (controller.answers != kSlots) state.SkipWithError("the slots were not made");

            const std::vector<uint8_t> payloads[2][2] = {
                {{0x03, 0x14, 0x00, 0x00}, {0x03, 0x14, 0x00, 0x00}},  // GW_FLAG_PTT, priority 1
                {{0x20, 0x40, 0x00, 0x00}, {0x00, 0x40, 0x00, 0x00}},  // tx PTT on, off
            };
            const auto tick = std::chrono::milliseconds(1000 / kPacketsPerSecond);
            double cpu = 0, longest = 0;
            long packets = 0, signals = controller.signals;
            auto start = Clock::now();
            for (auto _ : state) {
                // One second of traffic.
                auto next = Clock::now();
                for (int t = 0; t < kPacketsPerSecond; ++t) {
                    for (int c = 0; c < kSlots; ++c)
                        packets += ext.inject(SimRtp::kFirstChannel + c, 0x0200000A, 7, payloads[family][t & 1]);
                    next += tick;
                    // The loop waits in its poll as the daemon's does; a
                    // pass's processor time is its work.
                    while (Clock::now() < next) {
                        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
                        double c0 = threadCpuNs();
                        multiplexer.runOnce(int(wait.count()) + 1);
                        double pass = threadCpuNs() - c0;
                        cpu += pass;
                        longest = std::max(longest, pass / 1e6);
                    }
                }
            }
            double c0 = threadCpuNs();
            pump([&] { return controller.signals - signals >= packets; }, 2000);
            cpu += threadCpuNs() - c0;
            double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            state.counters["packets"] = double(packets);
            state.counters["daemon_cpu_us_per_packet"] = packets ? cpu / 1000.0 / double(packets) : 0;
            state.counters["rtpExt_per_second"] = double(controller.signals - signals) / seconds;
            state.counters["longest_pass_ms"] = longest;
        }
        pump([] { return ctrlServer.GetService()->GetState() != Control::Service::Connected; }, 5000);
        ctrlServer.Deactivate();
        ctrlServer.Unbind(Slots::instance());
    }
    std::cout.rdbuf(out);
    std::clog.rdbuf(log);
    std::cerr.rdbuf(err);
}
BENCHMARK(BM_RadioSlots)->Arg(kLemz)->Arg(kEd137)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
