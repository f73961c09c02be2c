#ifndef KORVAND_ASN1_PER_DECODER_H
#define KORVAND_ASN1_PER_DECODER_H

#include <cstddef>
#include <cstdint>

#include "asn1/visitor.h"

namespace ASN1 {

class CoderEnv;
class ConstrainedObject;

// Reads aligned PER (the layout PEREncoder writes) from octets held by the
// caller, in place. Every read checks the input first: running out of bits,
// a count beyond the limits of coder_env.h, or an open type longer than the
// input fails the decode, and nothing is allocated for what the input
// cannot hold. Numbers read from a bit field are not checked against an
// upper bound that the field can exceed (a range of 3 values in 2 bits may
// give lower + 3); the validity checks are separate.
class PERDecoder : public Visitor {
public:
    // `env` is null when open types are to be left undecoded.
    PERDecoder(const char* first, const char* last, CoderEnv* env);

    // The bit layer; each read fails when the input holds too few bits.
    bool decodeSingleBit(bool& bit);
    bool decodeMultiBit(unsigned count, uint32_t& out);
    // Aligns and copies up to `count` octets; returns the number copied.
    size_t decodeBlock(char* buffer, size_t count);
    // `count` bits into whole bytes, the rest left-justified in the last one.
    bool decodeBitMap(unsigned char* bytes, unsigned count);
    bool decodeSmallUnsigned(uint32_t& out);
    bool decodeUnsigned(int32_t lower, uint32_t upper, uint32_t& out);
    bool decodeLength(uint32_t lower, uint32_t upper, uint32_t& out);
    // Reads the extension bit of an extensible range; `constrained` tells
    // whether the number or length then follows as constrained.
    bool decodeConstraint(const ConstrainedObject& object, bool& constrained);
    bool decodeConstrainedLength(const ConstrainedObject& object, uint32_t& out);
    void byteAlign();
    // Moves to `p` (never past the end) at an octet boundary.
    void setPosition(const char* p);
    uint64_t getBitsLeft() const;
    const char* getPosition() const { return reinterpret_cast<const char*>(position); }

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
    VISIT_SEQ_RESULT preVisitExtensions(SEQUENCE& value) override;
    VISIT_SEQ_RESULT visitKnownExtension(SEQUENCE& value, int index, int optionalId) override;
    bool visitUnknownExtensions(SEQUENCE& value) override;

private:
    size_t octetsLeft() const { return static_cast<size_t>(end - position); }
    // Aligns and takes `count` octets in place; false when they are not there.
    bool takeOctets(size_t count, const unsigned char*& octets);
    bool skipOpenType();
    // Reads an open type's length and decodes `value` from its octets as if
    // they were the whole input, then continues after them.
    bool decodeOpenType(AbstractData& value);
    // The component at `index`, created from its record when missing.
    AbstractData* fieldOf(SEQUENCE& value, int index);

    CoderEnv* env;
    const unsigned char* position;
    const unsigned char* end;
    // Bits of the current octet not yet read; 8 at an octet boundary.
    uint16_t bitsLeft = 8;
};

}  // namespace ASN1

#endif
