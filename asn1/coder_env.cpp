#include "asn1/coder_env.h"

#include <algorithm>
#include <sstream>
#include <string>

#include "asn1/avn_encoder.h"

namespace ASN1 {

bool CoderEnv::encodeAVN(const AbstractData& value, Output out) const {
    std::ostringstream text;
    AVNEncoder encoder(text);
    if (!value.accept(encoder)) return false;
    const std::string& written = text.str();
    std::copy(written.begin(), written.end(), out);
    return true;
}

// The aligned PER and BER coders add their rules to the two dispatches below;
// until then those rules fail.
bool CoderEnv::decode(const char* first, const char* last, AbstractData& value, bool) {
    switch (encodingRule) {
        case avn:
            return value.setFromValueNotation(std::string(first, last));
        default:
            return false;
    }
}

bool encode(const AbstractData& value, CoderEnv* env, CoderEnv::Output out) {
    switch (env->get_encodingRule()) {
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
