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

namespace {

// The vector behind an output iterator: a member the iterator keeps for
// classes derived from it, reached through a pointer to member.
struct OutputVector : CoderEnv::Output {
    static std::vector<char>& of(CoderEnv::Output& out) {
        return *(out.*(&OutputVector::container));
    }
};

// Encodes straight onto the end of the output's vector and takes back what
// a failed encoding wrote, so that the caller sees all or nothing.
template <class Encode>
bool appendEncoding(CoderEnv::Output out, Encode encode) {
    std::vector<char>& octets = OutputVector::of(out);
    size_t before = octets.size();
    if (octets.capacity() - before < InitialReserve) octets.reserve(before + InitialReserve);
    if (encode(octets)) return true;
    octets.resize(before);
    return false;
}

}  // namespace

bool CoderEnv::encodeAVN(const AbstractData& value, Output out) const {
    return appendEncoding(out, [&](std::vector<char>& octets) {
        std::ostringstream text;
        AVNEncoder encoder(text);
        if (!value.accept(encoder)) return false;
        const std::string& written = text.str();
        octets.insert(octets.end(), written.begin(), written.end());
        return true;
    });
}

bool CoderEnv::encodeBER(const AbstractData& value, Output out) const {
    return appendEncoding(out, [&](std::vector<char>& octets) {
        BEREncoder encoder(octets);
        return value.accept(encoder);
    });
}

bool CoderEnv::decode(const char* first, const char* last, AbstractData& value,
                      bool deferOpenTypes) {
    CoderEnv* openTypes = deferOpenTypes ? nullptr : this;
    switch (encodingRule) {
        case per_Basic_Aligned: {
            // The message's values come from the decoding arena.
            detail::ArenaScope arena;
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
        case CoderEnv::per_Basic_Aligned:
            return appendEncoding(out, [&](std::vector<char>& octets) {
                PEREncoder encoder(octets);
                return value.accept(encoder);
            });
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
