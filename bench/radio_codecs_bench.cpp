// Pack and unpack time per packet of the two radio signalling codecs, for
// the packets a radio gateway sends and receives most: LEMZ WM_TRANS,
// WM_CHAN and GW_FLAG_PTT, ED-137 rx headers with an SQI and tx headers.
// The packing buffer is the 1024 bytes the radio controllers use. The
// counter "allocs" is the heap allocations per packet (expected 0).

#include <arpa/inet.h>
#include <benchmark/benchmark.h>

#include "rtp/r2s_proto.h"
#include "rtp/sig_proto.h"
#include "tests/rtp/alloc_counter.h"

namespace {

sig_proto lemz(int type) {
    sig_proto p;
    sig_proto_init(&p);
    p.type = uint32_t(type);
    sig_proto_set_base(&p, 3, 0, 1, 0, 1, 1, 0, 0, 1, 0, 0, 12);
    if (type == WM_TRANS) sig_proto_set_wm_transmite(&p, inet_addr("192.168.10.21"), 0x12345678);
    if (type == WM_CHAN) sig_proto_set_wm_chan(&p, 4, 124.35f, 2, 1);
    return p;
}

r2s_proto r2s(uint32_t direction) {
    r2s_proto p;
    r2s_proto_init(&p, direction);
    if (direction == R2S_PROTO_RX) {
        r2s_proto_set_rx_header(&p, 1, 1, 5, 0, 0, 0);
        r2s_proto_add_rx_sqi(&p, 17, 0);
    } else {
        r2s_proto_set_tx_header(&p, 1, 5, 0, 0);
    }
    return p;
}

void allocations(benchmark::State& state, size_t before) {
    state.counters["allocs"] = benchmark::Counter(double(allocationCount() - before), benchmark::Counter::kAvgIterations);
}

// Times `pack` of `p` into a 1024-byte buffer.
template <class Record>
void packs(benchmark::State& state, const Record& p, int (*pack)(const Record*, unsigned char*, int)) {
    unsigned char buffer[1024];
    size_t before = allocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(pack(&p, buffer, sizeof buffer));
        benchmark::ClobberMemory();
    }
    allocations(state, before);
}

// Times `unpack` of the bytes `pack` makes of `p`.
template <class Record>
void unpacks(benchmark::State& state, Record p, int (*pack)(const Record*, unsigned char*, int),
             int (*unpack)(Record*, const unsigned char*, int)) {
    unsigned char wire[64];
    int n = pack(&p, wire, sizeof wire);
    size_t before = allocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(unpack(&p, wire, n));
        benchmark::ClobberMemory();
    }
    allocations(state, before);
}

void BM_LemzPack(benchmark::State& state) {
    packs(state, lemz(int(state.range(0))), sig_proto_pack);
}

void BM_LemzUnpack(benchmark::State& state) {
    unpacks(state, lemz(int(state.range(0))), sig_proto_pack, sig_proto_unpack);
}

void BM_R2sPack(benchmark::State& state) {
    packs(state, r2s(uint32_t(state.range(0))), r2s_proto_pack);
}

void BM_R2sUnpack(benchmark::State& state) {
    uint32_t direction = uint32_t(state.range(0));
    unpacks(state, r2s(direction), r2s_proto_pack, direction == R2S_PROTO_RX ? r2s_proto_unpack_rx : r2s_proto_unpack_tx);
}

BENCHMARK(BM_LemzPack)->Arg(WM_TRANS)->Arg(WM_CHAN)->Arg(GW_FLAG_PTT);
BENCHMARK(BM_LemzUnpack)->Arg(WM_TRANS)->Arg(WM_CHAN)->Arg(GW_FLAG_PTT);
BENCHMARK(BM_R2sPack)->Arg(R2S_PROTO_RX)->Arg(R2S_PROTO_TX);
BENCHMARK(BM_R2sUnpack)->Arg(R2S_PROTO_RX)->Arg(R2S_PROTO_TX);

}  // namespace

BENCHMARK_MAIN();
