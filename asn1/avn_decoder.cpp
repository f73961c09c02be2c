#include "asn1/avn_decoder.h"

#include <boost/scoped_array.hpp>
#include <cctype>
#include <cstdlib>
#include <memory>

#include "asn1/asn1.h"

namespace ASN1 {

namespace {

bool isLetter(int c) { return std::isalpha(c) != 0; }
bool isIdentifierChar(int c) { return std::isalnum(c) || c == '-' || c == '_'; }
// Enumeration texts may carry "=" and a value ("gw-get-id=4097").
bool isEnumChar(int c) { return isIdentifierChar(c) || c == '='; }

// A decimal number with an optional minus sign, within the int range.
bool parseInt(const std::string& text, int& value) {
    size_t start = text.size() > 1 && text[0] == '-' ? 1 : 0;
    if (start == text.size() || text.find_first_not_of("0123456789", start) != std::string::npos) {
        return false;
    }
    if (text.size() - start > 11) return false;
    long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

}  // namespace

bool get_id(const char* const* names, unsigned size, const std::string& name, int& id) {
    for (unsigned i = 0; i < size; ++i) {
        if (name == names[i]) {
            id = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

int AVNDecoder::nextNonSpace() {
    int c;
    while ((c = strm.peek()) != std::char_traits<char>::eof() && std::isspace(c)) strm.get();
    return c;
}

bool AVNDecoder::atEnd() { return nextNonSpace() == std::char_traits<char>::eof(); }

bool AVNDecoder::expect(char c) {
    if (nextNonSpace() != static_cast<unsigned char>(c)) return false;
    strm.get();
    return true;
}

bool AVNDecoder::readWhile(bool (*accepts)(int), std::string& out) {
    out.clear();
    int c = nextNonSpace();
    while (c != std::char_traits<char>::eof() && accepts(c)) {
        out += static_cast<char>(strm.get());
        c = strm.peek();
    }
    return !out.empty();
}

bool AVNDecoder::readIdentifier(std::string& out) {
    return readWhile(isIdentifierChar, out) && isLetter(static_cast<unsigned char>(out[0]));
}

bool AVNDecoder::readNumber(bool allowNegative, long long& out) {
    bool negative = allowNegative && nextNonSpace() == '-';
    if (negative) strm.get();
    std::string digits;
    if (!readWhile([](int c) { return std::isdigit(c) != 0; }, digits)) return false;
    // Ten digits hold every 32-bit number; more only with leading zeros.
    size_t first = digits.find_first_not_of('0');
    if (first != std::string::npos && digits.size() - first > 10) return false;
    out = std::strtoll(digits.c_str(), nullptr, 10);
    if (negative) out = -out;
    return true;
}

bool AVNDecoder::readQuoted(std::string& out) {
    if (!expect('"')) return false;
    out.clear();
    char c;
    while (strm.get(c)) {
        if (c == '"') return true;
        out += c;
    }
    return false;
}

bool AVNDecoder::readQuotedDigits(std::vector<char>& bytes, unsigned& bits) {
    if (!expect('\'')) return false;
    std::string digits;
    char c = 0;
    while (strm.get(c) && c != '\'') {
        if (!std::isspace(static_cast<unsigned char>(c))) digits += c;
    }
    if (c != '\'' || !strm.get(c) || (c != 'B' && c != 'H')) return false;
    unsigned perDigit = c == 'B' ? 1 : 4;
    bytes.assign((digits.size() * perDigit + 7) / 8, 0);
    bits = static_cast<unsigned>(digits.size() * perDigit);
    for (size_t i = 0; i < digits.size(); ++i) {
        int v = digitValue(digits[i]);
        if (v >= (1 << perDigit)) return false;
        size_t bit = i * perDigit;
        // A digit never straddles a byte: 1 and 4 both divide 8.
        bytes[bit / 8] |= static_cast<char>(v << (8 - perDigit - bit % 8));
    }
    return true;
}

bool AVNDecoder::readCharacterList(std::wstring& out) {
    if (!expect('{')) return false;
    out.clear();
    if (expect('}')) return true;
    for (;;) {
        long long quad[4];
        if (!expect('{')) return false;
        for (int i = 0; i < 4; ++i) {
            if ((i > 0 && !expect(',')) || !readNumber(false, quad[i])) return false;
        }
        if (!expect('}') || quad[0] != 0 || quad[1] != 0 || quad[2] > 255 || quad[3] > 255) {
            return false;
        }
        out += static_cast<wchar_t>(quad[2] << 8 | quad[3]);
        if (expect('}')) return true;
        if (!expect(',')) return false;
    }
}

bool AVNDecoder::readNested(AbstractData& value) {
    if (depth >= MaximumDepth) return false;
    ++depth;
    bool ok = value.accept(*this);
    --depth;
    return ok;
}

bool AVNDecoder::do_visit(Null&) {
    std::string word;
    return readWhile(isLetter, word) && word == "NULL";
}

bool AVNDecoder::do_visit(BOOLEAN& value) {
    std::string word;
    if (!readWhile(isLetter, word) || (word != "TRUE" && word != "FALSE")) return false;
    value = word == "TRUE";
    return true;
}

bool AVNDecoder::do_visit(INTEGER& value) {
    bool isUnsigned = value.isUnsigned();
    long long v;
    if (!readNumber(!isUnsigned, v)) return false;
    if (isUnsigned ? v > UINT_MAX : (v < INT_MIN || v > INT_MAX)) return false;
    value.setValue(static_cast<int>(static_cast<uint32_t>(v)));
    return true;
}

bool AVNDecoder::do_visit(IntegerWithNamedNumber& value) {
    int c = nextNonSpace();
    if (c == '-' || std::isdigit(c)) return do_visit(static_cast<INTEGER&>(value));
    std::string name;
    return readIdentifier(name) && value.setFromName(name);
}

bool AVNDecoder::do_visit(ENUMERATED& value) {
    std::string word;
    if (!readWhile(isEnumChar, word)) return false;
    int number;
    if (parseInt(word, number)) {
        value.setValue(number);
        return true;
    }
    return value.setFromName(word);
}

bool AVNDecoder::do_visit(OBJECT_IDENTIFIER& value) {
    if (!expect('{')) return false;
    value.clear();
    while (nextNonSpace() != '}') {
        long long arc;
        if (!readNumber(false, arc) || arc > UINT_MAX) return false;
        value.append(static_cast<unsigned>(arc));
    }
    strm.get();
    return true;
}

bool AVNDecoder::do_visit(OCTET_STRING& value) {
    unsigned bits;
    return readQuotedDigits(value, bits);
}

bool AVNDecoder::do_visit(BIT_STRING& value) {
    std::vector<char> bytes;
    unsigned bits;
    if (!readQuotedDigits(bytes, bits)) return false;
    value.assign(bytes.data(), bits);
    return true;
}

bool AVNDecoder::do_visit(AbstractString& value) { return readQuoted(value); }

bool AVNDecoder::do_visit(BMPString& value) {
    if (nextNonSpace() != '"') return readCharacterList(value);
    std::string text;
    if (!readQuoted(text) || text.find('\0') != std::string::npos) return false;
    size_t length = std::mbstowcs(nullptr, text.c_str(), 0);
    if (length == static_cast<size_t>(-1)) return false;
    boost::scoped_array<wchar_t> wide(new wchar_t[length + 1]);
    std::mbstowcs(wide.get(), text.c_str(), length + 1);
    value.assign(wide.get(), length);
    return true;
}

bool AVNDecoder::do_visit(CHOICE& value) {
    std::string name;
    int index;
    if (!readIdentifier(name) || !expect(':')) return false;
    if (!get_id(value.info()->selectionNames, value.info()->totalChoices, name, index)) {
        return false;
    }
    return value.select(index) && readNested(*value.getSelection());
}

bool AVNDecoder::do_visit(SEQUENCE_OF_Base& value) {
    if (!expect('{')) return false;
    value.clear();
    if (expect('}')) return true;
    do {
        std::unique_ptr<AbstractData> element(value.createElement());
        if (!readNested(*element)) return false;
        value.push_back(element.release());
    } while (expect(','));
    return expect('}');
}

// Nothing says how an undecoded open value is written as text.
bool AVNDecoder::do_visit(OpenData&) { return false; }
bool AVNDecoder::do_revisit(OpenData&) { return false; }

bool AVNDecoder::do_visit(TypeConstrainedOpenData& value) {
    return value.has_data() && readNested(*value.get_data());
}

bool AVNDecoder::do_visit(GeneralizedTime& value) {
    std::string text;
    if (!readQuoted(text)) return false;
    value.set(text.c_str());
    return true;
}

Visitor::VISIT_SEQ_RESULT AVNDecoder::preVisitExtensionRoots(SEQUENCE&) {
    if (!expect('{')) return FAIL;
    identifiers.emplace_back();
    if (expect('}')) {
        identifiers.back() = "}";
        return CONTINUE;
    }
    return readIdentifier(identifiers.back()) ? CONTINUE : FAIL;
}

Visitor::VISIT_SEQ_RESULT AVNDecoder::readComponent(SEQUENCE& value, int index, int optionalId) {
    // The stack grows while the component is read: keep the position.
    size_t slot = identifiers.size() - 1;
    if (identifiers[slot] != value.getFieldName(static_cast<unsigned>(index))) {
        // Not given: an optional component is absent, a mandatory one missing.
        if (optionalId == -1) return FAIL;
        value.removeOptionalField(static_cast<unsigned>(optionalId));
        return CONTINUE;
    }
    if (optionalId != -1 &&
        !value.includeOptionalField(static_cast<unsigned>(optionalId), static_cast<unsigned>(index))) {
        return FAIL;
    }
    AbstractData* field = value.getField(static_cast<unsigned>(index));
    if (field == nullptr || !readNested(*field)) return FAIL;
    if (expect(',')) return readIdentifier(identifiers[slot]) ? CONTINUE : FAIL;
    if (!expect('}')) return FAIL;
    identifiers[slot] = "}";
    return CONTINUE;
}

Visitor::VISIT_SEQ_RESULT AVNDecoder::visitExtensionRoot(SEQUENCE& value, int index,
                                                         int optionalId) {
    return readComponent(value, index, optionalId);
}

Visitor::VISIT_SEQ_RESULT AVNDecoder::visitKnownExtension(SEQUENCE& value, int index,
                                                          int optionalId) {
    return readComponent(value, index, optionalId);
}

bool AVNDecoder::visitUnknownExtensions(SEQUENCE&) {
    // A name left over is unknown to the type or out of order.
    if (identifiers.back() != "}") return false;
    identifiers.pop_back();
    return true;
}

}  // namespace ASN1
