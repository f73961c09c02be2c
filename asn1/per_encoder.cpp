#include "asn1/per_encoder.h"

#include <algorithm>

#include "asn1/asn1.h"

namespace ASN1 {

namespace {
const size_t LargeBlock = 128;
}  // namespace

void PEREncoder::encodeBits(uint32_t value, unsigned count) {
    if (count == 0) return;
    uint64_t bits = value & ((uint64_t(1) << count) - 1);
    if (freeBits != 8) {
        // Fill the free low bits of the last octet first.
        unsigned take = std::min<unsigned>(count, freeBits);
        count -= take;
        output->back() = static_cast<char>(output->back() | ((bits >> count) << (freeBits - take)));
        freeBits = static_cast<uint16_t>(freeBits == take ? 8 : freeBits - take);
        if (count == 0) return;
        bits &= (uint64_t(1) << count) - 1;
    }
    // The rest starts new octets, left-justified in the last of them.
    size_t octets = (count + 7) / 8;
    bits <<= octets * 8 - count;
    for (size_t i = octets; i-- > 0;) output->push_back(static_cast<char>(bits >> (8 * i)));
    freeBits = static_cast<uint16_t>(count % 8 == 0 ? 8 : 8 - count % 8);
}

void PEREncoder::encodeByte(unsigned char value) {
    byteAlign();
    output->push_back(static_cast<char>(value));
}

void PEREncoder::encodeBlock(const char* data, size_t count) {
    if (count == 0) return;
    byteAlign();
    // A large block that does not fit says the message is large: room for
    // as much again after it, so that blocks that follow need not move the
    // whole output each time.
    if (count >= LargeBlock && output->capacity() - output->size() < count) {
        output->reserve(2 * (output->size() + count));
    }
    output->insert(output->end(), data, data + count);
}

void PEREncoder::encodeBitMap(const unsigned char* bytes, unsigned count) {
    for (unsigned i = 0; i < count / 8; ++i) encodeMultiBit(bytes[i], 8);
    unsigned rest = count % 8;
    if (rest != 0) encodeMultiBit(bytes[count / 8] >> (8 - rest), rest);
}

bool PEREncoder::encodeSmallUnsigned(uint32_t value) {
    if (value <= 63) {
        encodeMultiBit(value, 7);
        return true;
    }
    encodeSingleBit(true);
    unsigned octets = value < 0x100 ? 1 : value < 0x10000 ? 2 : value <= 0xFFFFFF ? 3 : 4;
    if (!encodeLength(octets, 0, PerUnbounded)) return false;
    byteAlign();
    encodeMultiBit(value, octets * 8);
    return true;
}

bool PEREncoder::encodeUnsigned(uint32_t value, int32_t lower, uint32_t upper) {
    if (!withinBounds(value, lower, upper)) return false;
    uint32_t span = upper - static_cast<uint32_t>(lower);
    if (span == 0) return true;
    unsigned bits = CountBits(span + 1);
    uint32_t offset = value - static_cast<uint32_t>(lower);
    // Ranges of 256 values or more are octet-aligned; beyond 65536 values
    // the number takes only the octets it needs, preceded by their count.
    if (span >= 255) {
        if (bits > 16) {
            unsigned octets = offset == 0 ? 1 : (CountBits(offset + 1) + 7) / 8;
            if (!encodeLength(octets, 1, (bits + 7) / 8)) return false;
            bits = octets * 8;
        } else if (bits > 8) {
            bits = 16;
        }
        byteAlign();
    }
    encodeMultiBit(offset, bits);
    return true;
}

bool PEREncoder::encodeLength(uint32_t length, uint32_t lower, uint32_t upper) {
    if (length < lower || length > upper) return false;
    if (upper <= 65535) return encodeUnsigned(length, static_cast<int32_t>(lower), upper);
    byteAlign();
    if (length <= 127) {
        encodeMultiBit(length, 8);
    } else if (length < 16384) {
        encodeMultiBit(0x8000 | length, 16);
    } else {
        return false;
    }
    return true;
}

bool PEREncoder::encodeConstraint(const ConstrainedObject& object, uint32_t value) {
    switch (object.getConstraintType()) {
        case ExtendableConstraint: {
            bool outside = !withinBounds(value, object.getLowerLimit(), object.getUpperLimit());
            encodeSingleBit(outside);
            return !outside;
        }
        case FixedConstraint:
            return true;
        default:
            return false;
    }
}

bool PEREncoder::encodeConstrainedLength(const ConstrainedObject& object, uint32_t length) {
    if (encodeConstraint(object, length)) {
        return encodeLength(length, static_cast<uint32_t>(object.getLowerLimit()),
                            object.getUpperLimit());
    }
    return encodeLength(length, 0, PerUnbounded);
}

bool PEREncoder::encodeOctets(const char* data, size_t count) {
    if (count > PerUnbounded || !encodeLength(static_cast<uint32_t>(count), 0, PerUnbounded)) {
        return false;
    }
    encodeBlock(data, count);
    return true;
}

bool PEREncoder::encodeAnyType(const AbstractData* value) {
    std::vector<char> inner;
    inner.reserve(InitialReserve);
    PEREncoder encoder(inner);
    if (value != nullptr && !value->accept(encoder)) return false;
    // An empty encoding still fills one octet of the wrapping.
    if (inner.empty()) inner.push_back(0);
    return encodeOctets(inner.data(), inner.size());
}

bool PEREncoder::do_visit(const Null&) { return true; }

bool PEREncoder::do_visit(const BOOLEAN& value) {
    encodeSingleBit(value.getValue());
    return true;
}

bool PEREncoder::do_visit(const INTEGER& value) {
    uint32_t v = static_cast<uint32_t>(value.getValue());
    if (encodeConstraint(value, v)) {
        return encodeUnsigned(v, value.getLowerLimit(), value.getUpperLimit());
    }
    // Two's complement in the fewest whole octets, after their count.
    unsigned octets = (TwosComplementBits(value.getValue()) + 7) / 8;
    if (!encodeLength(octets, 0, PerUnbounded)) return false;
    encodeMultiBit(v, octets * 8);
    return true;
}

bool PEREncoder::do_visit(const IntegerWithNamedNumber& value) {
    return do_visit(static_cast<const INTEGER&>(value));
}

bool PEREncoder::do_visit(const ENUMERATED& value) {
    // The number on the wire is the value itself, not its position.
    int v = value.getValue();
    int largest = value.getMaximum();
    if (value.extendable()) {
        bool extension = v > largest;
        encodeSingleBit(extension);
        if (extension) {
            uint32_t u = static_cast<uint32_t>(v);
            return encodeSmallUnsigned(u + 1) && encodeUnsigned(u, 0, u);
        }
    }
    return largest >= 0 &&
           encodeUnsigned(static_cast<uint32_t>(v), 0, static_cast<uint32_t>(largest));
}

bool PEREncoder::do_visit(const OBJECT_IDENTIFIER& value) {
    std::vector<char> octets;
    value.encodeCommon(octets);
    // The count is one aligned octet, also from 128 on.
    if (!encodeUnsigned(static_cast<uint32_t>(std::min<size_t>(octets.size(), 256)), 0, 255)) {
        return false;
    }
    encodeBlock(octets.data(), octets.size());
    return true;
}

bool PEREncoder::do_visit(const BIT_STRING& value) {
    unsigned count = value.size();
    if (!encodeConstrainedLength(value, count)) return false;
    const std::vector<char>& bytes = value.getData();
    if (count > 16) {
        encodeBlock(bytes.data(), (count + 7) / 8);
    } else if (count > 0) {
        encodeBitMap(reinterpret_cast<const unsigned char*>(bytes.data()), count);
    }
    return true;
}

bool PEREncoder::do_visit(const OCTET_STRING& value) {
    size_t count = value.size();
    if (count > PerUnbounded || !encodeConstrainedLength(value, static_cast<uint32_t>(count))) {
        return false;
    }
    // One or two octets follow the preceding bits without alignment.
    if (count <= 2) {
        for (char octet : value) encodeMultiBit(static_cast<unsigned char>(octet), 8);
    } else {
        encodeBlock(value.data(), count);
    }
    return true;
}

bool PEREncoder::do_visit(const AbstractString& value) {
    const StringInfo* info = value.info();
    size_t count = value.size();
    if (count > PerUnbounded || !encodeConstrainedLength(value, static_cast<uint32_t>(count))) {
        return false;
    }
    unsigned bits = info->charSetAlignedBits;
    bool isShort = value.constrained() && uint64_t(value.getUpperLimit()) * bits <= 16;
    if (!isShort) {
        if (bits == 8) {
            encodeBlock(value.data(), count);
            return true;
        }
        byteAlign();
    }
    // The character's own code where the canonical set needs more than 4
    // bits and fits; otherwise its index in the permitted set.
    bool ownCode = info->canonicalSetBits <= bits && info->canonicalSetBits > 4;
    const char* set = info->characterSet;
    const char* setEnd = set + info->characterSetSize;
    for (char c : value) {
        if (ownCode) {
            encodeMultiBit(static_cast<unsigned char>(c), bits);
            continue;
        }
        const char* found = std::find(set, setEnd, c);
        if (found == setEnd) return false;
        encodeMultiBit(static_cast<uint32_t>(found - set), bits);
    }
    return true;
}

bool PEREncoder::do_visit(const BMPString& value) {
    size_t count = value.size();
    if (count > PerUnbounded || !encodeConstrainedLength(value, static_cast<uint32_t>(count))) {
        return false;
    }
    if (!value.constrained() || uint64_t(value.getUpperLimit()) * 16 > 16) byteAlign();
    uint32_t first = static_cast<uint32_t>(value.info()->firstChar);
    for (wchar_t c : value) {
        uint32_t code = static_cast<uint32_t>(c) - first;
        // A character beyond 16 bits would be written as another one.
        if (code > 0xFFFF) return false;
        encodeMultiBit(code, 16);
    }
    return true;
}

bool PEREncoder::do_visit(const GeneralizedTime& value) {
    std::string text = value.get();
    if (!encodeLength(static_cast<uint32_t>(text.size()), 0, 0xFFFFFFFF)) return false;
    encodeBlock(text.data(), text.size());
    return true;
}

bool PEREncoder::do_visit(const CHOICE& value) {
    int index = value.currentSelection();
    const AbstractData* selection = value.getSelection();
    if (index < 0 || selection == nullptr) return false;
    unsigned roots = value.info()->numChoices;
    if (value.info()->extendable) {
        bool extension = static_cast<unsigned>(index) >= roots;
        encodeSingleBit(extension);
        if (extension) {
            return encodeSmallUnsigned(static_cast<unsigned>(index) - roots) &&
                   encodeAnyType(selection);
        }
    }
    if (static_cast<unsigned>(index) >= roots) return false;
    if (roots > 1 && !encodeUnsigned(static_cast<uint32_t>(index), 0, roots - 1)) return false;
    return selection->accept(*this);
}

bool PEREncoder::do_visit(const OpenData& value) {
    // Octets held undecoded are the encoding itself: they go out as they are.
    const std::vector<char>* held = value.buffer();
    if (!value.has_data() && held != nullptr && !held->empty()) {
        return encodeOctets(held->data(), held->size());
    }
    return encodeAnyType(value.get_data());
}

bool PEREncoder::do_visit(const SEQUENCE_OF_Base& value) {
    if (value.size() > PerUnbounded ||
        !encodeConstrainedLength(value, static_cast<uint32_t>(value.size()))) {
        return false;
    }
    for (const AbstractData& element : value) {
        if (!element.accept(*this)) return false;
    }
    return true;
}

bool PEREncoder::preVisitExtensionRoots(const SEQUENCE& value) {
    const SequenceInfo* info = value.info();
    if (info->extendable) encodeSingleBit(value.extensionMap().any());
    // The presence bits straight from the map's bytes when it has the
    // record's size; bits beyond a shorter map are 0.
    const SEQUENCE::BitMap& optionals = value.optionalMap();
    if (optionals.size() == info->numOptional) {
        encodeBitMap(optionals.bytes().data(), info->numOptional);
    } else {
        for (unsigned i = 0; i < info->numOptional; ++i) encodeSingleBit(optionals[i]);
    }
    return true;
}

bool PEREncoder::visitExtensionRoot(const SEQUENCE& value, int index) {
    const AbstractData* field = value.getField(static_cast<unsigned>(index));
    return field != nullptr && field->accept(*this);
}

bool PEREncoder::preVisitExtensions(const SEQUENCE& value) {
    const SEQUENCE::BitMap& map = value.extensionMap();
    // An extension map without a set bit wrote the extension bit 0 and
    // nothing more.
    if (!value.info()->extendable || !map.any()) return true;
    if (!encodeSmallUnsigned(map.size() - 1)) return false;
    encodeBitMap(map.bytes().data(), map.size());
    return true;
}

bool PEREncoder::visitKnownExtension(const SEQUENCE& value, int index) {
    return encodeAnyType(value.getField(static_cast<unsigned>(index)));
}

}  // namespace ASN1
