// Reads arbitrary text as value notation into a value of one of the schema's
// types; the first two bytes choose the type. A text that does not read must
// say where it failed; one that reads must print and read back to an equal
// value.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/abstract_data.h"
#include "asn1/avn_decoder.h"
#include "asn1/gen/modules.h"

namespace {

std::vector<const ASN1::TypeInfo*> everyType() {
    std::vector<const ASN1::TypeInfo*> types;
    for (const ASN1::Module* module : ASN1::generatedModules) {
        for (unsigned i = 0; i < module->typeCount; ++i) types.push_back(module->types[i].info);
    }
    return types;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<const ASN1::TypeInfo*> types = everyType();
    if (size < 2) return 0;
    const ASN1::TypeInfo* type = types[(data[0] | data[1] << 8) % types.size()];
    std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);

    std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(type));
    std::istringstream is(text);
    ASN1::AVNDecoder decoder(is);
    bool read = value->accept(decoder);
    // A failed read says where, within the text, and why; a good one does not.
    const ASN1::NotationFailure& failure = decoder.failure();
    if (read != failure.reason.empty()) std::abort();
    if (!read && (failure.offset < 0 || failure.offset > static_cast<long long>(text.size())))
        std::abort();
    if (!read || !decoder.atEnd()) return 0;
    std::string printed = value->asValueNotation();
    std::unique_ptr<ASN1::AbstractData> again(ASN1::AbstractData::create(type));
    if (!again->setFromValueNotation(printed) || again->compare(*value) != 0) std::abort();
    return 0;
}
