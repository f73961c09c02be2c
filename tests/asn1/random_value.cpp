#include "tests/asn1/random_value.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace ASN1Test {

using ASN1::Visitor;

RandomValue::RandomValue(uint32_t seed, RandomValueOptions options)
    : rng(seed), options(options) {}

uint32_t RandomValue::below(uint64_t n) {
    return n == 0 ? 0 : static_cast<uint32_t>(std::uniform_int_distribution<uint64_t>(0, n - 1)(rng));
}

std::unique_ptr<ASN1::AbstractData> RandomValue::make(const ASN1::TypeInfo* info) {
    std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(info));
    if (value && !fill(*value)) value.reset();
    return value;
}

bool RandomValue::fill(ASN1::AbstractData& value) {
    ++filled;
    return value.accept(*this);
}

unsigned RandomValue::size(const ASN1::ConstrainedObject& value, unsigned most) {
    unsigned lower = value.constrained() ? static_cast<unsigned>(value.getLowerLimit()) : 0;
    unsigned upper = value.constrained() ? value.getUpperLimit() : UINT_MAX;
    if (filled > options.budget) most = 0;
    upper = std::min(upper, lower + most);
    return lower + below(uint64_t(upper) - lower + 1);
}

bool RandomValue::do_visit(ASN1::Null&) { return true; }

bool RandomValue::do_visit(ASN1::BOOLEAN& value) {
    value = coin();
    return true;
}

bool RandomValue::do_visit(ASN1::INTEGER& value) {
    if (value.constrained()) {
        // Bounds and their neighbours are where coders slip.
        int64_t lower = value.getLowerLimit();
        int64_t upper = value.getUpperLimit();
        if (lower < 0) upper = static_cast<int32_t>(value.getUpperLimit());
        int64_t picks[] = {lower, upper, lower + below(uint64_t(upper - lower) + 1)};
        value.setValue(static_cast<int>(static_cast<uint32_t>(picks[below(3)])));
        return true;
    }
    static const int interesting[] = {0, 1, -1, 127, 128, -128, -129, 255, 256, 65535, 65536,
                                      INT_MAX, INT_MIN};
    value.setValue(coin() ? interesting[below(sizeof interesting / sizeof interesting[0])]
                          : static_cast<int>(rng()));
    return true;
}

bool RandomValue::do_visit(ASN1::ENUMERATED& value) {
    const ASN1::EnumInfo* info = value.info();
    std::vector<int> values;
    for (unsigned i = 0; i < info->nameCount; ++i) {
        ASN1::ENUMERATED probe(info);
        probe.setFromName(info->names[i]);
        if (!options.encodableOnly || probe.getValue() >= 0) values.push_back(probe.getValue());
    }
    value.setValue(values.empty() ? 0 : values[below(values.size())]);
    return true;
}

bool RandomValue::do_visit(ASN1::OBJECT_IDENTIFIER& value) {
    value.clear();
    unsigned first = below(3);
    value.append(first);
    value.append(first < 2 ? below(40) : below(1000));
    for (unsigned n = below(4); n > 0; --n) value.append(coin() ? below(200) : rng());
    return true;
}

bool RandomValue::do_visit(ASN1::OCTET_STRING& value) {
    value.resize(size(value, options.maxStringLength));
    for (char& octet : value) octet = static_cast<char>(below(256));
    return true;
}

bool RandomValue::do_visit(ASN1::BIT_STRING& value) {
    value.resize(size(value, options.maxStringLength * 3));
    for (unsigned i = 0; i < value.size(); ++i) value.set(i, coin());
    return true;
}

bool RandomValue::do_visit(ASN1::AbstractString& value) {
    const ASN1::StringInfo* info = value.info();
    std::string text;
    for (unsigned n = size(value, options.maxStringLength); n > 0; --n) {
        char c;
        do {
            c = info->characterSet[below(info->characterSetSize)];
        } while ((options.avoidQuote && c == '"') ||
                 (options.printableStrings && (c < ' ' || c > '~')));
        text += c;
    }
    value = text;
    return true;
}

bool RandomValue::do_visit(ASN1::BMPString& value) {
    std::wstring text;
    for (unsigned n = size(value, options.maxStringLength); n > 0; --n) {
        wchar_t c;
        do {
            c = static_cast<wchar_t>(coin() ? 32 + below(95) : below(0x10000));
        } while (options.avoidQuote && c == L'"');
        text += c;
    }
    value = text;
    return true;
}

bool RandomValue::do_visit(ASN1::CHOICE& value) {
    // Every alternative, extension additions included.
    int index = static_cast<int>(below(value.info()->totalChoices));
    return value.select(index) && fill(*value.getSelection());
}

bool RandomValue::do_visit(ASN1::SEQUENCE_OF_Base& value) {
    value.clear();
    for (unsigned n = size(value, options.maxElements); n > 0; --n) {
        std::unique_ptr<ASN1::AbstractData> element(value.createElement());
        if (!fill(*element)) return false;
        value.push_back(element.release());
    }
    return true;
}

bool RandomValue::do_visit(ASN1::OpenData& value) {
    if (value.has_data()) return fill(*value.get_data());
    std::vector<char>& octets = value.get_buf();
    octets.resize(1 + below(options.maxStringLength));
    for (char& octet : octets) octet = static_cast<char>(below(256));
    return true;
}

bool RandomValue::do_revisit(ASN1::OpenData&) { return false; }

bool RandomValue::do_visit(ASN1::TypeConstrainedOpenData& value) {
    return value.has_data() && fill(*value.get_data());
}

bool RandomValue::do_visit(ASN1::GeneralizedTime& value) {
    ASN1::GeneralizedTime t(1970 + below(100), 1 + below(12), 1 + below(28), below(24), below(60),
                            below(60), below(1000), coin() ? 0 : int(below(1441)) - 720,
                            coin());
    value = t;
    return true;
}

Visitor::VISIT_SEQ_RESULT RandomValue::component(ASN1::SEQUENCE& value, int index,
                                                 int optionalId) {
    if (optionalId != -1) {
        const ASN1::SequenceInfo* info = value.info();
        bool lastAddition = static_cast<unsigned>(index) + 1 == info->numFields + info->knownExtensions &&
                            static_cast<unsigned>(index) >= info->numFields;
        bool present = filled <= options.budget &&
                       (options.presence == RandomValueOptions::AllPresent ||
                        (options.presence == RandomValueOptions::RandomPresence && coin()));
        if (options.wholeExtensionMaps && lastAddition && value.extensionMap().any()) present = true;
        if (!present) {
            value.removeOptionalField(optionalId);
            return CONTINUE;
        }
        if (!value.includeOptionalField(optionalId, index)) return FAIL;
    }
    ASN1::AbstractData* field = value.getField(index);
    return field != nullptr && fill(*field) ? CONTINUE : FAIL;
}

Visitor::VISIT_SEQ_RESULT RandomValue::visitExtensionRoot(ASN1::SEQUENCE& value, int index,
                                                          int optionalId) {
    return component(value, index, optionalId);
}

Visitor::VISIT_SEQ_RESULT RandomValue::visitKnownExtension(ASN1::SEQUENCE& value, int index,
                                                           int optionalId) {
    return component(value, index, optionalId);
}

}  // namespace ASN1Test
