#ifndef KORVAND_TESTS_ASN1_RANDOM_VALUE_H
#define KORVAND_TESTS_ASN1_RANDOM_VALUE_H

// Fills ASN.1 values of any type with random contents that respect the
// type's constraints: numbers within their ranges, sizes within their
// bounds, characters from the permitted set, named enumeration values, and
// OPTIONAL components and extension additions both present and absent.

#include <cstdint>
#include <memory>
#include <random>

#include "asn1/asn1.h"

namespace ASN1Test {

struct RandomValueOptions {
    // Once this many values were filled, OPTIONAL components stay absent and
    // lists empty, so values of large types stay small.
    unsigned budget = 400;
    unsigned maxElements = 3;
    unsigned maxStringLength = 12;
    // Leave out the double quote, which value notation does not escape.
    bool avoidQuote = true;
    // Only enumeration values that aligned PER can write (0 or more).
    bool encodableOnly = false;
    // Restricted-string characters only from space to tilde, so that the
    // value notation is one line of plain text.
    bool printableStrings = false;
    // OPTIONAL components and extension additions: each by a coin, all
    // absent, or all present (within the budget).
    enum Presence { RandomPresence, NonePresent, AllPresent } presence = RandomPresence;
    // When a SEQUENCE holds any extension addition it also holds its last
    // known one, so its presence map spans every known addition (the form
    // that X.691 codecs write).
    bool wholeExtensionMaps = false;
};

class RandomValue : public ASN1::Visitor {
public:
    explicit RandomValue(uint32_t seed, RandomValueOptions options = RandomValueOptions());

    // A new value of the record's type with random contents.
    std::unique_ptr<ASN1::AbstractData> make(const ASN1::TypeInfo* info);
    // Replaces the contents of `value`.
    bool fill(ASN1::AbstractData& value);

    using ASN1::Visitor::do_visit;
    bool do_visit(ASN1::Null& value) override;
    bool do_visit(ASN1::BOOLEAN& value) override;
    bool do_visit(ASN1::INTEGER& value) override;
    bool do_visit(ASN1::ENUMERATED& value) override;
    bool do_visit(ASN1::OBJECT_IDENTIFIER& value) override;
    bool do_visit(ASN1::OCTET_STRING& value) override;
    bool do_visit(ASN1::BIT_STRING& value) override;
    bool do_visit(ASN1::AbstractString& value) override;
    bool do_visit(ASN1::BMPString& value) override;
    bool do_visit(ASN1::CHOICE& value) override;
    bool do_visit(ASN1::SEQUENCE_OF_Base& value) override;
    bool do_visit(ASN1::OpenData& value) override;
    bool do_revisit(ASN1::OpenData& value) override;
    bool do_visit(ASN1::TypeConstrainedOpenData& value) override;
    bool do_visit(ASN1::GeneralizedTime& value) override;

    VISIT_SEQ_RESULT visitExtensionRoot(ASN1::SEQUENCE& value, int index, int optionalId) override;
    VISIT_SEQ_RESULT visitKnownExtension(ASN1::SEQUENCE& value, int index, int optionalId) override;

private:
    uint32_t below(uint64_t n);
    bool coin() { return below(2) == 1; }
    // A count within the size bounds of a constrained record.
    unsigned size(const ASN1::ConstrainedObject& value, unsigned most);
    VISIT_SEQ_RESULT component(ASN1::SEQUENCE& value, int index, int optionalId);

    std::mt19937 rng;
    RandomValueOptions options;
    unsigned filled = 0;
};

}  // namespace ASN1Test

#endif
