#include "board/sim_words.h"

#include <errno.h>

#include <climits>
#include <cstdlib>

namespace SimWords {

bool number(const std::string& word, long& out) {
    if (word.empty() || word.find_first_of(" \t\n") != std::string::npos) return false;
    const char* s = word.c_str();
    bool negative = s[0] == '-';
    const char* digits = negative ? s + 1 : s;
    int base = digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X') ? 16 : 10;
    if (base == 16) digits += 2;
    // strtol would accept its own sign and blanks after ours.
    if (*digits == '\0' || *digits == '-' || *digits == '+') return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long magnitude = std::strtoull(digits, &end, base);
    if (errno != 0 || *end != '\0') return false;
    if (!negative && magnitude > static_cast<unsigned long long>(LONG_MAX)) return false;
    if (negative && magnitude > static_cast<unsigned long long>(LONG_MAX) + 1ULL) return false;
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

namespace {

int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

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
