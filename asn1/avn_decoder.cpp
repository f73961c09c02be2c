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

// `"a"`, `"a" or "b"`, `"a", "b" or "c"`.
std::string alternatives(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
        text += '"' + names[i] + '"';
    }
    return text;
}

std::string alternatives(const char* const* names, unsigned count) {
    return alternatives(std::vector<std::string>(names, names + count));
}

// The names a SEQUENCE may continue with from component `first` on, and
// after its opening brace the closing one.
std::string componentsFrom(const SEQUENCE& value, unsigned first) {
    std::vector<std::string> names;
    const SequenceInfo* info = value.info();
    for (unsigned i = first; i < info->numFields + info->knownExtensions; ++i)
        names.push_back(value.getFieldName(i));
    if (first == 0) names.push_back("}");
    return "expected " + alternatives(names);
}

const char kNotUnderstood[] = "an open type of unknown type has no value notation";

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

AVNDecoder::AVNDecoder(std::istream& is) : strm(is), origin(0) {
    origin = offset();
}

long long AVNDecoder::offset() {
    // The buffer's position: the stream's own state (eof after a peek at
    // the end) does not matter to it.
    std::streambuf* buffer = strm.rdbuf();
    if (buffer == nullptr || origin < 0) return -1;
    std::streamoff here = buffer->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    return here < 0 ? -1 : here - origin;
}

long long AVNDecoder::mark() {
    nextNonSpace();
    return offset();
}

bool AVNDecoder::fail(long long at, const std::string& reason) {
    if (failed.reason.empty()) {
        failed.offset = at;
        failed.reason = reason;
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

bool AVNDecoder::need(char c) {
    long long at = mark();
    return expect(c) || fail(at, "expected \"" + std::string(1, c) + "\"");
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
    long long at = mark();
    if (!expect('"')) return fail(at, "expected a quoted string");
    out.clear();
    char c;
    while (strm.get(c)) {
        if (c == '"') return true;
        out += c;
    }
    return fail(offset(), "expected the closing double quote");
}

bool AVNDecoder::readQuotedDigits(std::vector<char>& bytes, unsigned& bits) {
    long long at = mark();
    if (!expect('\''))
        return fail(at, "expected a quoted bit or hexadecimal string ('...'B or '...'H)");
    std::string digits;
    // Where the first digit of neither base stands and the first that is
    // no bit: the base is known only after the closing quote.
    long long notHex = -1, notBit = -1;
    char c = 0;
    for (long long here = offset(); strm.get(c) && c != '\''; here = offset()) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        digits += c;
        int v = digitValue(c);
        if (v > 15 && notHex < 0) notHex = here;
        if (v > 1 && notBit < 0) notBit = here;
    }
    if (c != '\'' || strm.eof()) return fail(offset(), "expected the closing apostrophe");
    long long suffix = offset();
    if (!strm.get(c) || (c != 'B' && c != 'H')) return fail(suffix, "expected \"B\" or \"H\"");
    long long bad = c == 'B' ? notBit : notHex;
    if (bad >= 0)
        return fail(bad, c == 'B' ? "expected a binary digit" : "expected a hexadecimal digit");
    unsigned perDigit = c == 'B' ? 1 : 4;
    bytes.assign((digits.size() * perDigit + 7) / 8, 0);
    bits = static_cast<unsigned>(digits.size() * perDigit);
    for (size_t i = 0; i < digits.size(); ++i) {
        int v = digitValue(digits[i]);
        size_t bit = i * perDigit;
        // A digit never straddles a byte: 1 and 4 both divide 8.
        bytes[bit / 8] |= static_cast<char>(v << (8 - perDigit - bit % 8));
    }
    return true;
}

bool AVNDecoder::readCharacterList(std::wstring& out) {
    if (!need('{')) return false;
    out.clear();
    if (expect('}')) return true;
    for (;;) {
        long long quad[4];
        long long at = mark();
        if (!need('{')) return false;
        for (int i = 0; i < 4; ++i) {
            if (i > 0 && !need(',')) return false;
            long long number = mark();
            if (!readNumber(false, quad[i])) return fail(number, "expected a number");
        }
        if (!need('}')) return false;
        if (quad[0] != 0 || quad[1] != 0 || quad[2] > 255 || quad[3] > 255)
            return fail(at, "expected a character { 0, 0, row, cell } with row and cell up to 255");
        out += static_cast<wchar_t>(quad[2] << 8 | quad[3]);
        if (expect('}')) return true;
        long long at2 = mark();
        if (!expect(',')) return fail(at2, "expected \",\" or \"}\"");
    }
}

bool AVNDecoder::readNested(AbstractData& value) {
    if (depth >= MaximumDepth) return fail(mark(), "values nested more than 100 deep");
    ++depth;
    bool ok = value.accept(*this);
    --depth;
    return ok;
}

bool AVNDecoder::do_visit(Null&) {
    long long at = mark();
    std::string word;
    return (readWhile(isLetter, word) && word == "NULL") || fail(at, "expected \"NULL\"");
}

bool AVNDecoder::do_visit(BOOLEAN& value) {
    long long at = mark();
    std::string word;
    if (!readWhile(isLetter, word) || (word != "TRUE" && word != "FALSE"))
        return fail(at, "expected \"TRUE\" or \"FALSE\"");
    value = word == "TRUE";
    return true;
}

bool AVNDecoder::do_visit(INTEGER& value) {
    long long at = mark();
    bool isUnsigned = value.isUnsigned();
    long long v;
    if (!readNumber(!isUnsigned, v) || (isUnsigned ? v > UINT_MAX : (v < INT_MIN || v > INT_MAX)))
        return fail(at, isUnsigned ? "expected a number from 0 to 4294967295"
                                   : "expected a number from -2147483648 to 2147483647");
    value.setValue(static_cast<int>(static_cast<uint32_t>(v)));
    return true;
}

bool AVNDecoder::do_visit(IntegerWithNamedNumber& value) {
    int c = nextNonSpace();
    if (c == '-' || std::isdigit(c)) return do_visit(static_cast<INTEGER&>(value));
    long long at = mark();
    std::string name;
    if (readIdentifier(name) && value.setFromName(name)) return true;
    std::vector<std::string> names;
    const NamedNumberInfo* info = value.info();
    for (unsigned i = 0; i < info->entryCount; ++i) names.push_back(info->nameEntries[i].name);
    return fail(at, "expected a number or " + alternatives(names));
}

bool AVNDecoder::do_visit(ENUMERATED& value) {
    long long at = mark();
    std::string word;
    int number;
    if (readWhile(isEnumChar, word) && parseInt(word, number)) {
        value.setValue(number);
        return true;
    }
    return value.setFromName(word) ||
           fail(at, "expected " + alternatives(value.info()->names, value.info()->nameCount));
}

bool AVNDecoder::do_visit(OBJECT_IDENTIFIER& value) {
    if (!need('{')) return false;
    value.clear();
    while (nextNonSpace() != '}') {
        long long at = mark();
        long long arc;
        if (!readNumber(false, arc) || arc > UINT_MAX)
            return fail(at, "expected a number from 0 to 4294967295 or \"}\"");
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
    long long at = mark();
    std::string text;
    if (!readQuoted(text)) return false;
    size_t length = text.find('\0') == std::string::npos ? std::mbstowcs(nullptr, text.c_str(), 0)
                                                         : static_cast<size_t>(-1);
    if (length == static_cast<size_t>(-1))
        return fail(at, "expected text in the locale's character set");
    boost::scoped_array<wchar_t> wide(new wchar_t[length + 1]);
    std::mbstowcs(wide.get(), text.c_str(), length + 1);
    value.assign(wide.get(), length);
    return true;
}

bool AVNDecoder::do_visit(CHOICE& value) {
    long long at = mark();
    std::string name;
    int index;
    const ChoiceInfo* info = value.info();
    if (!readIdentifier(name) || !get_id(info->selectionNames, info->totalChoices, name, index))
        return fail(at, "expected " + alternatives(info->selectionNames, info->totalChoices));
    if (!need(':')) return false;
    if (!value.select(index)) return fail(at, "expected an alternative this value can take");
    return readNested(*value.getSelection());
}

bool AVNDecoder::do_visit(SEQUENCE_OF_Base& value) {
    if (!need('{')) return false;
    value.clear();
    if (expect('}')) return true;
    do {
        std::unique_ptr<AbstractData> element(value.createElement());
        if (!readNested(*element)) return false;
        value.push_back(element.release());
    } while (expect(','));
    long long at = mark();
    return expect('}') || fail(at, "expected \",\" or \"}\"");
}

// Nothing says how an undecoded open value is written as text.
bool AVNDecoder::do_visit(OpenData&) {
    return fail(mark(), kNotUnderstood);
}
bool AVNDecoder::do_revisit(OpenData&) {
    return fail(mark(), kNotUnderstood);
}

bool AVNDecoder::do_visit(TypeConstrainedOpenData& value) {
    if (!value.has_data()) return fail(mark(), kNotUnderstood);
    return readNested(*value.get_data());
}

bool AVNDecoder::do_visit(GeneralizedTime& value) {
    std::string text;
    if (!readQuoted(text)) return false;
    value.set(text.c_str());
    return true;
}

Visitor::VISIT_SEQ_RESULT AVNDecoder::preVisitExtensionRoots(SEQUENCE& value) {
    if (!need('{')) return FAIL;
    identifiers.emplace_back();
    Ahead& ahead = identifiers.back();
    ahead.at = mark();
    if (expect('}')) {
        ahead.name = "}";
        return CONTINUE;
    }
    if (readIdentifier(ahead.name)) return CONTINUE;
    fail(ahead.at, componentsFrom(value, 0));
    return FAIL;
}

Visitor::VISIT_SEQ_RESULT AVNDecoder::readComponent(SEQUENCE& value, int index, int optionalId) {
    // The stack grows while the component is read: keep the position.
    size_t slot = identifiers.size() - 1;
    const char* name = value.getFieldName(static_cast<unsigned>(index));
    if (identifiers[slot].name != name) {
        // Not given: an optional component is absent, a mandatory one missing.
        identifiers[slot].passed.push_back(name);
        if (optionalId == -1) {
            fail(identifiers[slot].at, "expected " + alternatives(identifiers[slot].passed));
            return FAIL;
        }
        value.removeOptionalField(static_cast<unsigned>(optionalId));
        return CONTINUE;
    }
    identifiers[slot].passed.clear();
    if (optionalId != -1 &&
        !value.includeOptionalField(static_cast<unsigned>(optionalId), static_cast<unsigned>(index))) {
        fail(identifiers[slot].at, std::string("component \"") + name + "\" cannot be included");
        return FAIL;
    }
    AbstractData* field = value.getField(static_cast<unsigned>(index));
    if (field == nullptr || !readNested(*field)) return FAIL;
    Ahead& ahead = identifiers[slot];
    ahead.at = mark();
    if (expect(',')) {
        ahead.at = mark();
        if (readIdentifier(ahead.name)) return CONTINUE;
        fail(ahead.at, componentsFrom(value, static_cast<unsigned>(index) + 1));
        return FAIL;
    }
    if (!expect('}')) {
        fail(ahead.at, "expected \",\" or \"}\"");
        return FAIL;
    }
    ahead.name = "}";
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
    Ahead& ahead = identifiers.back();
    if (ahead.name != "}") {
        ahead.passed.push_back("}");
        return fail(ahead.at, "expected " + alternatives(ahead.passed));
    }
    identifiers.pop_back();
    return true;
}

}  // namespace ASN1
