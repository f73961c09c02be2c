#ifndef KORVAND_TESTS_RTP_RTP_GOLDEN_H
#define KORVAND_TESTS_RTP_RTP_GOLDEN_H

#include <string>
#include <vector>

#include "rtp/r2s_proto.h"

// The packets of the RTP sessions as they go on the wire, each with the
// fields it is meant to carry in the layout of a tshark decode: one field
// a column, tab-separated, "-" where the dissector shows nothing, several
// occurrences joined by "|". The files in tests/data/rtp hold the same
// packets as tshark decodes them (their generate.sh remakes them).
struct GoldenPacket {
    std::string name;
    std::vector<unsigned char> packet;  // the UDP payload
    std::string fields;
};

// RTCP: the slot's source description and goodbye, and the room rules.
std::vector<GoldenPacket> rtcpGoldenPackets();
// RTP packets carrying one LEMZ packet of every type in a header extension
// of profile 0x1337; the fields are the generic extension's.
std::vector<GoldenPacket> lemzGoldenPackets();
// RTP packets carrying an R2S payload of either direction in a header
// extension of profile 0x0167; rx payloads are named "rx_...", tx "tx_...".
std::vector<GoldenPacket> r2sGoldenPackets();

// The columns of an R2S record in an extension of `words` 32-bit words, as
// tshark's ED-137A dissector shows them.
std::string r2sFields(const r2s_proto& p, unsigned words);

// Where the header extension starts in the RTP packets above.
const size_t kGoldenExtensionOffset = 16;

#endif
