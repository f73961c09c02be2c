// Prints arbitrary frames with the Q.931 frame printer into a buffer fenced
// by guard octets, from an exactly sized heap copy, so that reading past the
// frame or writing past the buffer stops the run. The text must end in a NUL
// within the buffer.
//
// Input: one octet of direction, then the frame.

#include "links/dlogframe.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t kGuard = 16;
    static char area[ISDN::kLogBufSize + 2 * kGuard];
    std::memset(area, 0x5A, sizeof area);
    std::vector<uint8_t> frame(data + 1, data + size);
    char* out = area + kGuard;
    dlogframe(frame.data(), int(frame.size()), data[0] & 1, out);
    for (size_t i = 0; i < kGuard; ++i)
        if (area[i] != 0x5A || area[kGuard + ISDN::kLogBufSize + i] != 0x5A) __builtin_trap();
    if (frame.size() >= 3 && strnlen(out, ISDN::kLogBufSize) == ISDN::kLogBufSize) __builtin_trap();
    return 0;
}
