// Aligned PER decoding of MON::Message, as the SNMP agent link decodes each
// frame an agent sends.

#include "asn1/gen/mon.h"
#include "fuzz/decode_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    checkDecode(ASN1::CoderEnv::per_Basic_Aligned, &MON::Message::theInfo, data, size);
    return 0;
}
