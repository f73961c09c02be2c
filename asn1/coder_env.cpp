#include "asn1/coder_env.h"

#include <algorithm>
#include <sstream>
#include <string>

#include "asn1/avn_encoder.h"
#include "asn1/ber_decoder.h"
#include "asn1/ber_encoder.h"
#include "asn1/per_decoder.h"
#include "asn1/per_encoder.h"

namespace ASN1 {

unsigned MaximumArraySize = 128;
unsigned MaximumStringSize = 16384;

bool CoderEnv::encodeAVN(const AbstractData& value, Output out) const {
    std::ostringstream text;
    AVNEncoder encoder(text);
    if (!value.accept(encoder)) return false;
    const std::string& written = text.str();
    std::copy(written.begin(), written.end(), out);
    return true;
}

bool CoderEnv::encodeBER(const AbstractData& value, Output out) const {
    std::vector<char> octets;
    BEREncoder encoder(octets);
    if (!value.accept(encoder)) return false;
    std::copy(octets.begin(), octets.end(), out);
    return true;
}

bool CoderEnv::decode(const char* first, const char* last, AbstractData& value,
                      bool deferOpenTypes) {
    CoderEnv* openTypes = deferOpenTypes ? nullptr : this;
    switch (encodingRule) {
        case per_Basic_Aligned: {
            PERDecoder decoder(first, last, openTypes);
            return value.accept(decoder);
        }
        case ber: {
            BERDecoder decoder(first, last, openTypes);
            return value.accept(decoder);
        }
        case avn:
            return value.setFromValueNotation(std::string(first, last));
        default:
            return false;
    }
}

bool encode(const AbstractData& value, CoderEnv* env, CoderEnv::Output out) {
    switch (env->get_encodingRule()) {
        case CoderEnv::per_Basic_Aligned: {
            std::vector<char> octets;
            if (!PEREncoder::encodeInto(&value, octets)) return false;
            std::copy(octets.begin(), octets.end(), out);
            return true;
        }
        case CoderEnv::ber:
            return env->encodeBER(value, out);
        case CoderEnv::avn:
            return env->encodeAVN(value, out);
        default:
            return false;
    }
}

bool decode(const char* first, const char* last, CoderEnv* env, AbstractData& value,
            bool deferOpenTypes) {
    return env->decode(first, last, value, deferOpenTypes);
}

}  // namespace ASN1
