#include "asn1/ber_encoder.h"

#include "asn1/asn1.h"

namespace ASN1 {

namespace BER {

int fieldTag(const SequenceInfo& info, unsigned index) {
    if (info.tags == nullptr) return static_cast<int>(ContextSpecific | index);
    if (info.tags == SEQUENCE::defaultTag) return -1;
    return static_cast<int>(info.tags[index]);
}

unsigned alternativeTag(const ChoiceInfo& info, unsigned index) {
    return info.tags == nullptr ? ContextSpecific | index : info.tags[index];
}

}  // namespace BER

namespace {

// Two's complement in the fewest octets, at least one, most significant first.
std::vector<char> integerContents(int64_t value) {
    int count = 1;
    while (count < 8 && (value < -(int64_t(1) << (8 * count - 1)) ||
                         value >= (int64_t(1) << (8 * count - 1)))) {
        ++count;
    }
    std::vector<char> contents(count);
    for (int i = count - 1; i >= 0; --i, value >>= 8) contents[i] = static_cast<char>(value & 0xFF);
    return contents;
}

}  // namespace

unsigned BEREncoder::takeTag(const AbstractData& value) {
    int tag = nextTag;
    nextTag = -1;
    return tag == -1 ? value.getTag() : static_cast<unsigned>(tag);
}

void BEREncoder::putIdentifier(unsigned tag, bool constructed) {
    unsigned number = tag & 0xFFFF;
    char first = static_cast<char>(((tag >> 16) & 0xC0) | (constructed ? 0x20 : 0));
    if (number < 31) {
        output->push_back(static_cast<char>(first | number));
        return;
    }
    output->push_back(static_cast<char>(first | 0x1F));
    // Base 128, most significant group first; 16 bits take at most 3 groups.
    for (int shift = 14; shift > 0; shift -= 7) {
        if (number >> shift) output->push_back(static_cast<char>(0x80 | ((number >> shift) & 0x7F)));
    }
    output->push_back(static_cast<char>(number & 0x7F));
}

namespace {

// The length octets: short form below 128, else 0x80 + n and n octets.
std::vector<char> lengthOctets(size_t length) {
    if (length < 128) return {static_cast<char>(length)};
    std::vector<char> octets;
    for (; length != 0; length >>= 8) octets.insert(octets.begin(), static_cast<char>(length & 0xFF));
    octets.insert(octets.begin(), static_cast<char>(0x80 | octets.size()));
    return octets;
}

}  // namespace

bool BEREncoder::putPrimitive(const AbstractData& value, const char* contents, size_t count) {
    putIdentifier(takeTag(value), false);
    std::vector<char> length = lengthOctets(count);
    output->insert(output->end(), length.begin(), length.end());
    output->insert(output->end(), contents, contents + count);
    return true;
}

size_t BEREncoder::beginConstructed(unsigned tag) {
    putIdentifier(tag, true);
    return output->size();
}

void BEREncoder::endConstructed(size_t contentsStart) {
    std::vector<char> length = lengthOctets(output->size() - contentsStart);
    output->insert(output->begin() + static_cast<std::ptrdiff_t>(contentsStart), length.begin(),
                   length.end());
}

template <class Inner>
bool BEREncoder::explicitly(unsigned tag, Inner inner) {
    if (tag == 0) return inner();
    size_t start = beginConstructed(tag);
    if (!inner()) return false;
    endConstructed(start);
    return true;
}

bool BEREncoder::do_visit(const Null& value) { return putPrimitive(value, nullptr, 0); }

bool BEREncoder::do_visit(const BOOLEAN& value) {
    char octet = value.getValue() ? static_cast<char>(0xFF) : 0;
    return putPrimitive(value, &octet, 1);
}

bool BEREncoder::do_visit(const INTEGER& value) {
    // A type without negative values holds numbers up to 2^32 - 1.
    int64_t v = value.isUnsigned() ? int64_t(static_cast<uint32_t>(value.getValue()))
                                   : int64_t(value.getValue());
    return putPrimitive(value, integerContents(v));
}

bool BEREncoder::do_visit(const IntegerWithNamedNumber& value) {
    return do_visit(static_cast<const INTEGER&>(value));
}

bool BEREncoder::do_visit(const ENUMERATED& value) {
    return putPrimitive(value, integerContents(value.getValue()));
}

bool BEREncoder::do_visit(const OBJECT_IDENTIFIER& value) {
    std::vector<char> contents;
    value.encodeCommon(contents);
    return putPrimitive(value, contents);
}

bool BEREncoder::do_visit(const BIT_STRING& value) {
    const std::vector<char>& bits = value.getData();
    std::vector<char> contents(1, static_cast<char>((8 - value.size() % 8) % 8));
    contents.insert(contents.end(), bits.begin(), bits.end());
    return putPrimitive(value, contents);
}

bool BEREncoder::do_visit(const OCTET_STRING& value) {
    return putPrimitive(value, value.data(), value.size());
}

bool BEREncoder::do_visit(const AbstractString& value) {
    return putPrimitive(value, value.data(), value.size());
}

bool BEREncoder::do_visit(const BMPString& value) {
    std::vector<char> contents;
    for (wchar_t c : value) {
        if (static_cast<uint32_t>(c) > 0xFFFF) return false;
        contents.push_back(static_cast<char>(c >> 8));
        contents.push_back(static_cast<char>(c & 0xFF));
    }
    return putPrimitive(value, contents);
}

bool BEREncoder::do_visit(const GeneralizedTime& value) {
    std::string text = value.get();
    return putPrimitive(value, text.data(), text.size());
}

bool BEREncoder::do_visit(const CHOICE& value) {
    int index = value.currentSelection();
    const AbstractData* selection = value.getSelection();
    if (index < 0 || selection == nullptr) return false;
    unsigned tag = takeTag(value);
    return explicitly(tag, [&] {
        nextTag = static_cast<int>(BER::alternativeTag(*value.info(), static_cast<unsigned>(index)));
        return selection->accept(*this);
    });
}

bool BEREncoder::do_visit(const OpenData& value) {
    unsigned tag = takeTag(value);
    return explicitly(tag, [&] {
        if (value.has_data()) return value.get_data()->accept(*this);
        // Octets held undecoded are a whole encoding already.
        const std::vector<char>* held = value.buffer();
        if (held == nullptr || held->empty()) return false;
        output->insert(output->end(), held->begin(), held->end());
        return true;
    });
}

bool BEREncoder::do_visit(const SEQUENCE_OF_Base& value) {
    size_t start = beginConstructed(takeTag(value));
    for (const AbstractData& element : value) {
        if (!element.accept(*this)) return false;
    }
    endConstructed(start);
    return true;
}

bool BEREncoder::preVisitExtensionRoots(const SEQUENCE& value) {
    openSequences.push_back(beginConstructed(takeTag(value)));
    return true;
}

bool BEREncoder::visitExtensionRoot(const SEQUENCE& value, int index) {
    const AbstractData* field = value.getField(static_cast<unsigned>(index));
    if (field == nullptr) return false;
    nextTag = BER::fieldTag(*value.info(), static_cast<unsigned>(index));
    return field->accept(*this);
}

bool BEREncoder::visitKnownExtension(const SEQUENCE& value, int index) {
    return visitExtensionRoot(value, index);
}

bool BEREncoder::afterVisitSequence(const SEQUENCE&) {
    endConstructed(openSequences.back());
    openSequences.pop_back();
    return true;
}

}  // namespace ASN1
