// The network side of a BRI D channel against frames written by hand: TEI
// management, the check cycle, the acknowledgement window, polls and the
// log levels.

#include "links/lapd_nt.h"

#include "tests/links/bri_bus.h"
#include "tests/links/lapd_fixture.h"

namespace {

using ISDN::LAPD_NT_user;
namespace Q = ISDN::Q921;

// Frames from a terminal, and from the network.
Frame fromTerminal(uint8_t type, uint16_t ri, uint8_t ai) {
    return peer::tei(ri, type, ai, false);
}
Frame response(uint8_t type, uint8_t tei, unsigned nr, bool f) {
    return peer::s(type, nr, f, false, tei, false);
}
Frame removed(uint8_t ai) {
    return peer::tei(0, Q::IdentityRemove, ai);
}
Frame sabme(uint8_t tei) {
    return peer::u(Q::kSABME, true, true, tei);
}

class LapdNtTest : public ::testing::Test {
  protected:
    void feed(const Frame& f) {
        Packet p = makePacket(f);
        nt.receive(p);
    }
    bool send(const Frame& m) { return sendDown(bus, m); }
    Frame iFrame(unsigned ns, unsigned nr, const Frame& info) {
        return peer::i(ns, nr, false, info, 64, false);
    }
    // Terminal `n` (0-based) asks for a TEI with Ri 100 + n.
    void request(unsigned n) { feed(fromTerminal(Q::IdentityRequest, uint16_t(100 + n), 127)); }
    std::vector<Frame> take() {
        std::vector<Frame> s;
        s.swap(channel.sent);
        return s;
    }
    const LAPD_NT_user* user(uint8_t tei) { return nt.find_Tei(tei); }

    TestClock clock;
    StreamCapture log{std::clog};
    RecordingChannel channel;
    BriBus::Network bus{channel.end};
    ISDN::LAPD_NT& nt = *bus.nt;
};

TEST_F(LapdNtTest, IdentityRequestsGetTheLowestFreeTei) {
    for (unsigned n = 0; n < 3; ++n) request(n);
    auto assigned = [](uint16_t ri, uint8_t tei) {
        return peer::tei(ri, Q::IdentityAssigned, tei);
    };
    EXPECT_EQ((std::vector<Frame>{assigned(100, 64), sabme(64), assigned(101, 65), sabme(65),
                                  assigned(102, 66), sabme(66)}),
              take());
    feed(peer::u(Q::kDISC, true, true, 65, false));
    take();
    request(3);
    EXPECT_EQ(assigned(103, 65), take()[0]);
    for (unsigned n = 4; n < 10; ++n) request(n);  // the last is the ninth terminal
    EXPECT_EQ(peer::tei(109, Q::IdentityDenied, 127), take().back());
    feed(fromTerminal(Q::IdentityRequest, 7, 70));  // a TEI of its own choice: denied
    feed(fromTerminal(Q::IdentityRequest, 8, 10));  // not an automatic TEI: ignored
    EXPECT_EQ(std::vector<Frame>{peer::tei(7, Q::IdentityDenied, 70)}, take());
}

// A frame from an unknown TEI takes a free context, which sends SABME
// first; with none free, the TEI is removed twice.
TEST_F(LapdNtTest, FramesFromAnUnknownTei) {
    feed(peer::i(0, 0, false, q931(3, 0x01), 5, false));
    ASSERT_TRUE(user(5));
    EXPECT_EQ(std::vector<Frame>{sabme(5)}, take());
    EXPECT_EQ(std::vector<Frame>{q931(3, 0x01)}, bus.received);
    for (unsigned n = 0; n < 7; ++n) request(n);
    take();
    feed(response(Q::kRR, 9, 0, false));
    EXPECT_EQ((std::vector<Frame>{removed(9), removed(9)}), take());
}

TEST_F(LapdNtTest, CheckCycleKeepsAnsweringTerminalsAndRemovesTheRest) {
    request(0);
    request(1);
    nt.local_activate();
    const Frame checkRequest = peer::tei(0, Q::IdentityCheckRequest, 127);
    EXPECT_EQ(checkRequest, take().back());
    feed(fromTerminal(Q::IdentityCheckResponse, 0x1234, 64));
    advanceAndPump(clock, 2000, 100);
    EXPECT_TRUE(user(64));
    EXPECT_FALSE(user(65));
    feed(fromTerminal(Q::IdentityCheckResponse, 0x1234, 64));  // the same terminal again: ignored
    feed(fromTerminal(Q::IdentityCheckResponse, 0x4321, 64));  // a second terminal with TEI 64
    EXPECT_FALSE(user(64));
    EXPECT_EQ((std::vector<Frame>{removed(64), removed(64)}), take());
    advanceAndPump(clock, 58000, 1000);
    EXPECT_EQ(std::vector<Frame>{checkRequest}, take());
    nt.local_deactivate();
}

// Seven I frames are outstanding at most; acknowledgements let the rest
// go, N(R) outside V(A)..V(S) costs the context, and a REJ resends from
// its N(R) with the current V(R). Messages go by the call reference.
TEST_F(LapdNtTest, WindowOfSevenAndAcknowledgements) {
    request(0);
    feed(iFrame(0, 0, q931(1, 0x05)));
    take();
    EXPECT_FALSE(send(q931(0x22, 0x01)));                                  // no terminal's call
    for (uint8_t i = 0; i < 10; ++i) send(q931(0x81, uint8_t(0x60 + i)));  // not SETUP
    std::vector<Frame> sent = take();
    ASSERT_EQ(7u, sent.size());
    EXPECT_EQ((Frame{0x02, 0x81, 6 << 1, 1 << 1 | 1, 0x08, 0x01, 0x81, 0x66}), sent[6]);
    feed(response(Q::kRR, 64, 3, true));  // three more go
    sent = take();
    ASSERT_EQ(3u, sent.size());
    EXPECT_EQ(9 << 1, sent[2][2]);
    feed(iFrame(1, 3, q931(1, 0x07)));  // V(R) becomes 2
    take();
    feed(response(Q::kREJ, 64, 3, true));  // for the first outstanding frame
    sent = take();
    ASSERT_EQ(7u, sent.size());
    for (uint8_t i = 0; i < 7; ++i)
        EXPECT_EQ((Frame{uint8_t((3 + i) << 1), 2 << 1 | 1}), Frame(&sent[i][2], &sent[i][4]));
    feed(response(Q::kRR, 64, 11, false));  // beyond V(S) = 10
    EXPECT_FALSE(user(64));
}

// An unanswered poll is repeated; the fourth expiry after it removes the
// terminal.
TEST_F(LapdNtTest, PollsWhenSilentAndGivesUpAfterFourExpiries) {
    nt.set_log(2);
    request(0);
    take();
    advanceAndPump(clock, 10000, 100);
    EXPECT_EQ(std::vector<Frame>{peer::s(Q::kRR, 0, true, true, 64)}, take());
    advanceAndPump(clock, 1000, 100);
    EXPECT_EQ(std::vector<Frame>{peer::s(Q::kRR, 0, true, true, 64)}, take());
    feed(response(Q::kRR, 64, 0, true));
    EXPECT_EQ(LAPD_NT_user::assigned, user(64)->link_state);
    advanceAndPump(clock, 10000 + 4000, 100);
    EXPECT_EQ(4u, take().size());
    EXPECT_FALSE(user(64));
    EXPECT_NE(std::string::npos,
              log.text().find("LAPD_user(NT BRI)[Tei=64,wait_answer]T200 expiried N200 times\n"));
}

TEST_F(LapdNtTest, LogLevels) {
    for (uint32_t level = 0; level <= 3; ++level) {
        log.clear();
        nt.set_log(level);
        request(0);
        std::string t = log.text();
        EXPECT_EQ(level >= 1, t.find("LAPD(NT BRI):recieved identity request,TEI assigned:64\n") !=
                                  std::string::npos);
        EXPECT_EQ(level >= 2,
                  t.find("LAPD_user(NT BRI)[unassigned]:assigned\n") != std::string::npos);
        EXPECT_EQ(level >= 3, t.find("LAPD(NT BRI):tx: ") != std::string::npos);
        EXPECT_EQ(level >= 3, t.find("LAPD(NT BRI):rx:") != std::string::npos);
        nt.local_deactivate();
    }
}

}  // namespace
