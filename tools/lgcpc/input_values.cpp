#include "tools/lgcpc/input_values.h"

#include <cctype>
#include <sstream>

#include "asn1/avn_decoder.h"

namespace Lgcpc {

namespace {

bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

// Words longer than this are cut in the error text.
const size_t kFoundLength = 40;

// Moves a line and a column over the first `count` characters of `text`.
void walk(const std::string& text, size_t count, unsigned& line, unsigned& column) {
    for (size_t i = 0; i < count && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
}

}  // namespace

void InputValues::feed(const char* data, size_t length) {
    text.append(data, length);
}

size_t InputValues::limit() const {
    if (ended) return text.size();
    size_t newline = text.rfind('\n');
    return newline == std::string::npos ? 0 : newline + 1;
}

bool InputValues::next(Item& item) {
    while (done < text.size() && isSpace(text[done])) ++done;
    compact();
    size_t end = limit();
    if (end == 0) return false;
    std::istringstream is(text.substr(0, end));
    ASN1::AVNDecoder decoder(is);
    std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(type));
    bool read = value->accept(decoder);
    long long stop = read ? decoder.offset() : decoder.failure().offset;
    size_t at = stop < 0 ? 0 : static_cast<size_t>(stop);
    // A value that runs into the end of what may be read goes on in text
    // still to come; so may one whose reader looked ahead to that end before
    // it failed (a sign followed by blanks takes its digits from the next
    // line).
    if (!read && !ended && (at >= end || is.eof())) return false;
    item.where = position(0);
    if (read) {
        item.value = std::move(value);
        item.error.clear();
        done = at;
    } else {
        item.value.reset();
        item.error = position(at) + ": " + decoder.failure().reason + ", found " + found(at, end);
        done = skipBad(0, at, end);
    }
    return true;
}

std::string InputValues::position(size_t at) const {
    unsigned l = line, c = column;
    walk(text, at, l, c);
    return "line " + std::to_string(l) + ", column " + std::to_string(c);
}

std::string InputValues::found(size_t at, size_t end) const {
    if (at >= end) return "the end of the input";
    size_t stop = at + 1;
    if (isWordChar(text[at]))
        while (stop < end && stop - at < kFoundLength && isWordChar(text[stop])) ++stop;
    return "\"" + text.substr(at, stop - at) + "\"";
}

size_t InputValues::skipBad(size_t start, size_t at, size_t end) const {
    // Only the text up to the end of the line where reading failed decides,
    // so the outcome does not depend on how much of the input has come.
    size_t lineEnd = text.find('\n', at);
    if (lineEnd == std::string::npos || lineEnd > end) lineEnd = end;
    // Text that does not even begin a value: the rest of that line.
    if (text[start] != '{') return lineEnd;
    // A value whose braces close by then is dropped whole; one whose braces
    // do not, up to where it failed, where the next value likely begins.
    int depth = 0;
    char quote = 0;
    for (size_t i = start; i < lineEnd; ++i) {
        char c = text[i];
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '{') {
            ++depth;
        } else if (c == '}' && --depth == 0) {
            return i + 1;
        }
    }
    return at > start ? at : lineEnd;
}

void InputValues::compact() {
    walk(text, done, line, column);
    text.erase(0, done);
    done = 0;
}

}  // namespace Lgcpc
