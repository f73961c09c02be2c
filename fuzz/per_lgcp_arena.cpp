// Aligned PER decoding of LGCP::Message with the value reserves and the
// decoding arena, which the sanitizer build of the library leaves out: a
// message beyond the reserves decodes into the arena. Besides the checks of
// every decoder target, no block may stay in the arena once the value is
// gone, where the leak checker cannot see it.

#include <cstdlib>

#include "asn1/allocator.h"
#include "asn1/gen/lgcp.h"
#include "fuzz/decode_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    checkDecode(ASN1::CoderEnv::per_Basic_Aligned, &LGCP::Message::theInfo, data, size);
    const ASN1::detail::Arena& arena = ASN1::detail::blockPool.arena;
    if (arena.closed != nullptr || (arena.current != nullptr && arena.current->live != arena.current->foreign))
        std::abort();
    if (ASN1::heapTrimDue()) ASN1::trimHeap();
    return 0;
}
