#include "rtp/rtcp.h"

#include <algorithm>
#include <cstring>

#include "rtp/wire_bytes.h"

namespace RTPC {

namespace {

const unsigned kMaxText = 255;

unsigned char* bytes(char* buffer) {
    return reinterpret_cast<unsigned char*>(buffer);
}

unsigned floor4(unsigned n) {
    return n & ~3u;
}

// Zero bytes from `used` up to the next multiple of 4, within `size`.
unsigned pad(char* buffer, unsigned used, unsigned size) {
    unsigned end = std::min((used + 3) & ~3u, size);
    if (end > used) std::memset(buffer + used, 0, end - used);
    return std::max(end, used);
}

}  // namespace

unsigned Msg::encode(char* buffer, unsigned size) const {
    size = floor4(size);
    if (size < 8) return 0;
    buffer[0] = static_cast<char>(0x80 | (count() & 31));
    buffer[1] = static_cast<char>(pt());
    unsigned length = pad(buffer, 4 + encode_body(buffer + 4, size - 4), size);
    WireBytes::put16(bytes(buffer) + 2, length / 4 - 1);
    return length;
}

unsigned SDES::encode_body(char* buffer, unsigned size) const {
    if (size < 4) return 0;
    WireBytes::put32(bytes(buffer), ssrc);
    unsigned at = 4;
    if (items.empty() || size - at < 8) return at;
    for (const Item& item : items) {
        unsigned length = unsigned(std::min<size_t>(item.text.size(), kMaxText));
        // The item, the end byte and the padding must still fit.
        if (size - at < floor4(length + 6)) break;
        buffer[at] = static_cast<char>(item.type);
        buffer[at + 1] = static_cast<char>(length);
        std::memcpy(buffer + at + 2, item.text.data(), length);
        at += 2 + length;
    }
    buffer[at++] = 0;  // end of the item list
    return pad(buffer, at, size);
}

unsigned BYE::encode_body(char* buffer, unsigned size) const {
    if (size < 4) return 0;
    WireBytes::put32(bytes(buffer), ssrc);
    unsigned at = 4;
    if (reason.empty() || size - at < 2) return at;
    unsigned length = unsigned(std::min<size_t>({reason.size(), kMaxText, size - at - 1}));
    buffer[at++] = static_cast<char>(length);
    std::memcpy(buffer + at, reason.data(), length);
    return pad(buffer, at + length, size);
}

}  // namespace RTPC
