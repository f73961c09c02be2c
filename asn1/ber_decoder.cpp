#include "asn1/ber_decoder.h"

#include <climits>
#include <memory>

#include "asn1/asn1.h"
#include "asn1/ber_encoder.h"

namespace ASN1 {

BERDecoder::BERDecoder(const char* first, const char* last, CoderEnv* env)
    : env(env),
      position(reinterpret_cast<Position>(first)),
      end(reinterpret_cast<Position>(last < first ? first : last)) {}

unsigned BERDecoder::takeTag(const AbstractData& value) {
    int tag = nextTag;
    nextTag = -1;
    return tag == -1 ? value.getTag() : static_cast<unsigned>(tag);
}

bool BERDecoder::readHeader(Header& header) {
    if (position == end) return false;
    unsigned first = *position++;
    unsigned number = first & 0x1F;
    if (number == 0x1F) {
        // Base 128; tag words hold 16 bits of number, at most 3 groups.
        number = 0;
        unsigned octet;
        int groups = 0;
        do {
            if (position == end || ++groups > 3) return false;
            octet = *position++;
            number = number << 7 | (octet & 0x7F);
        } while (octet & 0x80);
        if (number > 0xFFFF) return false;
    }
    header.tag = (first & 0xC0) << 16 | number;
    header.constructed = (first & 0x20) != 0;
    if (position == end) return false;
    size_t length = *position++;
    if (length & 0x80) {
        // The indefinite form (0x80) is never written; refuse it.
        size_t count = length & 0x7F;
        if (count == 0 || count > 4 || count > static_cast<size_t>(end - position)) return false;
        length = 0;
        while (count-- > 0) length = length << 8 | *position++;
    }
    if (length > static_cast<size_t>(end - position)) return false;
    header.length = length;
    return true;
}

bool BERDecoder::nextTagIs(unsigned tag) {
    Position start = position;
    Header header;
    bool match = readHeader(header) && header.tag == tag;
    position = start;
    return match;
}

bool BERDecoder::openValue(unsigned tag, bool constructed, Position& contents, size_t& length) {
    Position start = position;
    Header header;
    if (!readHeader(header) || header.tag != tag || header.constructed != constructed) {
        position = start;
        return false;
    }
    contents = position;
    length = header.length;
    return true;
}

bool BERDecoder::primitive(const AbstractData& value, Position& contents, size_t& length) {
    if (!openValue(takeTag(value), false, contents, length)) return false;
    position += length;
    return true;
}

template <class Inner>
bool BERDecoder::constructed(unsigned tag, Inner inner) {
    Position contents;
    size_t length;
    if (!openValue(tag, true, contents, length)) return false;
    Position outer = end;
    end = contents + length;
    bool ok = inner() && position == end;
    end = outer;
    position = contents + length;
    return ok;
}

template <class Inner>
bool BERDecoder::explicitly(unsigned tag, Inner inner) {
    return tag == 0 ? inner() : constructed(tag, inner);
}

bool BERDecoder::do_visit(Null& value) {
    Position contents;
    size_t length;
    return primitive(value, contents, length) && length == 0;
}

bool BERDecoder::do_visit(BOOLEAN& value) {
    Position contents;
    size_t length;
    if (!primitive(value, contents, length) || length != 1) return false;
    value = contents[0] != 0;
    return true;
}

namespace {

// A two's complement number of 1 to 5 octets.
bool readInteger(const unsigned char* contents, size_t length, int64_t& value) {
    if (length == 0 || length > 5) return false;
    value = static_cast<signed char>(contents[0]);
    for (size_t i = 1; i < length; ++i) value = value * 256 + contents[i];
    return true;
}

}  // namespace

bool BERDecoder::do_visit(INTEGER& value) {
    Position contents;
    size_t length;
    int64_t v;
    // Types without negative values hold numbers up to 2^32 - 1.
    if (!primitive(value, contents, length) || !readInteger(contents, length, v) ||
        v < INT32_MIN || v > int64_t(UINT32_MAX)) {
        return false;
    }
    value.setValue(static_cast<int>(static_cast<uint32_t>(v)));
    return true;
}

bool BERDecoder::do_visit(ENUMERATED& value) {
    Position contents;
    size_t length;
    int64_t v;
    if (!primitive(value, contents, length) || !readInteger(contents, length, v) ||
        v < INT32_MIN || v > INT32_MAX) {
        return false;
    }
    value.setValue(static_cast<int>(v));
    return true;
}

bool BERDecoder::do_visit(OBJECT_IDENTIFIER& value) {
    Position contents;
    size_t length;
    return primitive(value, contents, length) &&
           value.decodeCommon(reinterpret_cast<const char*>(contents), length);
}

template <class Octets>
bool BERDecoder::octets(Octets& value) {
    Position contents;
    size_t length;
    if (!primitive(value, contents, length)) return false;
    value.assign(contents, contents + length);
    return true;
}

bool BERDecoder::do_visit(OCTET_STRING& value) { return octets(value); }

bool BERDecoder::do_visit(BIT_STRING& value) {
    Position contents;
    size_t length;
    if (!primitive(value, contents, length) || length == 0 || contents[0] > 7 ||
        (length == 1 && contents[0] != 0) || length - 1 > UINT_MAX / 8) {
        return false;
    }
    value.assign(reinterpret_cast<const char*>(contents + 1),
                 static_cast<unsigned>((length - 1) * 8 - contents[0]));
    return true;
}

bool BERDecoder::do_visit(AbstractString& value) { return octets(value); }

bool BERDecoder::do_visit(BMPString& value) {
    Position contents;
    size_t length;
    if (!primitive(value, contents, length) || length % 2 != 0) return false;
    value.clear();
    for (size_t i = 0; i < length; i += 2) {
        value.push_back(static_cast<wchar_t>(contents[i] << 8 | contents[i + 1]));
    }
    return true;
}

bool BERDecoder::do_visit(GeneralizedTime& value) {
    Position contents;
    size_t length;
    if (!primitive(value, contents, length)) return false;
    value.set(std::string(contents, contents + length).c_str());
    return true;
}

bool BERDecoder::do_visit(CHOICE& value) {
    const ChoiceInfo* info = value.info();
    return explicitly(takeTag(value), [&] {
        // The alternative is the one whose tag the next identifier carries.
        for (unsigned i = 0; i < info->totalChoices; ++i) {
            unsigned tag = BER::alternativeTag(*info, i);
            if (tag == 0 || !nextTagIs(tag)) continue;
            if (!value.select(static_cast<int>(i)) || value.getSelection() == nullptr) return false;
            nextTag = static_cast<int>(tag);
            return value.getSelection()->accept(*this);
        }
        return false;
    });
}

bool BERDecoder::do_visit(SEQUENCE_OF_Base& value) {
    return constructed(takeTag(value), [&] {
        value.clear();
        while (position != end) {
            value.push_back(value.createElement());
            if (!value.at(value.size() - 1).accept(*this)) return false;
        }
        return true;
    });
}

bool BERDecoder::do_visit(OpenData& value) {
    return explicitly(takeTag(value), [&] {
        // The next whole value, identifier and length included.
        Position start = position;
        Header header;
        if (!readHeader(header)) return false;
        position += header.length;
        value.get_buf().assign(start, position);
        return true;
    });
}

bool BERDecoder::do_revisit(OpenData& value) {
    if (!value.has_data() || !value.has_buf()) return false;
    const std::vector<char>& octets = value.get_buf();
    BERDecoder decoder(octets.data(), octets.data() + octets.size(), env);
    return value.get_data()->accept(decoder);
}

bool BERDecoder::do_visit(TypeConstrainedOpenData& value) {
    return value.has_data() &&
           explicitly(takeTag(value), [&] { return value.get_data()->accept(*this); });
}

Visitor::VISIT_SEQ_RESULT BERDecoder::preVisitExtensionRoots(SEQUENCE& value) {
    Position contents;
    size_t length;
    if (!openValue(takeTag(value), true, contents, length)) return FAIL;
    outerEnds.push_back(end);
    end = contents + length;
    return CONTINUE;
}

Visitor::VISIT_SEQ_RESULT BERDecoder::component(SEQUENCE& value, int index, int optionalId) {
    const SequenceInfo* info = value.info();
    unsigned i = static_cast<unsigned>(index);
    int tag = BER::fieldTag(*info, i);
    unsigned expected = tag == -1 ? info->fieldInfos[i]->tag : static_cast<unsigned>(tag);
    // A component whose tag is not next is absent; an untagged one (a
    // CHOICE) is tried, and is absent when it does not read.
    bool absent = position == end || (expected != 0 && !nextTagIs(expected));
    if (!absent && optionalId != -1 &&
        !value.includeOptionalField(static_cast<unsigned>(optionalId), i)) {
        return FAIL;
    }
    AbstractData* field = absent ? nullptr : value.getField(i);
    if (field == nullptr && !absent) {
        field = AbstractData::create(info->fieldInfos[i]);
        if (field == nullptr) return FAIL;
        value.setField(i, field);
    }
    State before = {position, end, outerEnds.size()};
    if (field != nullptr) {
        nextTag = tag;
        if (field->accept(*this)) return CONTINUE;
        if (expected != 0 || optionalId == -1) return FAIL;
        position = before.position;
        end = before.end;
        outerEnds.resize(before.depth);
    }
    if (optionalId == -1) return FAIL;
    value.removeOptionalField(static_cast<unsigned>(optionalId));
    return CONTINUE;
}

Visitor::VISIT_SEQ_RESULT BERDecoder::visitExtensionRoot(SEQUENCE& value, int index,
                                                         int optionalId) {
    return component(value, index, optionalId);
}

Visitor::VISIT_SEQ_RESULT BERDecoder::visitKnownExtension(SEQUENCE& value, int index,
                                                          int optionalId) {
    return component(value, index, optionalId);
}

bool BERDecoder::visitUnknownExtensions(SEQUENCE& value) {
    // Components after the known ones are extensions of a newer peer: an
    // extensible type skips them, any other fails.
    if (position != end && !value.info()->extendable) return false;
    position = end;
    end = outerEnds.back();
    outerEnds.pop_back();
    return true;
}

}  // namespace ASN1
