#ifndef KORVAND_ASN1_PER_ENCODER_H
#define KORVAND_ASN1_PER_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class ConstrainedObject;

// The upper bound that stands for "no size constraint" in the length rules.
const uint32_t PerUnbounded = 0x7FFFFFFF;
// Octets reserved up front for an encoding: one allocation for ordinary
// messages.
const size_t InitialReserve = 256;

// Writes values in aligned PER. Bits go into the last octet of the output,
// most significant bit first; the output is appended to, never rewritten.
// Departures from X.691 that the peers expect: ENUMERATED is coded by value,
// the extension presence map of a SEQUENCE is as long as the value's map,
// OCTET STRINGs of one or two octets are never aligned, and lengths of 16384
// or more fail instead of being fragmented.
class PEREncoder : public ConstVisitor {
public:
    explicit PEREncoder(std::vector<char>& output) : output(&output) {}


    // The bit layer.
    void encodeSingleBit(bool bit) {
        if (freeBits == 8) output->push_back(0);
        --freeBits;
        if (bit) output->back() = static_cast<char>(output->back() | (1 << freeBits));
        if (freeBits == 0) freeBits = 8;
    }
    // The low `count` bits of `value` (count at most 32), most significant first.
    void encodeMultiBit(uint32_t value, unsigned count) {
        // Bits that fit in the free low bits of the last octet, the most
        // common case.
        if (freeBits != 8 && count - 1u < freeBits) {
            freeBits = static_cast<uint16_t>(freeBits - count);
            output->back() = static_cast<char>(output->back() |
                                               ((value & ((1u << count) - 1)) << freeBits));
            if (freeBits == 0) freeBits = 8;
            return;
        }
        encodeBits(value, count);
    }
    void encodeByte(unsigned char value);
    // Aligns and appends the octets; nothing at all for none.
    void encodeBlock(const char* data, size_t count);
    // `count` bits from the most significant bit of the first byte, unaligned.
    void encodeBitMap(const unsigned char* bytes, unsigned count);
    bool encodeSmallUnsigned(uint32_t value);
    // A constrained whole number of lower..upper.
    bool encodeUnsigned(uint32_t value, int32_t lower, uint32_t upper);
    bool encodeLength(uint32_t length, uint32_t lower, uint32_t upper);
    // Writes the extension bit of an extensible range; true when the value
    // is then written as constrained.
    bool encodeConstraint(const ConstrainedObject& object, uint32_t value);
    bool encodeConstrainedLength(const ConstrainedObject& object, uint32_t length);
    // The value encoded on its own and wrapped as an octet string; a null
    // value, or one that encodes to no bits, gives the one octet 0x00.
    bool encodeAnyType(const AbstractData* value);
    void byteAlign() { freeBits = 8; }

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
    bool preVisitExtensions(const SEQUENCE& value) override;
    bool visitKnownExtension(const SEQUENCE& value, int index) override;

private:
    // The general bit write, also across octets.
    void encodeBits(uint32_t value, unsigned count);
    bool encodeOctets(const char* data, size_t count);

    std::vector<char>* output;
    // Bits still free in the last octet; 8 when the next bit starts a new one.
    uint16_t freeBits = 8;
};

}  // namespace ASN1

#endif
