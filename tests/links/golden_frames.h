#ifndef KORVAND_TESTS_LINKS_GOLDEN_FRAMES_H
#define KORVAND_TESTS_LINKS_GOLDEN_FRAMES_H

#include <map>
#include <string>
#include <vector>

#include "tests/links/hdlc_pair.h"

// A LAPD frame of tests/data/lapd with what tshark decoded from it
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

// Each line of the file at `path` but comments, by its first word.
std::map<std::string, std::string> loadNamedLines(const std::string& path);

// "0A 0B": the octets in hex; "0a0b" when compact.
HdlcPair::Frame parseHex(const std::string& text);
std::string hexOf(const HdlcPair::Frame& octets, bool compact = false);

// Every kind of frame the LAPD link sends (without decodes), on the user
// and the network side of a primary-rate link and on the user side of a
// BRI one, sent by a link run through each situation against a scripted
// peer. tests/data/lapd/link_frames.txt holds the same frames.
std::vector<GoldenFrame> lapdLinkFrames();

// TEI management frames carry a random reference number (octets 4 and 5).
bool hasRandomRi(const GoldenFrame& f);

// A signal unit the SS7 link sends in a named situation, with the header
// fields it is meant to carry ("bsn bib fsn fib li status", "-" where a
// field does not apply). tests/data/mtp2/frames.txt holds the same units
// as tshark's MTP2 dissector decodes them.
struct GoldenUnit {
    std::string name;
    HdlcPair::Frame octets;
    std::string fields;
};

std::vector<GoldenUnit> ss7GoldenUnits();

#endif
