#ifndef KORVAND_TESTS_LINKS_GOLDEN_FRAMES_H
#define KORVAND_TESTS_LINKS_GOLDEN_FRAMES_H

#include <map>
#include <string>
#include <vector>

#include "tests/links/hdlc_pair.h"

// A frame of tests/data/lapd with what tshark decoded from it
// (tests/data/lapd/generate.sh remakes both).
struct GoldenFrame {
    std::string name;
    bool toUser = false;  // sent by the network side
    HdlcPair::Frame octets;
    std::map<std::string, std::string> fields;  // tshark's, by the short names of tshark_decode.py

    bool has(const std::string& field) const { return fields.count(field) > 0; }
    const std::string& field(const std::string& name) const;
    int number(const std::string& name) const;                // decimal or 0x hexadecimal
    std::vector<int> numbers(const std::string& name) const;  // comma separated
};

// The frames of one frame file (e.g. "q931_frames.txt") joined with their
// lines of decodes.txt; a frame without a decode fails the calling test.
std::vector<GoldenFrame> loadGoldenFrames(const std::string& frameFile);

// "0A 0B": the octets in hex.
HdlcPair::Frame parseHex(const std::string& text);
std::string hexOf(const HdlcPair::Frame& octets);

#endif
