// The controller client's decode of octets that a person gives: the first
// byte chooses LGCP.Message (even) or MON.Message (odd), the rest are the
// octets. A decode must agree with the plain decoder, take no octet after
// the value's end, and say where a failure stopped within the input.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "tools/lgcpc/lgcpc.h"

namespace {

// The octet that a report "at octet N, bit B: ..." names, or 0.
unsigned long octetNamed(const std::string& error) {
    static const std::string head = "at octet ";
    if (error.compare(0, head.size(), head) != 0) return 0;
    return std::strtoul(error.c_str() + head.size(), nullptr, 10);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string type = data[0] % 2 == 0 ? "LGCP.Message" : "MON.Message";
    std::vector<char> octets(data + 1, data + size);
    std::string error;
    std::unique_ptr<ASN1::AbstractData> value = Lgcpc::newValue(type, error);
    bool decoded = Lgcpc::decodeOctets(octets, *value, error);

    std::unique_ptr<ASN1::AbstractData> plain = Lgcpc::newValue(type, error);
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    bool whole = ASN1::decode(octets.data(), octets.data() + octets.size(), &env, *plain, true);
    if (decoded) {
        if (!whole || value->asValueNotation().empty()) std::abort();
        // One octet more is one too many.
        octets.push_back('\0');
        if (Lgcpc::decodeOctets(octets, *value, error) ||
            error.find("the value has ended, 1 more octet follows") == std::string::npos) {
            std::abort();
        }
        return 0;
    }
    unsigned long octet = octetNamed(error);
    if (octet < 1 || octet > octets.size() + 1) std::abort();
    // What the plain decoder takes fails here only for octets after its end.
    if (whole && error.find("the value has ended") == std::string::npos) std::abort();
    return 0;
}
