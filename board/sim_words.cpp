#include "board/sim_words.h"

#include <climits>

namespace SimWords {

namespace {

int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

// Digit by digit: the library's converters would also take blanks, a sign
// or a second "0x" after ours.
bool number(const std::string& word, long& out) {
    size_t i = word.size() > 1 && word[0] == '-' ? 1 : 0;
    const bool negative = i == 1;
    unsigned base = 10;
    if (word.size() > i + 2 && word[i] == '0' && (word[i + 1] == 'x' || word[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= word.size()) return false;
    const unsigned long long limit =
        static_cast<unsigned long long>(LONG_MAX) + (negative ? 1ULL : 0ULL);
    unsigned long long magnitude = 0;
    for (; i < word.size(); ++i) {
        int d = nibble(word[i]);
        if (d < 0 || d >= static_cast<int>(base)) return false;
        if (magnitude > (limit - static_cast<unsigned>(d)) / base) return false;
        magnitude = magnitude * base + static_cast<unsigned>(d);
    }
    out = negative ? static_cast<long>(0ULL - magnitude) : static_cast<long>(magnitude);
    return true;
}

bool number(const std::string& word, long low, long high, long& out) {
    long v;
    if (!number(word, v) || v < low || v > high) return false;
    out = v;
    return true;
}

bool word32(const std::string& word, uint32_t& out) {
    long v;
    if (!number(word, 0, 0xFFFFFFFFL, v)) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

bool bytes(const std::string& word, std::vector<uint8_t>& out) {
    if (word.size() % 2 != 0) return false;
    std::vector<uint8_t> result;
    result.reserve(word.size() / 2);
    for (size_t i = 0; i < word.size(); i += 2) {
        int high = nibble(word[i]), low = nibble(word[i + 1]);
        if (high < 0 || low < 0) return false;
        result.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    out.swap(result);
    return true;
}

std::string hex(const uint8_t* data, size_t len) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(len * 2);
    for (size_t i = 0; i < len; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0x0F];
    }
    return out;
}

std::string ok() {
    return "ok";
}

std::string error(const std::string& what) {
    return "error: " + what;
}

std::string onOff(bool on) {
    return on ? "on" : "off";
}

}  // namespace SimWords
