// The frames the LAPD link and the signal units the SS7 link send are the
// committed ones, and our reading of them agrees with tshark's.

#include <gtest/gtest.h>

#include "links/lapd_frame.h"
#include "tests/links/golden_frames.h"

namespace {

namespace Q = ISDN::Q921;

TEST(LapdGolden, TheLinkSendsTheCommittedFrames) {
    std::vector<GoldenFrame> now = lapdLinkFrames();
    std::vector<GoldenFrame> committed = loadGoldenFrames("link_frames.txt");
    ASSERT_EQ(now.size(), committed.size());
    for (size_t k = 0; k < now.size(); ++k) {
        const GoldenFrame& f = now[k];
        EXPECT_EQ(f.name, committed[k].name);
        EXPECT_EQ(f.toUser, committed[k].toUser) << f.name;
        HdlcPair::Frame expected = committed[k].octets;
        if (hasRandomRi(f) && expected.size() == f.octets.size()) {
            expected[4] = f.octets[4];
            expected[5] = f.octets[5];
        }
        EXPECT_EQ(hexOf(f.octets), hexOf(expected)) << f.name;
    }
}

void expectSameHeader(const GoldenFrame& g) {
    SCOPED_TRACE(g.name);
    Q::Frame f;
    ASSERT_EQ(Q::parse(g.octets.data(), unsigned(g.octets.size()), f), Q::Parse::Ok);
    EXPECT_EQ(f.sapi, g.number("sapi"));
    EXPECT_EQ(f.tei, g.number("tei"));
    EXPECT_EQ(f.cr, g.number("cr") == 1);
    EXPECT_EQ(int(f.pf), g.has("p")   ? g.number("p")
                         : g.has("f") ? g.number("f")
                                      : 0);  // tshark omits a clear bit
    // A frame to the user is a command when C/R is 1 (the receiver's rule).
    bool command = Q::isCommand(!g.toUser, f.cr);
    if (f.kind == Q::Frame::U) {
        EXPECT_EQ((f.code & 0xEC) >> 2, g.number(command ? "ucmd" : "uresp"));
    } else {
        EXPECT_EQ(f.nr, g.number("nr"));
        bool i = f.kind == Q::Frame::I;
        EXPECT_EQ(i ? f.ns : f.code, g.number(i ? "ns" : "s"));
    }
    if (g.has("teimsg")) {
        EXPECT_EQ(g.octets[4] << 8 | g.octets[5],
                  g.number("ri"));  // tshark reads it high octet first
        EXPECT_EQ(g.octets[6], g.number("teimsg"));
        EXPECT_EQ(g.octets[7] >> 1, g.number("ai"));
    }
}

TEST(LapdGolden, OurHeaderReadingAgreesWithTshark) {
    for (const char* file : {"link_frames.txt", "q931_frames.txt"})
        for (const GoldenFrame& g : loadGoldenFrames(file)) expectSameHeader(g);
}

// tests/data/mtp2/frames.txt: "NAME HEX BSN BIB FSN FIB LI STATUS" a line.
TEST(Ss7Golden, UnitsMatchTheCommittedOctetsAndTsharksDecode) {
    std::map<std::string, std::string> committed =
        loadNamedLines(std::string(KORVAND_MTP2_DATA) + "/frames.txt");
    std::vector<GoldenUnit> units = ss7GoldenUnits();
    EXPECT_EQ(units.size(), committed.size());
    for (const GoldenUnit& u : units)
        EXPECT_EQ(committed[u.name], hexOf(u.octets, true) + " " + u.fields) << u.name;
}

}  // namespace
