#ifndef KORVAND_BOARD_SIM_WORDS_H
#define KORVAND_BOARD_SIM_WORDS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reading and writing the words of the simulated board's text commands.
// Every parser takes the whole word or nothing, so a command with a stray
// character is refused instead of half understood.
namespace SimWords {

// A signed number in decimal, or in hexadecimal after "0x".
bool number(const std::string& word, long& out);
// As number(), limited to [low, high].
bool number(const std::string& word, long low, long high, long& out);
// An unsigned 32-bit number in decimal or "0x" hexadecimal.
bool word32(const std::string& word, uint32_t& out);
// Bytes written as pairs of hexadecimal digits ("" is no byte).
bool bytes(const std::string& word, std::vector<uint8_t>& out);

std::string hex(const uint8_t* data, size_t len);
inline std::string hex(const std::vector<uint8_t>& data) {
    return hex(data.data(), data.size());
}

// Replies: "ok", or "error: " and what went wrong.
std::string ok();
std::string error(const std::string& what);
std::string onOff(bool on);

}  // namespace SimWords

#endif
