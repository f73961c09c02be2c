#ifndef KORVAND_FUZZ_LINK_FUZZ_H
#define KORVAND_FUZZ_LINK_FUZZ_H

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <streambuf>

#include "fuzz/fuzz_input.h"
#include "protocol/packet.h"
#include "runtime/multiplexer.h"
#include "runtime/mux_clock.h"

// What the link protocol targets share: standard streams that swallow the
// links' lines, a clock that the input moves on, and the end checks.
namespace LinkFuzz {

inline void require(bool holds) {
    if (!holds) std::abort();
}

// The loop's clock, in microseconds.
inline uint64_t& now() {
    static uint64_t us = 0;
    return us;
}

// Once per process: quiet streams and the input's clock.
inline void setUp() {
    struct Silent : std::streambuf {
        int overflow(int c) override { return c; }
    };
    static Silent silent;
    static bool done = false;
    if (done) return;
    done = true;
    std::clog.rdbuf(&silent);
    std::cerr.rdbuf(&silent);
    Mux::setClockSource([] { return now(); });
}

// A length octet, then that many octets of the input, in a packet with
// `head` octets of head room; null when the pool is empty.
inline Packet packet(FuzzInput& in, unsigned head) {
    std::string bytes = in.bytes(in.byte());
    Packet p;
    if (p.reserve_head(head)) p.put(bytes.data(), unsigned(bytes.size()));
    return p;
}

// After a link is gone: no timer left behind, every packet back in the pool.
inline void requireReleased() {
    require(multiplexer.timerCount() == 0);
    require(Packet::free_blocks() == packet_pool_blocks);
}

}  // namespace LinkFuzz

#endif
