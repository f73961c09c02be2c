#ifndef KORVAND_TESTS_LINKS_LAPD_GOLDEN_H
#define KORVAND_TESTS_LINKS_LAPD_GOLDEN_H

#include <string>
#include <vector>

#include "tests/links/hdlc_pair.h"

// A frame the LAPD link sends in a named situation. The committed file
// tests/data/lapd/link_frames.txt holds the same frames, and decodes.txt
// what tshark reads from them.
struct LinkFrame {
    std::string name;
    bool toUser;  // sent by the network side
    HdlcPair::Frame octets;
};

// Every kind of frame the link sends, on the user and the network side of
// a primary-rate link and on the user side of a BRI one, sent by a link run
// through each situation against a scripted peer.
std::vector<LinkFrame> lapdLinkFrames();

// TEI management frames carry a random reference number (octets 4 and 5).
bool hasRandomRi(const LinkFrame& f);

#endif
