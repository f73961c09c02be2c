// The frames the LAPD link sends are the committed ones, and our reading
// of every golden frame's header agrees with tshark's.

#include "tests/links/lapd_golden.h"

#include <gtest/gtest.h>

#include <iostream>

#include "links/lapd_frame.h"
#include "tests/links/golden_frames.h"
#include "tests/support/capture.h"

namespace {

namespace Q = ISDN::Q921;

TEST(LapdGolden, TheLinkSendsTheCommittedFrames) {
    StreamCapture log(std::clog);
    std::vector<LinkFrame> now = lapdLinkFrames();
    std::vector<GoldenFrame> committed = loadGoldenFrames("link_frames.txt");
    ASSERT_EQ(now.size(), committed.size());
    for (size_t k = 0; k < now.size(); ++k) {
        LinkFrame f = now[k];
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

// P or F as tshark shows it: absent when the bit is clear.
int pollFinal(const GoldenFrame& g) {
    if (g.has("p")) return g.number("p");
    return g.has("f") ? g.number("f") : 0;
}

void expectSameHeader(const GoldenFrame& g) {
    SCOPED_TRACE(g.name);
    Q::Frame f;
    ASSERT_EQ(Q::parse(g.octets.data(), unsigned(g.octets.size()), f), Q::Parse::Ok);
    EXPECT_EQ(f.sapi, g.number("sapi"));
    EXPECT_EQ(f.tei, g.number("tei"));
    EXPECT_EQ(f.cr, g.number("cr") == 1);
    EXPECT_EQ(int(f.pf), pollFinal(g));
    // A frame to the user is a command when C/R is 1 (the receiver's rule).
    bool command = Q::isCommand(!g.toUser, f.cr);
    switch (f.kind) {
        case Q::Frame::I:
            EXPECT_EQ(f.ns, g.number("ns"));
            EXPECT_EQ(f.nr, g.number("nr"));
            break;
        case Q::Frame::S:
            EXPECT_EQ(f.nr, g.number("nr"));
            EXPECT_EQ(f.code, g.number("s"));
            break;
        case Q::Frame::U:
            EXPECT_EQ((f.code & 0xEC) >> 2, g.number(command ? "ucmd" : "uresp"));
            break;
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

}  // namespace
