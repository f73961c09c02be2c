#ifndef KORVAND_FUZZ_DECODE_CHECK_H
#define KORVAND_FUZZ_DECODE_CHECK_H

// The check that the decoder fuzz targets share: arbitrary octets decoded
// into a value of one type. Whatever decodes must be a whole value: it
// prints in value notation, and if it encodes again by the same rule, that
// encoding decodes to an equal value. Anything else aborts.

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <vector>

#include "asn1/coder_env.h"

inline void checkDecode(ASN1::CoderEnv::EncodingRule rule, const ASN1::TypeInfo* type,
                        const uint8_t* data, size_t size) {
    // A buffer of exactly the input's size, so reads beyond it are caught.
    std::vector<char> input(data, data + size);
    ASN1::CoderEnv env(rule);
    std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(type));
    if (!ASN1::decode(input.data(), input.data() + input.size(), &env, *value, true)) return;
    if (value->asValueNotation().empty()) std::abort();
    std::vector<char> again;
    if (!ASN1::encode(*value, &env, std::back_inserter(again))) return;
    std::unique_ptr<ASN1::AbstractData> back(ASN1::AbstractData::create(type));
    if (!ASN1::decode(again.data(), again.data() + again.size(), &env, *back, true) ||
        back->compare(*value) != 0) {
        std::abort();
    }
}

#endif
