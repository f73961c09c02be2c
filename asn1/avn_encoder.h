#ifndef KORVAND_ASN1_AVN_ENCODER_H
#define KORVAND_ASN1_AVN_ENCODER_H

#include <ostream>
#include <string>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

// Writes a value in ASN.1 value notation, the form printed in logs and
// status text. Numbers are formatted here, so the stream's number base and
// flags do not change the text; each visit succeeds while the stream has
// not failed.
class AVNEncoder : public ConstVisitor {
public:
    explicit AVNEncoder(std::ostream& os) : strm(os) {}

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
    bool good() const { return !strm.fail(); }
    void put(const char* text);
    void put(const std::string& text) { strm.write(text.data(), text.size()); }
    void putSpaces(int count);
    bool putOctets(const std::vector<char>& octets);
    bool putField(const SEQUENCE& value, int index);

    std::ostream& strm;
    int indentation = 0;
    // One flag per SEQUENCE being printed: true once it printed a field.
    std::vector<bool> outerFlags;
};

}  // namespace ASN1

#endif
