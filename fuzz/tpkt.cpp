// Feeds arbitrary bytes to the TPKT receiver in arbitrary chunks and checks
// that the chunking changes nothing: the payloads handed up must be those of
// the same bytes fed in the largest chunks, and every block must come back.
//
// Input: one octet n, then n octets of chunk lengths (each used as
// length + 1, in turn), then the stream.
//
// The clock moves only when a payload is handed up, 100 us each, so the
// delivery budget cuts runs at points the input decides; what it leaves is
// pumped through the loop before the next chunk.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <vector>

#include "protocol/packet.h"
#include "protocol/tpkt_protocol.h"
#include "runtime/multiplexer.h"
#include "runtime/mux_clock.h"

namespace {

typedef std::vector<uint8_t> Bytes;

struct Collector : ProtocolsFamily {
    Collector() { add_protocol_tail(tpkt); }
    void on_message(Packet& p) override {
        messages.emplace_back(p.data(), p.data() + p.length());
        now += 100;
    }
    void feed(const uint8_t* data, size_t size) {
        Packet chunk;
        if (!chunk.reserve_head(0)) __builtin_trap();
        chunk.put(data, unsigned(size));
        tpkt->receive(chunk);
        if (chunk.length() != 0) __builtin_trap();
        while (tpkt->deferred()) multiplexer.runOnce(0);
    }
    static uint64_t clock() { return now; }

    static uint64_t now;

    Tpkt_protocol* tpkt = new Tpkt_protocol;
    std::vector<Bytes> messages;
};

uint64_t Collector::now = 0;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        std::clog.setstate(std::ios::badbit);  // one line per bad octet would drown the run
        Mux::setClockSource(&Collector::clock);
        return true;
    }();
    (void)quiet;
    if (size < 1) return 0;
    size_t lengths = data[0];
    if (size < 1 + lengths) return 0;
    const uint8_t* cuts = data + 1;
    const uint8_t* stream = cuts + lengths;
    size_t streamSize = size - 1 - lengths;
    {
        Collector whole;
        Collector chunked;
        for (size_t at = 0; at < streamSize; at += packet_max_size)
            whole.feed(stream + at, std::min<size_t>(packet_max_size, streamSize - at));
        for (size_t at = 0, i = 0; at < streamSize; ++i) {
            size_t n = lengths ? cuts[i % lengths] + 1u : streamSize;
            n = std::min(n, streamSize - at);
            chunked.feed(stream + at, n);
            at += n;
        }
        if (whole.messages != chunked.messages) __builtin_trap();
        if (whole.tpkt->state() != chunked.tpkt->state()) __builtin_trap();
    }
    if (Packet::free_blocks() != packet_pool_blocks) __builtin_trap();
    return 0;
}
