#include "asn1/per_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "asn1/asn1.h"
#include "asn1/coder_env.h"
#include "asn1/per_encoder.h"
#include "asn1/sequence_walk.h"

namespace ASN1 {

PERDecoder::PERDecoder(const char* first, const char* last, CoderEnv* env)
    : env(env),
      start(reinterpret_cast<const unsigned char*>(first)),
      position(start),
      end(reinterpret_cast<const unsigned char*>(last < first ? first : last)) {}

void PERDecoder::setPosition(const char* p) {
    const unsigned char* target = reinterpret_cast<const unsigned char*>(p);
    position = target > end ? end : target;
    bitsLeft = 8;
}

void PERDecoder::leaving(const char* name, uint32_t element) {
    if (failure == nullptr) return;
    if (!failure->placed) {
        failure->placed = true;
        failure->bitsRead = getBitsRead();
    }
    std::string step = name != nullptr ? std::string(name) : "[" + std::to_string(element) + "]";
    if (!failure->path.empty() && failure->path[0] != '[') step += '.';
    failure->path.insert(0, step);
}

bool PERDecoder::decodeBits(unsigned count, uint32_t& out) {
    if (count > 32) return false;
    if (getBitsLeft() < count) return inputEnded();
    if (count == 0) {
        out = 0;
        return true;
    }
    // The octets that hold the bits, at most five, as one number.
    unsigned last = 8u - bitsLeft + count;
    unsigned octets = (last + 7) / 8;
    uint64_t word = 0;
    for (unsigned i = 0; i < octets; ++i) word = word << 8 | position[i];
    out = static_cast<uint32_t>((word >> (octets * 8 - last)) & ((uint64_t(1) << count) - 1));
    position += last / 8;
    bitsLeft = static_cast<uint16_t>(8 - last % 8);
    return true;
}

size_t PERDecoder::decodeBlock(char* buffer, size_t count) {
    if (count == 0) return 0;
    byteAlign();
    size_t n = std::min(count, octetsLeft());
    if (n != 0) std::memcpy(buffer, position, n);
    position += n;
    return n;
}

bool PERDecoder::decodeLongBitMap(unsigned char* bytes, unsigned count) {
    if (getBitsLeft() < count) return inputEnded();
    uint32_t v;
    for (unsigned i = 0; i < count / 8; ++i) {
        decodeMultiBit(8, v);
        bytes[i] = static_cast<unsigned char>(v);
    }
    unsigned rest = count % 8;
    if (rest != 0) {
        decodeMultiBit(rest, v);
        bytes[count / 8] = static_cast<unsigned char>(v << (8 - rest));
    }
    return true;
}

bool PERDecoder::decodeSmallUnsigned(uint32_t& out) {
    bool large;
    if (!decodeSingleBit(large)) return false;
    if (!large) return decodeMultiBit(6, out);
    uint32_t octets;
    if (!decodeLength(0, PerUnbounded, octets) || octets > 4) return false;
    byteAlign();
    return decodeMultiBit(octets * 8, out);
}

bool PERDecoder::decodeWideUnsigned(int32_t lower, uint32_t span, uint32_t& out) {
    uint32_t octets;
    if (!decodeLength(1, (CountBits(span + 1) + 7) / 8, octets)) return false;
    unsigned bits = octets * 8;
    byteAlign();
    uint32_t raw;
    if (!decodeMultiBit(bits, raw)) return false;
    out = raw + static_cast<uint32_t>(lower);
    return true;
}

bool PERDecoder::decodeLongLength(uint32_t& out) {
    uint32_t first, second;
    if (!decodeMultiBit(8, first)) return false;
    if ((first & 0x80) == 0) {
        out = first;
        return true;
    }
    // 11 would start the fragmented form, which is never produced.
    if ((first & 0x40) != 0 || !decodeMultiBit(8, second)) return false;
    out = (first & 0x3F) << 8 | second;
    return true;
}

bool PERDecoder::skipOpenType() {
    uint32_t length;
    const unsigned char* octets;
    return decodeLength(0, PerUnbounded, length) && takeOctets(length, octets);
}

bool PERDecoder::decodeOpenType(AbstractData& value) {
    uint32_t length;
    if (!decodeLength(0, PerUnbounded, length)) return false;
    if (length > octetsLeft()) return inputEnded();
    // The value may read only its own octets; what it leaves is skipped.
    const unsigned char* openEnd = position + length;
    const unsigned char* outerEnd = end;
    end = openEnd;
    bool ok = value.accept(*this);
    end = outerEnd;
    // Octets that end too soon are the open value's fault, not the input's.
    if (!ok && failure != nullptr) failure->inputEnded = false;
    position = openEnd;
    bitsLeft = 8;
    return ok;
}

bool PERDecoder::do_visit(Null&) { return true; }

bool PERDecoder::do_visit(BOOLEAN& value) {
    bool bit;
    if (!decodeSingleBit(bit)) return false;
    value = bit;
    return true;
}

bool PERDecoder::do_visit(INTEGER& value) {
    bool constrained;
    if (!decodeConstraint(value, constrained)) return false;
    uint32_t raw;
    if (constrained) {
        if (!decodeUnsigned(value.getLowerLimit(), value.getUpperLimit(), raw)) return false;
    } else {
        // The length leaves the position aligned: the octets as one number.
        uint32_t octets;
        const unsigned char* number;
        if (!decodeLength(0, PerUnbounded, octets) || octets > 4 || !takeOctets(octets, number)) {
            return false;
        }
        raw = 0;
        for (uint32_t i = 0; i < octets; ++i) raw = raw << 8 | number[i];
        unsigned bits = octets * 8;
        if (bits > 0 && bits < 32 && (raw >> (bits - 1)) != 0) raw |= ~uint32_t(0) << bits;
    }
    value.setValue(static_cast<int>(raw));
    return true;
}

bool PERDecoder::do_visit(ENUMERATED& value) {
    uint32_t raw;
    bool extension = false;
    if (value.extendable() && !decodeSingleBit(extension)) return false;
    if (extension) {
        uint32_t n;
        if (!decodeSmallUnsigned(n) || n == 0 || !decodeUnsigned(0, n - 1, raw)) return false;
    } else {
        if (value.getMaximum() < 0 ||
            !decodeUnsigned(0, static_cast<uint32_t>(value.getMaximum()), raw)) {
            return false;
        }
    }
    value.setValue(static_cast<int>(raw));
    return true;
}

bool PERDecoder::do_visit(OBJECT_IDENTIFIER& value) {
    uint32_t count;
    const unsigned char* octets;
    return decodeUnsigned(0, 255, count) && takeOctets(count, octets) &&
           value.decodeCommon(reinterpret_cast<const char*>(octets), count);
}

bool PERDecoder::do_visit(OCTET_STRING& value) {
    uint32_t count;
    if (!decodeConstrainedLength(value, count) || count > MaximumStringSize) return false;
    value.clear();
    if (count <= 2) {
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t octet;
            if (!decodeMultiBit(8, octet)) return false;
            value.push_back(static_cast<char>(octet));
        }
        return true;
    }
    const unsigned char* octets;
    if (!takeOctets(count, octets)) return false;
    const char* first = reinterpret_cast<const char*>(octets);
    value.assign(first, first + count);
    return true;
}

bool PERDecoder::do_visit(BIT_STRING& value) {
    uint32_t count;
    if (!decodeConstrainedLength(value, count) || count > MaximumStringSize) return false;
    if (count > getBitsLeft()) return inputEnded();
    if (count > 16) {
        const unsigned char* octets;
        if (!takeOctets((count + 7) / 8, octets)) return false;
        value.assign(reinterpret_cast<const char*>(octets), count);
        return true;
    }
    value.resize(count);
    return decodeBitMap(reinterpret_cast<unsigned char*>(value.getData().data()), count);
}

bool PERDecoder::do_visit(AbstractString& value) {
    const StringInfo* info = value.info();
    uint32_t count;
    if (!decodeConstrainedLength(value, count) || count > MaximumStringSize) return false;
    unsigned bits = info->charSetAlignedBits;
    bool isShort = value.constrained() && uint64_t(value.getUpperLimit()) * bits <= 16;
    if (!isShort && bits == 8) {
        // Whole octets from an octet boundary; they are there exactly when
        // the bits are. A text of a few characters is copied character by
        // character, cheaper than the library's general copy.
        const unsigned char* octets;
        if (!takeOctets(count, octets)) return false;
        value.clear();
        if (count <= 4) {
            for (uint32_t i = 0; i < count; ++i) value.push_back(static_cast<char>(octets[i]));
        } else {
            value.append(reinterpret_cast<const char*>(octets), count);
        }
        return true;
    }
    if (uint64_t(count) * bits > getBitsLeft()) return inputEnded();
    if (!isShort) byteAlign();
    value.clear();
    bool ownCode = info->canonicalSetBits <= bits && info->canonicalSetBits > 4;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t raw;
        if (!decodeMultiBit(bits, raw)) return false;
        if (!ownCode) {
            if (raw >= info->characterSetSize) return false;
            raw = static_cast<unsigned char>(info->characterSet[raw]);
        }
        value.push_back(static_cast<char>(raw));
    }
    return true;
}

bool PERDecoder::do_visit(BMPString& value) {
    uint32_t count;
    if (!decodeConstrainedLength(value, count) || count > MaximumStringSize) return false;
    if (uint64_t(count) * 16 > getBitsLeft()) return inputEnded();
    if (!value.constrained() || uint64_t(value.getUpperLimit()) * 16 > 16) byteAlign();
    value.clear();
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t raw;
        if (!decodeMultiBit(16, raw)) return false;
        value.push_back(static_cast<wchar_t>(static_cast<uint32_t>(value.info()->firstChar) + raw));
    }
    return true;
}

bool PERDecoder::do_visit(GeneralizedTime& value) {
    uint32_t length;
    const unsigned char* octets;
    if (!decodeLength(0, 0xFFFFFFFF, length) || !takeOctets(length, octets)) return false;
    value.set(std::string(octets, octets + length).c_str());
    return true;
}

bool PERDecoder::do_visit(CHOICE& value) {
    const ChoiceInfo* info = value.info();
    bool extension = false;
    if (info->extendable && !decodeSingleBit(extension)) return false;
    if (extension) {
        // Computed wide: a huge number must not wrap to a small index.
        uint32_t n;
        if (!decodeSmallUnsigned(n)) return false;
        uint64_t index = uint64_t(n) + info->numChoices;
        if (index >= info->totalChoices || !value.select(static_cast<int>(index))) return false;
        if (value.getSelection() != nullptr && decodeOpenType(*value.getSelection())) return true;
        leaving(value.getSelectionName());
        return false;
    }
    uint32_t index = 0;
    if (info->numChoices > 1 && !decodeUnsigned(0, info->numChoices - 1, index)) return false;
    // The record checks the index: one it lacks leaves the choice failed.
    if (index >= info->totalChoices || !value.select(static_cast<int>(index))) return false;
    if (value.getSelection() != nullptr && value.getSelection()->accept(*this)) return true;
    leaving(value.getSelectionName());
    return false;
}

bool PERDecoder::do_visit(SEQUENCE_OF_Base& value) {
    uint32_t count;
    if (!decodeConstrainedLength(value, count) || count > MaximumArraySize) return false;
    // Elements are added as they decode, so the count alone allocates no
    // element.
    value.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (i == value.size()) value.push_back(value.createElement());
        if (!value.at(i).accept(*this)) {
            leaving(nullptr, i);
            value.resize(i);
            return false;
        }
    }
    value.resize(count);
    return true;
}

bool PERDecoder::do_visit(OpenData& value) {
    uint32_t length;
    const unsigned char* octets;
    if (!decodeLength(0, PerUnbounded, length) || !takeOctets(length, octets)) return false;
    value.get_buf().assign(octets, octets + length);
    return true;
}

bool PERDecoder::do_revisit(OpenData& value) {
    if (!value.has_data() || !value.has_buf()) return false;
    const std::vector<char>& octets = value.get_buf();
    PERDecoder decoder(octets.data(), octets.data() + octets.size(), env);
    return value.get_data()->accept(decoder);
}

bool PERDecoder::do_visit(TypeConstrainedOpenData& value) {
    return value.has_data() && decodeOpenType(*value.get_data());
}

inline Visitor::VISIT_SEQ_RESULT PERDecoder::decodeSequencePreamble(SEQUENCE& value) {
    const SequenceInfo* info = value.info();
    bool extension = false;
    if (info->extendable && !decodeSingleBit(extension)) return FAIL;
    SEQUENCE::BitMap& optionals = value.optionalMap();
    if (optionals.size() != info->numOptional) optionals.resize(info->numOptional);
    if (info->numOptional != 0 && !decodeBitMap(optionals.bytes().data(), info->numOptional)) {
        return FAIL;
    }
    // A value decoded into again must not keep extensions of before.
    if (!extension && value.extensionMap().size() != 0) value.extensionMap().resize(0);
    return extension ? CONTINUE : NO_EXTENSION;
}

Visitor::VISIT_SEQ_RESULT PERDecoder::preVisitExtensionRoots(SEQUENCE& value) {
    VISIT_SEQ_RESULT roots = decodeSequencePreamble(value);
    if (roots == FAIL) return FAIL;
    return detail::walkSequenceComponents(*this, value, roots) ? STOP : FAIL;
}

Visitor::VISIT_SEQ_RESULT PERDecoder::visitExtensionRoot(SEQUENCE& value, int index,
                                                         int optionalId) {
    if (optionalId != -1 && !value.hasOptionalField(static_cast<unsigned>(optionalId))) {
        return CONTINUE;
    }
    AbstractData* field = fieldOf(value, index);
    bool decoded = field != nullptr && (detail::isBoolean(*field) ? do_visit(static_cast<BOOLEAN&>(*field))
                                                                   : field->accept(*this));
    if (decoded) return CONTINUE;
    leaving(value.getFieldName(static_cast<unsigned>(index)));
    return FAIL;
}

Visitor::VISIT_SEQ_RESULT PERDecoder::preVisitExtensions(SEQUENCE& value) {
    uint32_t n;
    if (!decodeSmallUnsigned(n)) return FAIL;
    uint64_t count = uint64_t(n) + 1;
    if (count > MaximumArraySize) return FAIL;
    SEQUENCE::BitMap& map = value.extensionMap();
    map.resize(static_cast<unsigned>(count));
    return decodeBitMap(map.bytes().data(), map.size()) ? CONTINUE : FAIL;
}

Visitor::VISIT_SEQ_RESULT PERDecoder::visitKnownExtension(SEQUENCE& value, int index, int) {
    if (!value.extensionMap()[static_cast<unsigned>(index) - value.info()->numFields]) {
        return CONTINUE;
    }
    AbstractData* field = fieldOf(value, index);
    bool ok = field != nullptr ? decodeOpenType(*field) : skipOpenType();
    if (ok) return CONTINUE;
    leaving(value.getFieldName(static_cast<unsigned>(index)));
    return FAIL;
}

bool PERDecoder::visitUnknownExtensions(SEQUENCE& value) {
    SEQUENCE::BitMap& map = value.extensionMap();
    unsigned known = value.info()->knownExtensions;
    for (unsigned i = known; i < map.size(); ++i) {
        if (map[i] && !skipOpenType()) return false;
    }
    // The skipped additions have no component: a later encoding of this
    // value must not announce octets that it does not carry.
    if (map.size() > known) map.resize(known);
    return true;
}

}  // namespace ASN1
