// LEMZ radio signalling packets of any length and content, as a peer in
// an RTP header extension could send them. Besides memory faults it checks
// that a packet that unpacks packs into bytes that unpack to the same
// record, and that the printer stays within its text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rtp/sig_proto.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    sig_proto p;
    sig_proto_init(&p);
    int result = sig_proto_unpack(&p, data, static_cast<int>(size));
    if (result != 0 && result != -8 && result != -9) std::abort();
    if (result != 0) return 0;

    unsigned char packed[1024];
    int n = sig_proto_pack(&p, packed, sizeof packed);
    if (n < 4 || n > static_cast<int>(size) + 3) std::abort();
    sig_proto again;
    sig_proto_init(&again);
    if (sig_proto_unpack(&again, packed, n) != 0 || cmp_sig_proto(&p, &again) != 0 ||
        cmp_sig_proto_header(&p, &again) != 0)
        std::abort();

    char text[64];
    int printed = sprintf_sig_proto(text, sizeof text, &p, SIG_PROTO_PRINT_NAME);
    if (printed < 0 || printed >= static_cast<int>(sizeof text) || std::strlen(text) != size_t(printed)) std::abort();
    return 0;
}
