#ifndef KORVAND_ASN1_VALIDITY_H
#define KORVAND_ASN1_VALIDITY_H

#include <cstdint>
#include <iosfwd>
#include <sstream>
#include <string>

#include "asn1/visitor.h"

namespace ASN1 {

class ConstrainedObject;

// Whether a value satisfies the constraints of its type. The coders do not
// run these checks: a decoded value may hold what its type does not allow.
class ValidityChecker : public ConstVisitor {
public:
    using ConstVisitor::do_visit;
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
    bool visitExtensionRoot(const SEQUENCE& value, int index) override;
    bool visitKnownExtension(const SEQUENCE& value, int index) override;

protected:
    explicit ValidityChecker(bool strict) : strict(strict) {}

private:
    // Only the root constraints count, not what an extension marker allows.
    bool strict;
};

// Accepts values inside the root constraints or allowed by an extension marker.
class ValidChecker : public ValidityChecker {
public:
    ValidChecker() : ValidityChecker(false) {}
};

// Accepts only values inside the root constraints.
class StrictlyValidChecker : public ValidityChecker {
public:
    StrictlyValidChecker() : ValidityChecker(true) {}
};

// Describes the first violation (of the strength of isValid) as a path of
// component and alternative names followed by one message.
class InvalidTracer : public ConstVisitor {
public:
    std::string str() const { return strm.str(); }

    using ConstVisitor::do_visit;
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
    bool visitExtensionRoot(const SEQUENCE& value, int index) override;
    bool visitKnownExtension(const SEQUENCE& value, int index) override;

private:
    // " This <what> has size N" and the bound it breaks; true when none.
    bool traceSize(const ConstrainedObject& value, const char* what, uint64_t count);

    std::ostringstream strm;
};

// When the value is invalid, writes the prefix, the tracer's text and an end
// of line; true when the value is valid.
bool trace_invalid(std::ostream& os, const char* prefix, const AbstractData& value);

}  // namespace ASN1

#endif
