// ED-137 R2S header-extension payloads of any length and content, read in
// both directions. Besides memory faults it checks that at most 16
// elements are taken and that a payload that unpacks packs into bytes that
// unpack to the same header and elements.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rtp/r2s_proto.h"

namespace {

void roundTrip(const uint8_t* data, size_t size, int (*unpack)(r2s_proto*, const unsigned char*, int)) {
    r2s_proto p;
    r2s_proto_init(&p, 0);
    int result = unpack(&p, data, static_cast<int>(size));
    if (result != 0 && result != -9) std::abort();
    if (p.count > 16) std::abort();
    if (result != 0) return;

    unsigned char packed[1024];
    int n = r2s_proto_pack(&p, packed, sizeof packed);
    if (n < 2) std::abort();
    r2s_proto again;
    r2s_proto_init(&again, 0);
    if (unpack(&again, packed, n) != 0 || again.count != p.count || cmp_r2s_proto_source(&p, &again) != 0 ||
        std::memcmp(&p.rx, &again.rx, sizeof p.rx) != 0 ||
        std::memcmp(p.additional, again.additional, p.count * sizeof p.additional[0]) != 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    roundTrip(data, size, r2s_proto_unpack_tx);
    roundTrip(data, size, r2s_proto_unpack_rx);
    return 0;
}
