#ifndef KORVAND_ASN1_VISITOR_H
#define KORVAND_ASN1_VISITOR_H

// The two visitor interfaces through which coders, printers and checks walk
// a value. Each value class calls the entry for its own class; a SEQUENCE
// instead runs a walk over its components that separates root components
// from extension additions.

namespace ASN1 {

class AbstractData;
class Null;
class BOOLEAN;
class INTEGER;
class IntegerWithNamedNumber;
class ENUMERATED;
class OBJECT_IDENTIFIER;
class BIT_STRING;
class OCTET_STRING;
class AbstractString;
class BMPString;
class CHOICE;
class SEQUENCE;
class SEQUENCE_OF_Base;
class OpenData;
class TypeConstrainedOpenData;
class GeneralizedTime;

// A visitor that overrides some do_visit entries brings the others into its
// scope with a using-declaration, so that none is hidden.

// Fills a value (decoders, readers).
class Visitor {
public:
    // Results of the sequence walk operations.
    enum VISIT_SEQ_RESULT { FAIL = 0, STOP = 1, NO_EXTENSION = 2, CONTINUE = 3 };

    virtual ~Visitor() {}

    virtual bool do_visit(Null& value) = 0;
    virtual bool do_visit(BOOLEAN& value) = 0;
    virtual bool do_visit(INTEGER& value) = 0;
    virtual bool do_visit(IntegerWithNamedNumber& value);
    virtual bool do_visit(ENUMERATED& value) = 0;
    virtual bool do_visit(OBJECT_IDENTIFIER& value) = 0;
    virtual bool do_visit(OCTET_STRING& value) = 0;
    virtual bool do_visit(BIT_STRING& value) = 0;
    virtual bool do_visit(AbstractString& value) = 0;
    virtual bool do_visit(BMPString& value) = 0;
    virtual bool do_visit(CHOICE& value) = 0;
    virtual bool do_visit(SEQUENCE_OF_Base& value) = 0;
    virtual bool do_visit(OpenData& value) = 0;
    // A second pass over an open value whose contents were held as octets.
    virtual bool do_revisit(OpenData& value) = 0;
    virtual bool do_visit(TypeConstrainedOpenData& value) = 0;
    virtual bool do_visit(GeneralizedTime& value) = 0;

    virtual VISIT_SEQ_RESULT preVisitExtensionRoots(SEQUENCE& value);
    virtual VISIT_SEQ_RESULT visitExtensionRoot(SEQUENCE& value, int index, int optionalId);
    virtual VISIT_SEQ_RESULT preVisitExtensions(SEQUENCE& value);
    virtual VISIT_SEQ_RESULT visitKnownExtension(SEQUENCE& value, int index, int optionalId);
    virtual bool visitUnknownExtensions(SEQUENCE& value);

    // The sequence walk: every root component with its presence id, then,
    // unless told to stop, every known extension with its id.
    bool visit(SEQUENCE& value) {
        VISIT_SEQ_RESULT roots = preVisitExtensionRoots(value);
        if (roots == FAIL || roots == STOP) return roots == STOP;
        return visitComponents(value, roots);
    }
    bool do_visit(SEQUENCE& value) { return visit(value); }

private:
    // The walk after preVisitExtensionRoots.
    bool visitComponents(SEQUENCE& value, VISIT_SEQ_RESULT roots);
};

// Reads a value (encoders, printers, checks). Every entry for a value class
// defaults to the AbstractData entry, which accepts.
class ConstVisitor {
public:
    virtual ~ConstVisitor() {}

    virtual bool do_visit(const AbstractData& value);
    virtual bool do_visit(const Null& value);
    virtual bool do_visit(const BOOLEAN& value);
    virtual bool do_visit(const INTEGER& value);
    virtual bool do_visit(const IntegerWithNamedNumber& value);
    virtual bool do_visit(const ENUMERATED& value);
    virtual bool do_visit(const OBJECT_IDENTIFIER& value);
    virtual bool do_visit(const BIT_STRING& value);
    virtual bool do_visit(const OCTET_STRING& value);
    virtual bool do_visit(const AbstractString& value);
    virtual bool do_visit(const BMPString& value);
    virtual bool do_visit(const CHOICE& value);
    virtual bool do_visit(const OpenData& value);
    virtual bool do_visit(const GeneralizedTime& value);
    virtual bool do_visit(const SEQUENCE_OF_Base& value);

    virtual bool preVisitExtensionRoots(const SEQUENCE& value);
    virtual bool visitExtensionRoot(const SEQUENCE& value, int index);
    virtual bool preVisitExtensions(const SEQUENCE& value);
    virtual bool visitKnownExtension(const SEQUENCE& value, int index);
    virtual bool afterVisitSequence(const SEQUENCE& value);

    // The sequence walk: mandatory and present root components, then the
    // present known extensions when the extension map is not empty.
    bool visit(const SEQUENCE& value);
    bool do_visit(const SEQUENCE& value) { return visit(value); }
};

}  // namespace ASN1

#endif
