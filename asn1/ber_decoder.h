#ifndef KORVAND_ASN1_BER_DECODER_H
#define KORVAND_ASN1_BER_DECODER_H

#include <cstddef>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class CoderEnv;

// Reads BER with definite lengths (the layout BEREncoder writes). Every
// identifier must carry the expected tag in the expected form (primitive or
// constructed) and every length must lie within the enclosing value; the
// indefinite length form and constructed strings are refused. Open values
// keep their octets undecoded for do_revisit.
class BERDecoder : public Visitor {
public:
    // `env` is handed to the decoding of open values.
    BERDecoder(const char* first, const char* last, CoderEnv* env);

    // The tag the next value is read with: -1 its record's own tag, 0 none,
    // else a tag word.
    void setTag(int tag) { nextTag = tag; }

    using Visitor::do_visit;
    bool do_visit(Null& value) override;
    bool do_visit(BOOLEAN& value) override;
    bool do_visit(INTEGER& value) override;
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

private:
    typedef const unsigned char* Position;
    struct Header {
        unsigned tag;
        bool constructed;
        size_t length;
    };
    // Where reading stands; restored after a component that was tried and
    // turned out absent.
    struct State {
        Position position;
        Position end;
        size_t depth;
    };

    unsigned takeTag(const AbstractData& value);
    // Reads an identifier and a length whose contents lie within the input.
    bool readHeader(Header& header);
    bool nextTagIs(unsigned tag);
    // Reads the header of the next value, which must be `tag` in the given
    // form, and gives its contents.
    bool openValue(unsigned tag, bool constructed, Position& contents, size_t& length);
    // The contents of a primitive value with its own or the pending tag.
    bool primitive(const AbstractData& value, Position& contents, size_t& length);
    // An OCTET STRING or a restricted string: its contents as they are.
    template <class Octets>
    bool octets(Octets& value);
    // Reads `inner` from the contents of a constructed value, which it must
    // use up.
    template <class Inner>
    bool constructed(unsigned tag, Inner inner);
    // A CHOICE or open value: `inner` inside an explicit tag when it has one.
    template <class Inner>
    bool explicitly(unsigned tag, Inner inner);
    VISIT_SEQ_RESULT component(SEQUENCE& value, int index, int optionalId);

    CoderEnv* env;
    Position position;
    Position end;
    int nextTag = -1;
    // The ends of the enclosing values of each SEQUENCE being read.
    std::vector<Position> outerEnds;
};

}  // namespace ASN1

#endif
