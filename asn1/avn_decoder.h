#ifndef KORVAND_ASN1_AVN_DECODER_H
#define KORVAND_ASN1_AVN_DECODER_H

#include <istream>
#include <string>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

// Reads ASN.1 value notation of the form AVNEncoder writes back into a
// value. Any unexpected character, unknown name or bad number fails the
// read; the value keeps what was read until then. Besides names, an
// ENUMERATED also reads a decimal number, which is how the writer prints a
// value that no identifier has.
class AVNDecoder : public Visitor {
public:
    explicit AVNDecoder(std::istream& is) : strm(is) {}

    using Visitor::do_visit;
    bool do_visit(Null& value) override;
    bool do_visit(BOOLEAN& value) override;
    bool do_visit(INTEGER& value) override;
    bool do_visit(IntegerWithNamedNumber& value) override;
    bool do_visit(ENUMERATED& value) override;
    bool do_visit(OBJECT_IDENTIFIER& value) override;
    bool do_visit(OCTET_STRING& value) override;
    bool do_visit(BIT_STRING& value) override;
    bool do_visit(AbstractString& value) override;
    bool do_visit(BMPString& value) override;
    bool do_visit(CHOICE& value) override;
    bool do_visit(SEQUENCE_OF_Base& value) override;
    bool do_visit(OpenData& value) override;
    bool do_revisit(OpenData& value) override;
    bool do_visit(TypeConstrainedOpenData& value) override;
    bool do_visit(GeneralizedTime& value) override;

    VISIT_SEQ_RESULT preVisitExtensionRoots(SEQUENCE& value) override;
    VISIT_SEQ_RESULT visitExtensionRoot(SEQUENCE& value, int index, int optionalId) override;
    VISIT_SEQ_RESULT visitKnownExtension(SEQUENCE& value, int index, int optionalId) override;
    bool visitUnknownExtensions(SEQUENCE& value) override;

    // True when nothing but white space is left.
    bool atEnd();

private:
    // Nested values deeper than this fail instead of exhausting the stack.
    static const unsigned MaximumDepth = 100;

    int nextNonSpace();
    bool expect(char c);
    bool readWhile(bool (*accepts)(int), std::string& out);
    bool readIdentifier(std::string& out);
    bool readNumber(bool allowNegative, long long& out);
    bool readQuoted(std::string& out);
    bool readQuotedDigits(std::vector<char>& bytes, unsigned& bits);
    bool readCharacterList(std::wstring& out);
    bool readNested(AbstractData& value);
    // Reads a named component in place and the separator after it.
    VISIT_SEQ_RESULT readComponent(SEQUENCE& value, int index, int optionalId);

    std::istream& strm;
    // The component name read ahead for each SEQUENCE being read; "}" once
    // the closing brace was read.
    std::vector<std::string> identifiers;
    unsigned depth = 0;
};

// The position of `name` in a table of `size` names.
bool get_id(const char* const* names, unsigned size, const std::string& name, int& id);

}  // namespace ASN1

#endif
