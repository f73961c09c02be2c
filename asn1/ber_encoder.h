#ifndef KORVAND_ASN1_BER_ENCODER_H
#define KORVAND_ASN1_BER_ENCODER_H

#include <cstddef>
#include <vector>

#include "asn1/type_info.h"
#include "asn1/visitor.h"

namespace ASN1 {

// Tag words: the identifier class (0x00 universal, 0x40 application, 0x80
// context-specific, 0xC0 private) shifted left by 16, and the tag number in
// the low 16 bits. A CHOICE record's tag is 0: it has no identifier of its
// own unless a field or alternative tag is put on it.
namespace BER {

const unsigned ContextSpecific = 0x80u << 16;

// The tag of component `index` of a SEQUENCE: its entry in the record's tag
// table, context-specific `index` without one (automatic tags), or -1 (the
// component type's own tag) when the table is SEQUENCE::defaultTag.
int fieldTag(const SequenceInfo& info, unsigned index);
// The tag of alternative `index` of a CHOICE, by the same rules.
unsigned alternativeTag(const ChoiceInfo& info, unsigned index);

}  // namespace BER

// Writes values in BER with definite lengths. A tagged CHOICE or open value
// is written as an explicit tag (constructed) around the inner value; every
// other value takes a field tag in place of its own (implicit tagging).
class BEREncoder : public ConstVisitor {
public:
    explicit BEREncoder(std::vector<char>& output) : output(&output) {}

    // The tag the next value is written with: -1 its record's own tag, 0
    // none (an untagged CHOICE or open value), else a tag word.
    void setTag(int tag) { nextTag = tag; }

    using ConstVisitor::do_visit;
    bool do_visit(const Null& value) override;
    bool do_visit(const BOOLEAN& value) override;
    bool do_visit(const INTEGER& value) override;
    bool do_visit(const IntegerWithNamedNumber& value) override;
    bool do_visit(const ENUMERATED& value) override;
    bool do_visit(const OBJECT_IDENTIFIER& value) override;
    bool do_visit(const BIT_STRING& value) override;
    bool do_visit(const OCTET_STRING& value) override;
    bool do_visit(const AbstractString& value) override;
    bool do_visit(const BMPString& value) override;
    bool do_visit(const CHOICE& value) override;
    bool do_visit(const OpenData& value) override;
    bool do_visit(const GeneralizedTime& value) override;
    bool do_visit(const SEQUENCE_OF_Base& value) override;

    bool preVisitExtensionRoots(const SEQUENCE& value) override;
    bool visitExtensionRoot(const SEQUENCE& value, int index) override;
    bool visitKnownExtension(const SEQUENCE& value, int index) override;
    bool afterVisitSequence(const SEQUENCE& value) override;

private:
    unsigned takeTag(const AbstractData& value);
    void putIdentifier(unsigned tag, bool constructed);
    bool putPrimitive(const AbstractData& value, const char* contents, size_t count);
    bool putPrimitive(const AbstractData& value, const std::vector<char>& contents) {
        return putPrimitive(value, contents.data(), contents.size());
    }
    // Writes the identifier; the length goes in front of the contents once
    // they are written (endConstructed with the position returned).
    size_t beginConstructed(unsigned tag);
    void endConstructed(size_t contentsStart);
    // A CHOICE or open value: `inner` under an explicit tag when there is one.
    template <class Inner>
    bool explicitly(unsigned tag, Inner inner);

    std::vector<char>* output;
    int nextTag = -1;
    // Where the contents of each SEQUENCE being written begin.
    std::vector<size_t> openSequences;
};

}  // namespace ASN1

#endif
