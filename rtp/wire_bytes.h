#ifndef KORVAND_RTP_WIRE_BYTES_H
#define KORVAND_RTP_WIRE_BYTES_H

#include <cstdint>
#include <cstring>

// Big-endian fields of the radio signalling and RTCP packets, written and
// read byte by byte whatever the processor's byte order.
namespace WireBytes {

inline void put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}

inline void put32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

inline uint32_t get16(const unsigned char* p) {
    return uint32_t(p[0]) << 8 | p[1];
}

inline uint32_t get32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// A float as its 32-bit IEEE pattern.
inline void putFloat(unsigned char* p, float f) {
    uint32_t v;
    std::memcpy(&v, &f, sizeof v);
    put32(p, v);
}

inline float getFloat(const unsigned char* p) {
    uint32_t v = get32(p);
    float f;
    std::memcpy(&f, &v, sizeof f);
    return f;
}

// b minus a, for the comparisons of the codecs: 0 only for equal words.
inline int difference(uint32_t a, uint32_t b) {
    return static_cast<int>(static_cast<int64_t>(b) - static_cast<int64_t>(a));
}

}  // namespace WireBytes

#endif
