// Feeds a client's byte stream to the trace tap's frame reader in arbitrary
// pieces and checks it against a plain reading of the same stream: the
// same payloads in the same order, and the client dropped exactly where the
// stream goes wrong.
//
// Input: one octet that seeds the piece sizes, then the stream.

#include "protocol/tpkt_tracer.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

struct Reading {
    std::vector<Bytes> payloads;
    bool dropped = false;
};

// The stream read in one go, frame by frame.
Reading plain(const uint8_t* data, size_t size) {
    Reading r;
    size_t at = 0;
    while (size - at >= TPKTTracer::header_size) {
        const uint8_t* h = data + at;
        size_t length = size_t(h[2]) << 8 | h[3];
        if (h[0] != 3 || h[1] != 0 || length < 4 || length - 4 > TPKTTracer::max_payload) {
            r.dropped = true;
            break;
        }
        if (size - at < length) break;
        if (length > 4) r.payloads.emplace_back(h + 4, h + length);
        at += length;
    }
    return r;
}

Reading piecewise(const uint8_t* data, size_t size, uint8_t seed) {
    Reading r;
    TPKTTracer::Connection c;
    unsigned step = seed;
    for (size_t at = 0; at < size;) {
        step = step * 97 + 31;
        unsigned n = 1 + step % c.Wanted();
        if (n > size - at) n = unsigned(size - at);
        std::memcpy(c.Space(), data + at, n);
        at += n;
        TPKTTracer::Connection::Outcome o = c.Received(n);
        if (o == TPKTTracer::Connection::Close) {
            r.dropped = true;
            break;
        }
        if (o == TPKTTracer::Connection::Payload) {
            if (c.Size() == 0 || c.Size() > TPKTTracer::max_payload) __builtin_trap();
            r.payloads.emplace_back(c.Data(), c.Data() + c.Size());
            c.Restart();
        }
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    Reading a = plain(data + 1, size - 1);
    Reading b = piecewise(data + 1, size - 1, data[0]);
    if (a.payloads != b.payloads || a.dropped != b.dropped) __builtin_trap();
    return 0;
}
