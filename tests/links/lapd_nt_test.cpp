// The network side of a BRI D channel against frames written by hand: TEI
// management, the check cycle, routing, the acknowledgement window, polls
// and the log levels.

#include "links/lapd_nt.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "tests/links/bri_bus.h"
#include "tests/support/capture.h"
#include "tests/support/test_clock.h"

namespace {

using ISDN::LAPD_NT;
using ISDN::LAPD_NT_user;
typedef std::vector<uint8_t> Bytes;

Bytes bytes(const Packet& p) { return Bytes(p.data(), p.data() + p.length()); }

// The layer's family: what goes down is kept, as is what comes up.
class Bus : public ProtocolsFamily {
public:
    Bus() { add_protocol_tail(nt); }
    bool transmit(Packet& p) override {
        sent.push_back(bytes(p));
        return true;
    }
    void on_message(Packet& p) override { up.push_back(bytes(p)); }

    LAPD_NT* nt = new LAPD_NT;
    std::vector<Bytes> sent;
    std::vector<Bytes> up;
};

// Frames from terminals. A terminal's command has C/R 0, its response 1.
Bytes management(uint8_t type, uint16_t ri, uint8_t ai) {
    return {0xFC, 0xFF, 0x03, 0x0F, uint8_t(ri), uint8_t(ri >> 8), type, uint8_t(ai << 1 | 1)};
}
Bytes i_frame(uint8_t tei, uint8_t ns, uint8_t nr, const Bytes& info, bool p = false) {
    Bytes f{0x00, uint8_t(tei << 1 | 1), uint8_t(ns << 1), uint8_t(nr << 1 | p)};
    f.insert(f.end(), info.begin(), info.end());
    return f;
}
Bytes s_frame(uint8_t tei, uint8_t code, uint8_t nr, bool pf, bool response = true) {
    return {uint8_t(response ? 0x02 : 0x00), uint8_t(tei << 1 | 1), code, uint8_t(nr << 1 | pf)};
}
Bytes u_frame(uint8_t tei, uint8_t control, bool response) {
    return {uint8_t(response ? 0x02 : 0x00), uint8_t(tei << 1 | 1), control};
}
// What the network sends.
Bytes assigned_to(uint16_t ri, uint8_t tei) { return {0xFE, 0xFF, 0x03, 0x0F, uint8_t(ri), uint8_t(ri >> 8), 2, uint8_t(tei << 1 | 1)}; }
Bytes denied(uint16_t ri, uint8_t ai) { return {0xFE, 0xFF, 0x03, 0x0F, uint8_t(ri), uint8_t(ri >> 8), 3, uint8_t(ai << 1 | 1)}; }
Bytes removed(uint8_t ai) { return {0xFE, 0xFF, 0x03, 0x0F, 0, 0, 6, uint8_t(ai << 1 | 1)}; }
Bytes check_request() { return {0xFE, 0xFF, 0x03, 0x0F, 0, 0, 4, 0xFF}; }
Bytes sabme(uint8_t tei) { return {0x02, uint8_t(tei << 1 | 1), 0x7F}; }
Bytes poll(uint8_t tei, uint8_t vr) { return {0x02, uint8_t(tei << 1 | 1), 0x01, uint8_t(vr << 1 | 1)}; }

class LapdNtTest : public ::testing::Test {
protected:
    void feed(const Bytes& f) {
        Packet p;
        p.reserve_head(0);
        p.put(f.data(), unsigned(f.size()));
        nt.receive(p);
    }
    bool send(const Bytes& m) {
        Packet p;
        bus.prepare_head(p);
        p.put(m.data(), unsigned(m.size()));
        return nt.message(p);
    }
    // Terminal `n` (0-based) asks for a TEI with Ri 100 + n.
    void request(unsigned n) { feed(management(1, uint16_t(100 + n), 127)); }
    std::vector<Bytes> take() {
        std::vector<Bytes> s;
        s.swap(bus.sent);
        return s;
    }
    const LAPD_NT_user* user(uint8_t tei) { return nt.find_Tei(tei); }

    TestClock clock;
    StreamCapture log{std::clog};
    Bus bus;
    LAPD_NT& nt = *bus.nt;
};

TEST_F(LapdNtTest, IdentityRequestsGetTheLowestFreeTei) {
    for (unsigned n = 0; n < 3; ++n) request(n);
    EXPECT_EQ((std::vector<Bytes>{assigned_to(100, 64), sabme(64), assigned_to(101, 65), sabme(65),
                                  assigned_to(102, 66), sabme(66)}),
              take());
    feed(u_frame(65, 0x53, false));  // DISC with P
    take();
    request(3);
    EXPECT_EQ(assigned_to(103, 65), take()[0]);
    for (unsigned n = 4; n < 10; ++n) request(n);  // the last is the ninth terminal
    EXPECT_EQ(denied(109, 127), take().back());
    feed(management(1, 7, 70));
    feed(management(1, 8, 10));
    EXPECT_EQ(std::vector<Bytes>{denied(7, 70)}, take());
}

TEST_F(LapdNtTest, FramesFromAnUnknownTei) {
    feed(i_frame(5, 0, 0, q931(3, 0x01)));  // takes a free context, which sends SABME first
    ASSERT_TRUE(user(5));
    std::vector<Bytes> sent = take();
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(sabme(5), sent[0]);
    EXPECT_EQ(std::vector<Bytes>{q931(3, 0x01)}, bus.up);
    for (unsigned n = 0; n < 7; ++n) request(n);
    take();
    feed(s_frame(9, 0x01, 0, false));
    EXPECT_EQ((std::vector<Bytes>{removed(9), removed(9)}), take());
}

TEST_F(LapdNtTest, CheckCycleKeepsAnsweringTerminalsAndRemovesTheRest) {
    request(0);
    request(1);
    nt.local_activate();
    EXPECT_EQ(check_request(), take().back());
    feed(management(5, 0x1234, 64));
    advanceAndPump(clock, 2000, 100);
    EXPECT_TRUE(user(64));
    EXPECT_FALSE(user(65));
    feed(management(5, 0x1234, 64));  // the same terminal again: ignored
    feed(management(5, 0x4321, 64));  // a second terminal with TEI 64
    EXPECT_FALSE(user(64));
    EXPECT_EQ((std::vector<Bytes>{removed(64), removed(64)}), take());
    advanceAndPump(clock, 58000, 1000);
    EXPECT_EQ(std::vector<Bytes>{check_request()}, take());
    nt.local_deactivate();
}

TEST_F(LapdNtTest, SetupIsBroadcastAndAnswersFollowTheCallReference) {
    request(0);
    request(1);
    take();
    ASSERT_TRUE(send(q931(0x05, 0x05)));
    EXPECT_EQ((std::vector<Bytes>{{0x02, 0xFF, 0x03, 0x08, 0x01, 0x05, 0x05}}), take());
    feed(i_frame(65, 0, 0, q931(0x05, 0x01)));  // ALERTING from the second terminal
    EXPECT_EQ(q931(0x05, 0x01), bus.up.back());
    take();
    ASSERT_TRUE(send(q931(0x85, 0x07)));  // CONNECT ACKNOWLEDGE, flag set
    EXPECT_EQ((std::vector<Bytes>{{0x02, 0x83, 0x00, 0x03, 0x08, 0x01, 0x85, 0x07}}), take());
    EXPECT_FALSE(send(q931(0x22, 0x01)));
    EXPECT_TRUE(take().empty());
}

// Seven I frames are outstanding at most; acknowledgements let the rest
// go, N(R) outside V(A)..V(S) costs the context, and a REJ resends from
// its N(R) with the current V(R).
TEST_F(LapdNtTest, WindowOfSevenAndAcknowledgements) {
    request(0);
    feed(i_frame(64, 0, 0, q931(1, 0x05)));
    take();
    for (uint8_t i = 0; i < 10; ++i) send(q931(0x81, uint8_t(0x60 + i)));  // not SETUP
    std::vector<Bytes> sent = take();
    ASSERT_EQ(7u, sent.size());
    EXPECT_EQ((Bytes{0x02, 0x81, 6 << 1, 1 << 1 | 1, 0x08, 0x01, 0x81, 0x66}), sent[6]);
    feed(s_frame(64, 0x01, 3, true));  // RR F=1 N(R)=3: three more go
    sent = take();
    ASSERT_EQ(3u, sent.size());
    EXPECT_EQ(9 << 1, sent[2][2]);
    feed(i_frame(64, 1, 3, q931(1, 0x07)));  // V(R) becomes 2
    take();
    feed(s_frame(64, 0x09, 3, true));  // REJ for the first outstanding frame
    sent = take();
    ASSERT_EQ(7u, sent.size());
    for (uint8_t i = 0; i < 7; ++i) {
        EXPECT_EQ((3 + i) << 1, sent[i][2]);
        EXPECT_EQ(2 << 1 | 1, sent[i][3]);
    }
    feed(s_frame(64, 0x01, 11, false));  // beyond V(S) = 10
    EXPECT_FALSE(user(64));
}

// An unanswered poll is repeated; the fourth expiry after it removes the
// terminal.
TEST_F(LapdNtTest, PollsWhenSilentAndGivesUpAfterFourExpiries) {
    nt.set_log(2);
    request(0);
    take();
    advanceAndPump(clock, 10000, 100);
    EXPECT_EQ(std::vector<Bytes>{poll(64, 0)}, take());
    advanceAndPump(clock, 1000, 100);
    EXPECT_EQ(std::vector<Bytes>{poll(64, 0)}, take());
    feed(s_frame(64, 0x01, 0, true));
    EXPECT_EQ(LAPD_NT_user::assigned, user(64)->link_state);
    advanceAndPump(clock, 10000 + 4000, 100);
    EXPECT_EQ(4u, take().size());
    EXPECT_FALSE(user(64));
    EXPECT_NE(std::string::npos, log.text().find("LAPD_user(NT BRI)[Tei=64,wait_answer]T200 expiried N200 times\n"));
}

TEST_F(LapdNtTest, LogLevels) {
    struct Case {
        uint32_t level;
        bool layer, context, frames;
    } cases[] = {{0, false, false, false}, {1, true, false, false}, {2, true, true, false}, {3, true, true, true}};
    for (const Case& c : cases) {
        log.clear();
        nt.set_log(c.level);
        request(0);
        std::string t = log.text();
        EXPECT_EQ(c.layer, t.find("LAPD(NT BRI):recieved identity request,TEI assigned:64\n") != std::string::npos);
        EXPECT_EQ(c.context, t.find("LAPD_user(NT BRI)[unassigned]:assigned\n") != std::string::npos);
        EXPECT_EQ(c.frames, t.find("LAPD(NT BRI):tx: ") != std::string::npos);
        EXPECT_EQ(c.frames, t.find("LAPD(NT BRI):rx:") != std::string::npos);
        nt.local_deactivate();
    }
}

}  // namespace
