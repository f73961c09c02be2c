// Aligned PER decoding of LGCP::Message, as the control server decodes each
// frame the controller sends.

#include "asn1/gen/lgcp.h"
#include "fuzz/decode_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    checkDecode(ASN1::CoderEnv::per_Basic_Aligned, &LGCP::Message::theInfo, data, size);
    return 0;
}
