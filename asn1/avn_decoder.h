#ifndef KORVAND_ASN1_AVN_DECODER_H
#define KORVAND_ASN1_AVN_DECODER_H

#include <istream>
#include <string>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

// Where a read of value notation stopped and why: the offset from where
// the reader began (-1 when the stream cannot tell its position) and a
// reason such as `expected "}"`.
struct NotationFailure {
    long long offset = -1;
    std::string reason;
};

// Reads ASN.1 value notation of the form AVNEncoder writes back into a
// value. Any unexpected character, unknown name or bad number fails the
// read; the value keeps what was read until then, and failure() tells
// where and what was expected there. Besides names, an ENUMERATED also
// reads a decimal number, which is how the writer prints a value that no
// identifier has.
class AVNDecoder : public Visitor {
public:
    explicit AVNDecoder(std::istream& is);

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
    // The offset from where the reader began, -1 when the stream cannot
    // tell.
    long long offset();
    // The first failure of the read; an empty reason while none.
    const NotationFailure& failure() const { return failed; }

private:
    // A component name read ahead inside a SEQUENCE ("}" once the closing
    // brace was read), where it stood, and the optional components passed
    // over since the last one read, for the failure's reason.
    struct Ahead {
        std::string name;
        long long at = -1;
        std::vector<std::string> passed;
    };

    // Nested values deeper than this fail instead of exhausting the stack.
    static const unsigned MaximumDepth = 100;

    int nextNonSpace();
    // The offset of the next non-space character.
    long long mark();
    // Records the first failure and returns false.
    bool fail(long long at, const std::string& reason);
    bool expect(char c);
    // expect(), failing with "expected" and the character.
    bool need(char c);
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
    long long origin;
    // One entry for each SEQUENCE being read.
    std::vector<Ahead> identifiers;
    unsigned depth = 0;
    NotationFailure failed;
};

// The position of `name` in a table of `size` names.
bool get_id(const char* const* names, unsigned size, const std::string& name, int& id);

}  // namespace ASN1

#endif
