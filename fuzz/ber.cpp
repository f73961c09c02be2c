// BER decoding into a value of any LGCP or MON type: the first byte picks
// the type (its index among the types of LGCP and then MON, each module's
// types in name order), the rest is the encoding.

#include <vector>

#include "asn1/gen/modules.h"
#include "fuzz/decode_check.h"

namespace {

std::vector<const ASN1::TypeInfo*> protocolTypes() {
    std::vector<const ASN1::TypeInfo*> types;
    for (const char* name : {"LGCP", "MON"}) {
        const ASN1::Module* module = ASN1::findModule(name);
        for (unsigned i = 0; i < module->typeCount; ++i) types.push_back(module->types[i].info);
    }
    return types;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<const ASN1::TypeInfo*> types = protocolTypes();
    if (size < 1) return 0;
    checkDecode(ASN1::CoderEnv::ber, types[data[0] % types.size()], data + 1, size - 1);
    return 0;
}
