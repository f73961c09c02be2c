// I frames through the network side of a BRI D channel with eight
// terminals (user-side links) on the link test kit's pair, on the test
// clock: messages per second both ways, and processor time per message
// sent, carried, delivered and acknowledged.

#include <iostream>
#include <streambuf>

#include <benchmark/benchmark.h>

#include "tests/links/bri_bus.h"
#include "tests/support/test_clock.h"

namespace {

const unsigned kTerminals = 8;
const unsigned kBatch = 50;  // messages each way per terminal per iteration

struct Silent : std::streambuf {
    int overflow(int c) override { return c; }
};

void BM_LapdNtEightTerminals(benchmark::State& state) {
    Silent silent;
    std::streambuf* log = std::clog.rdbuf(&silent);
    {
        TestClock clock;
        BriBus bus;
        bus.open();
        bus.network.nt->activate();
        for (unsigned i = 0; i < kTerminals; ++i) {
            BriBus::Terminal& t = bus.plug();
            t.start();
            if (!runUntil(clock, [&] { return t.up; })) state.SkipWithError("no TEI");
            t.send(q931(uint8_t(i + 1), 0x01));  // a call of its own for the routing
        }
        if (!runUntil(clock, [&] { return bus.network.received.size() == kTerminals; }))
            state.SkipWithError("no calls");
        for (auto _ : state) {
            size_t up = bus.network.received.size() + kTerminals * kBatch;
            std::vector<size_t> down;
            for (auto& t : bus.terminals) down.push_back(t->received.size() + kBatch);
            for (unsigned n = 0; n < kBatch; ++n) {
                for (unsigned i = 0; i < kTerminals; ++i) {
                    bus.network.send(q931(uint8_t(0x80 | (i + 1)), 0x7B, {uint8_t(n)}));
                    bus.terminals[i]->send(q931(uint8_t(i + 1), 0x7B, {uint8_t(n)}));
                }
            }
            bool ok = runUntil(clock, [&] {
                for (unsigned i = 0; i < kTerminals; ++i)
                    if (bus.terminals[i]->received.size() < down[i]) return false;
                return bus.network.received.size() >= up;
            });
            if (!ok) state.SkipWithError("stalled");
        }
        double messages = double(state.iterations()) * kTerminals * kBatch * 2;
        state.SetItemsProcessed(int64_t(messages));
        state.counters["cpu_per_message"] =
            benchmark::Counter(messages, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }
    std::clog.rdbuf(log);
}
BENCHMARK(BM_LapdNtEightTerminals);

}  // namespace

BENCHMARK_MAIN();
