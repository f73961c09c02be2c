// The packets of the RTP sessions against the bytes and the tshark decodes
// committed in tests/data/rtp by its generate.sh: the builders write the
// committed bytes, tshark read in them the fields meant, and the codecs read
// the committed bytes back to the same fields.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "rtp/sig_proto.h"
#include "tests/rtp/rtp_golden.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Committed {
    Bytes packet;
    std::string fields;
};

Bytes fromHex(const std::string& hex) {
    Bytes b;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) b.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return b;
}

std::map<std::string, Committed> committed(const std::string& file) {
    std::map<std::string, Committed> m;
    std::ifstream in(std::string(KORVAND_VECTOR_DIR) + "/" + file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        size_t name = line.find('\t'), hex = line.find('\t', name + 1);
        m[line.substr(0, name)] = {fromHex(line.substr(name + 1, hex - name - 1)), line.substr(hex + 1)};
    }
    return m;
}

// Every packet is committed with the same bytes and decodes to the fields
// it is meant to carry; returns the committed packets.
std::map<std::string, Committed> matchCommitted(const std::string& file, const std::vector<GoldenPacket>& packets) {
    std::map<std::string, Committed> oracle = committed(file);
    EXPECT_EQ(packets.size(), oracle.size()) << file;
    for (const GoldenPacket& p : packets) {
        auto it = oracle.find(p.name);
        if (it == oracle.end()) {
            ADD_FAILURE() << p.name << " is not in " << file;
            continue;
        }
        EXPECT_EQ(it->second.packet, p.packet) << p.name;
        EXPECT_EQ(it->second.fields, p.fields) << p.name;
    }
    return oracle;
}

// The header extension of a committed RTP packet.
Bytes extension(const Bytes& packet) {
    size_t words = size_t(packet[14]) << 8 | packet[15];
    return Bytes(packet.begin() + kGoldenExtensionOffset, packet.begin() + kGoldenExtensionOffset + 4 * words);
}

TEST(RtpGolden, RtcpPacketsMatchTsharksDecode) {
    matchCommitted("rtcp.txt", rtcpGoldenPackets());
}

// tshark has no LEMZ dissector: it shows the extension's words, which the
// codec reads back and writes again unchanged.
TEST(RtpGolden, LemzExtensionsMatchAndReadBack) {
    for (const auto& c : matchCommitted("lemz.txt", lemzGoldenPackets())) {
        Bytes ext = extension(c.second.packet);
        sig_proto p;
        sig_proto_init(&p);
        ASSERT_EQ(0, sig_proto_unpack(&p, ext.data(), int(ext.size()))) << c.first;
        // Packing asks for more room than it writes for a caller id.
        Bytes again(ext.size() + 8);
        again.resize(size_t(std::max(0, sig_proto_pack(&p, again.data(), int(again.size())))));
        EXPECT_EQ(ext, again) << c.first;
    }
}

// The unpacker reads in the committed bytes what tshark read in them.
TEST(RtpGolden, R2sExtensionsMatchTsharksDecodeBothWays) {
    for (const auto& c : matchCommitted("r2s.txt", r2sGoldenPackets())) {
        Bytes ext = extension(c.second.packet);
        r2s_proto p;
        bool rx = c.first.compare(0, 3, "rx_") == 0;
        int result = rx ? r2s_proto_unpack_rx(&p, ext.data(), int(ext.size()))
                        : r2s_proto_unpack_tx(&p, ext.data(), int(ext.size()));
        ASSERT_EQ(0, result) << c.first;
        EXPECT_EQ(c.second.fields, r2sFields(p, unsigned(ext.size() / 4))) << c.first;
    }
}

}  // namespace
