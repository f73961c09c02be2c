#ifndef KORVAND_ASN1_PER_DECODER_H
#define KORVAND_ASN1_PER_DECODER_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "asn1/abstract_data.h"
#include "asn1/per_encoder.h"
#include "asn1/sequence.h"
#include "asn1/visitor.h"

namespace ASN1 {

class CoderEnv;

// Where a failed decode stopped, for a report to a person: a decoder told
// to keep one fills it as the failure passes on its way out, so that a
// decode that succeeds costs nothing more.
struct PERFailure {
    // Whether a component failed; `bitsRead` is set only then.
    bool placed = false;
    // Bits of the input read when the innermost failing component stopped.
    uint64_t bitsRead = 0;
    // The components from the outermost value down to the one that failed
    // ("pdu.command.create.trunk", "commands[0].value"); empty when the
    // outermost value failed outside its components.
    std::string path;
    // Whether the failing read needed more than the input held.
    bool inputEnded = false;
};

// Reads aligned PER (the layout PEREncoder writes) from octets held by the
// caller, in place. Every read checks the input first: running out of bits,
// a count beyond the limits of coder_env.h, or an open type longer than the
// input fails the decode, and nothing is allocated for what the input
// cannot hold. Numbers read from a bit field are not checked against an
// upper bound that the field can exceed (a range of 3 values in 2 bits may
// give lower + 3); the validity checks are separate.
//
// The class is final so that it can walk a sequence with its own walk
// operations called directly: preVisitExtensionRoots reads the sequence's
// preamble and then runs the whole walk itself, ending the base walk with
// STOP (success) or FAIL.
class PERDecoder final : public Visitor {
public:
    // `env` is null when open types are to be left undecoded.
    PERDecoder(const char* first, const char* last, CoderEnv* env);

    // Has a failed decode say where it stopped in `record`, which must
    // outlive the decode.
    void keepFailure(PERFailure* record) { failure = record; }

    // The bit layer; each read fails when the input holds too few bits.
    bool decodeSingleBit(bool& bit) {
        uint32_t v;
        if (!decodeMultiBit(1, v)) return false;
        bit = v != 0;
        return true;
    }
    bool decodeMultiBit(unsigned count, uint32_t& out) {
        // Bits within the current octet, the most common case.
        if (count - 1u < bitsLeft && position != end) {
            bitsLeft = static_cast<uint16_t>(bitsLeft - count);
            out = (*position >> bitsLeft) & ((1u << count) - 1);
            if (bitsLeft == 0) {
                ++position;
                bitsLeft = 8;
            }
            return true;
        }
        // With eight octets left, the bits (at most five octets' worth) come
        // from one load, whatever the position in the current octet.
        if (count - 1u < 32u && octetsLeft() >= sizeof(uint64_t)) {
            unsigned used = 8u - bitsLeft;
            unsigned last = used + count;
            out = static_cast<uint32_t>((loadBigEndian64(position) << used) >> (64 - count));
            position += last / 8;
            bitsLeft = static_cast<uint16_t>(8 - last % 8);
            return true;
        }
        return decodeBits(count, out);
    }
    // Aligns and copies up to `count` octets; returns the number copied.
    size_t decodeBlock(char* buffer, size_t count);
    // `count` bits into whole bytes, the rest left-justified in the last one.
    bool decodeBitMap(unsigned char* bytes, unsigned count) {
        if (count > 8) return decodeLongBitMap(bytes, count);
        uint32_t v = 0;
        if (count != 0 && !decodeMultiBit(count, v)) return false;
        if (count != 0) bytes[0] = static_cast<unsigned char>(v << (8 - count));
        return true;
    }
    bool decodeSmallUnsigned(uint32_t& out);
    bool decodeUnsigned(int32_t lower, uint32_t upper, uint32_t& out) {
        uint32_t span = upper - static_cast<uint32_t>(lower);
        uint32_t raw = 0;
        if (span < 255) {
            // Fewer than 256 values: bit-packed, nothing at all for one value.
            if (span != 0 && !decodeMultiBit(CountBits(span + 1), raw)) return false;
        } else if (span <= 65535) {
            // Up to 65536 values: one aligned octet for 256, else two.
            byteAlign();
            if (!decodeMultiBit(span == 255 ? 8 : 16, raw)) return false;
        } else {
            return decodeWideUnsigned(lower, span, out);
        }
        // Wraps around, so negative lower bounds come out right.
        out = raw + static_cast<uint32_t>(lower);
        return true;
    }
    bool decodeLength(uint32_t lower, uint32_t upper, uint32_t& out) {
        if (upper <= 65535) return decodeUnsigned(static_cast<int32_t>(lower), upper, out);
        byteAlign();
        // One octet below 128, the common case.
        if (position != end && *position < 0x80) {
            out = *position++;
            return true;
        }
        return decodeLongLength(out);
    }
    // Reads the extension bit of an extensible range; `constrained` tells
    // whether the number or length then follows as constrained.
    bool decodeConstraint(const ConstrainedObject& object, bool& constrained) {
        ConstraintType type = object.getConstraintType();
        constrained = type == FixedConstraint;
        if (type != ExtendableConstraint) return true;
        bool extension;
        if (!decodeSingleBit(extension)) return false;
        constrained = !extension;
        return true;
    }
    bool decodeConstrainedLength(const ConstrainedObject& object, uint32_t& out) {
        bool constrained;
        if (!decodeConstraint(object, constrained)) return false;
        if (!constrained) return decodeLength(0, PerUnbounded, out);
        return decodeLength(static_cast<uint32_t>(object.getLowerLimit()), object.getUpperLimit(),
                            out);
    }
    void byteAlign() {
        if (bitsLeft == 8) return;
        bitsLeft = 8;
        ++position;
    }
    // Moves to `p` (never past the end) at an octet boundary.
    void setPosition(const char* p);
    uint64_t getBitsLeft() const {
        return position == end ? 0 : uint64_t(octetsLeft()) * 8 - (8 - bitsLeft);
    }
    uint64_t getBitsRead() const { return uint64_t(position - start) * 8 + (8 - bitsLeft); }
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
    // Eight octets as one big-endian number.
    static uint64_t loadBigEndian64(const unsigned char* octets) {
        uint64_t word;
        std::memcpy(&word, octets, sizeof word);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        word = __builtin_bswap64(word);
#endif
        return word;
    }
    // The paths beyond the inline common cases below are never inlined, so
    // that their callers stay small.
    // The general bit read, for the last octets of the input.
    __attribute__((noinline)) bool decodeBits(unsigned count, uint32_t& out);
    // The length forms after the first octet: two octets, or a failure.
    __attribute__((noinline)) bool decodeLongLength(uint32_t& out);
    __attribute__((noinline)) bool decodeLongBitMap(unsigned char* bytes, unsigned count);
    // A range of more than 65536 values (span = upper - lower): the octet
    // count, then as many aligned octets.
    __attribute__((noinline)) bool decodeWideUnsigned(int32_t lower, uint32_t span,
                                                      uint32_t& out);
    // Aligns and takes `count` octets in place; false when they are not there.
    bool takeOctets(size_t count, const unsigned char*& octets) {
        byteAlign();
        if (count > octetsLeft()) return inputEnded();
        octets = position;
        position += count;
        return true;
    }
    // A read that needs more than the input holds: false, and noted for
    // the failure record.
    bool inputEnded() {
        if (failure != nullptr) failure->inputEnded = true;
        return false;
    }
    // A failure leaving the component `name` (or element `element` of a
    // SEQUENCE OF when `name` is null) on its way out: the innermost one
    // fixes the position, each puts its name in front of the path.
    __attribute__((noinline)) void leaving(const char* name, uint32_t element = 0);
    bool skipOpenType();
    // Reads an open type's length and decodes `value` from its octets as if
    // they were the whole input, then continues after them.
    bool decodeOpenType(AbstractData& value);
    // The extension bit and the presence map of a sequence.
    inline VISIT_SEQ_RESULT decodeSequencePreamble(SEQUENCE& value);
    // The component at `index`, created from its record when missing.
    AbstractData* fieldOf(SEQUENCE& value, int index) {
        unsigned i = static_cast<unsigned>(index);
        AbstractData* field = value.getField(i);
        if (field != nullptr) return field;
        field = AbstractData::create(value.info()->fieldInfos[i]);
        if (field != nullptr) value.setField(i, field);
        return field;
    }

    CoderEnv* env;
    const unsigned char* start;
    const unsigned char* position;
    const unsigned char* end;
    // Bits of the current octet not yet read; 8 at an octet boundary.
    uint16_t bitsLeft = 8;
    PERFailure* failure = nullptr;
};

}  // namespace ASN1

#endif
