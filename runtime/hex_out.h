#ifndef KORVAND_RUNTIME_HEX_OUT_H
#define KORVAND_RUNTIME_HEX_OUT_H

#include <cstdint>
#include <ostream>

namespace ext {

// Each byte as two uppercase hex digits and a space: "0A FF 10 ".
class OutBufInHex {
public:
    OutBufInHex(const void* begin, const void* end)
        : begin(static_cast<const uint8_t*>(begin)), end(static_cast<const uint8_t*>(end)) {}
    OutBufInHex(const void* data, size_t len)
        : begin(static_cast<const uint8_t*>(data)), end(static_cast<const uint8_t*>(data) + len) {}
    void Put(std::ostream& os) const;

    const uint8_t* begin;
    const uint8_t* end;
};

// "0x" and the value in uppercase hex, zero-padded to `width`.
class OutUnsignedInHex {
public:
    OutUnsignedInHex(unsigned value, int width = 0) : value(value), width(width) {}
    void Put(std::ostream& os) const;

    unsigned value;
    int width;
};

inline std::ostream& operator<<(std::ostream& os, const OutBufInHex& h) {
    h.Put(os);
    return os;
}

inline std::ostream& operator<<(std::ostream& os, const OutUnsignedInHex& h) {
    h.Put(os);
    return os;
}

}  // namespace ext

// The local time as "%d/%m %H:%M:%S"; nothing when the time is unreadable.
void timestamp(std::ostream& os);

#endif
