// The LAPD link's throughput through the link test kit's back-to-back
// channels on the instant test clock (no line pacing: each frame arrives on
// the next loop pass), and the Q.931 frame printer's cost per frame.
//
// BM_LapdAcknowledgedFrames: I frames per second from the user side to the
// network side, each one acknowledged, and the processor time per frame
// (s_per_ack). BM_PrintSetup and BM_Print260: one ~30-octet SETUP and one
// 260-octet frame through dlogframe.

#include <benchmark/benchmark.h>

#include <iostream>
#include <vector>

#include "links/dlogframe.h"
#include "links/lapd.h"
#include "tests/links/hdlc_pair.h"
#include "tests/support/test_clock.h"

namespace {

const unsigned kBatch = 1000;

// Layer 3 over one link: counts what arrives.
class Counting : public ProtocolsFamily {
  public:
    Counting(ISDN::Side::type side, HdlcPair::End& end) : link(new ISDN::LAPD(side, 0)) {
        link->hdlc = &end;
        add_protocol_tail(link);
        end.bind(*link);
    }
    void on_activated(Protocol*) override { up = true; }
    void on_message(Packet&) override { ++received; }
    bool send(const std::vector<uint8_t>& message) {
        Packet p;
        prepare_head(p);
        p.put(message.data(), unsigned(message.size()));
        return this->message(p);
    }

    ISDN::LAPD* link;
    bool up = false;
    unsigned received = 0;
};

void BM_LapdAcknowledgedFrames(benchmark::State& state) {
    std::streambuf* log = std::clog.rdbuf(nullptr);
    TestClock clock;
    HdlcPair pair;
    Counting user(ISDN::Side::user, pair.a);
    Counting network(ISDN::Side::network, pair.b);
    pair.open();
    user.link->local_activate();
    runUntil(clock, [&] { return user.up && network.up; });
    const std::vector<uint8_t> setup = {0x08, 0x02, 0x00, 0x01, 0x05, 0x04, 0x03, 0x80,
                                        0x90, 0xA3, 0x18, 0x03, 0xA9, 0x83, 0x81, 0x70,
                                        0x05, 0x81, 0x31, 0x32, 0x33, 0x34};
    for (auto _ : state) {
        unsigned sent = 0, target = network.received + kBatch;
        runUntil(clock, [&] {
            while (sent < kBatch && user.link->out_queue.count() < 64) sent += user.send(setup);
            return network.received >= target && user.link->ack_queue.empty() &&
                   pair.inFlight() == 0;
        });
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
    // Processor seconds per acknowledged frame ("166n" is 166 ns).
    state.counters["s_per_ack"] =
        benchmark::Counter(double(state.iterations()) * kBatch,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    std::clog.rdbuf(log);
}
BENCHMARK(BM_LapdAcknowledgedFrames)->Unit(benchmark::kMillisecond);

void printFrame(benchmark::State& state, const std::vector<uint8_t>& frame) {
    for (auto _ : state) {
        dlogframe(frame.data(), int(frame.size()), 1, ISDN::logbuf);
        benchmark::DoNotOptimize(ISDN::logbuf[0]);
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}

void BM_PrintSetup(benchmark::State& state) {
    printFrame(state, {0x02, 0x01, 0x00, 0x00, 0x08, 0x02, 0x00, 0x01, 0x05, 0xA1, 0x04, 0x03,
                       0x80, 0x90, 0xA3, 0x18, 0x03, 0xA9, 0x83, 0x81, 0x6C, 0x05, 0xA1, 0x31,
                       0x32, 0x33, 0x34, 0x70, 0x05, 0x81, 0x35, 0x36, 0x37, 0x38});
}
BENCHMARK(BM_PrintSetup);

void BM_Print260(benchmark::State& state) {
    std::vector<uint8_t> frame = {0x02, 0x01, 0x00, 0x00, 0x08, 0x02,
                                  0x00, 0x01, 0x7B, 0x7E, 250,  0x04};
    while (frame.size() < 260) frame.push_back(uint8_t(0x41 + frame.size() % 26));
    printFrame(state, frame);
}
BENCHMARK(BM_Print260);

}  // namespace

BENCHMARK_MAIN();
