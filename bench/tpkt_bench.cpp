// TPKT framing and reassembly throughput against the payload size, and for
// reassembly against the size of the chunks the socket delivers.

#include <algorithm>
#include <vector>

#include <benchmark/benchmark.h>

#include "protocol/packet.h"
#include "protocol/tpkt_protocol.h"
#include "runtime/multiplexer.h"

namespace {

// A bottom layer that takes every packet and drops it.
struct Discard : Protocol {
    bool message(Packet&) override { return true; }
};

struct Stack : ProtocolsFamily {
    Stack() {
        add_protocol_tail(new Discard);
        add_protocol_tail(tpkt);
    }
    void on_message(Packet& p) override { received += p.length(); }

    Tpkt_protocol* tpkt = new Tpkt_protocol;
    size_t received = 0;
};

// Building a message the way a connection does: head room from the stack,
// payload appended, header pushed in front on the way down.
void BM_TpktFrame(benchmark::State& state) {
    Stack stack;
    std::vector<uint8_t> payload(size_t(state.range(0)), 0x5A);
    for (auto _ : state) {
        Packet p;
        stack.prepare_head(p);
        p.put(payload.data(), unsigned(payload.size()));
        if (!stack.message(p)) state.SkipWithError("not framed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_TpktFrame)->RangeMultiplier(4)->Range(32, 16384);

// A stream of about 1 MiB of frames, cut into chunks; each chunk is copied
// into a fresh packet as a socket read would, then reassembled.
void BM_TpktReassemble(benchmark::State& state) {
    size_t payload = size_t(state.range(0));
    size_t chunk = size_t(state.range(1));
    std::vector<uint8_t> stream;
    while (stream.size() < (1u << 20)) {
        size_t n = payload + 4;
        stream.insert(stream.end(), {3, 0, uint8_t(n >> 8), uint8_t(n)});
        stream.insert(stream.end(), payload, 0xA5);
    }
    Stack stack;
    for (auto _ : state) {
        for (size_t at = 0; at < stream.size(); at += chunk) {
            Packet p;
            p.reserve_head(0);
            p.put(stream.data() + at, unsigned(std::min(chunk, stream.size() - at)));
            stack.tpkt->receive(p);
            // What the delivery budget left goes on in the loop's next passes.
            while (stack.tpkt->deferred()) multiplexer.runOnce(0);
        }
    }
    if (stack.received != size_t(state.iterations()) * (stream.size() / (payload + 4)) * payload)
        state.SkipWithError("payload lost");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
}
BENCHMARK(BM_TpktReassemble)->ArgsProduct({{32, 256, 2048, 16384}, {64, 1460, 16384, 65536}});

}  // namespace
BENCHMARK_MAIN();
