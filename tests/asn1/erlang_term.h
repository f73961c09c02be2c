#ifndef KORVAND_TESTS_ASN1_ERLANG_TERM_H
#define KORVAND_TESTS_ASN1_ERLANG_TERM_H

// Writes a value as the Erlang term that Erlang's asn1 compiler (with the
// maps option) takes for the oracle copy of the modules: a SEQUENCE as a
// map of its present components, a CHOICE as {Alternative, Value}, a
// SEQUENCE OF as a list, an ENUMERATED as its number (the oracle copy makes
// it an INTEGER range), an OCTET STRING as a binary, a string as a list of
// character codes; "_" in names becomes "-".

#include <ostream>

#include "asn1/asn1.h"

namespace ASN1Test {

class ErlangTermWriter : public ASN1::ConstVisitor {
public:
    explicit ErlangTermWriter(std::ostream& os) : os(os) {}

    using ASN1::ConstVisitor::do_visit;
    // Kinds that the schemas do not use have no term here.
    bool do_visit(const ASN1::AbstractData& value) override;
    bool do_visit(const ASN1::Null& value) override;
    bool do_visit(const ASN1::BOOLEAN& value) override;
    bool do_visit(const ASN1::INTEGER& value) override;
    bool do_visit(const ASN1::ENUMERATED& value) override;
    bool do_visit(const ASN1::OBJECT_IDENTIFIER& value) override;
    bool do_visit(const ASN1::OCTET_STRING& value) override;
    bool do_visit(const ASN1::AbstractString& value) override;
    bool do_visit(const ASN1::CHOICE& value) override;
    bool do_visit(const ASN1::SEQUENCE_OF_Base& value) override;

    bool preVisitExtensionRoots(const ASN1::SEQUENCE& value) override;
    bool visitExtensionRoot(const ASN1::SEQUENCE& value, int index) override;
    bool visitKnownExtension(const ASN1::SEQUENCE& value, int index) override;
    bool afterVisitSequence(const ASN1::SEQUENCE& value) override;

    // An atom for a schema name, quoted, "_" written "-".
    static std::string atom(const char* name);

private:
    template <class It, class Put>
    void list(It first, It last, Put put);

    std::ostream& os;
    // One flag per map being written: true once it has an entry.
    std::vector<bool> entries;
};

}  // namespace ASN1Test

#endif
