// The network side against one to nine user-side BRI links on a shared D
// channel, on the test clock: TEI assignment, the check cycle, call offers
// and routing, I frames under loss, and polls.

#include <gtest/gtest.h>

#include <iostream>

#include "tests/links/bri_bus.h"
#include "tests/support/capture.h"
#include "tests/support/test_clock.h"

namespace {

typedef BriBus::Bytes Bytes;
typedef BriBus::Terminal Terminal;

class LapdNtBusTest : public ::testing::Test {
  protected:
    LapdNtBusTest() {
        bus.open();
        nt.activate();
    }
    // Plugs `n` terminals and starts them one after the other.
    bool start(unsigned n) {
        for (unsigned i = 0; i < n; ++i) {
            Terminal& t = bus.plug();
            t.start();
            if (!runUntil(clock, [&] { return t.up; })) return false;
        }
        return true;
    }
    Terminal& terminal(unsigned i) { return *bus.terminals[i]; }
    bool send_down(const Bytes& m) { return sendDown(bus.network, m); }
    // Runs until every terminal has received `n` messages.
    bool each_received(size_t n) {
        return runUntil(clock, [&] {
            for (auto& t : bus.terminals)
                if (t->received.size() < n) return false;
            return true;
        });
    }

    StreamCapture quiet_log{std::clog};
    TestClock clock;
    BriBus bus{5};
    ISDN::LAPD_NT& nt = *bus.network.nt;
};

TEST_F(LapdNtBusTest, TeisInOrderAndTheNinthTerminalIsDenied) {
    ASSERT_TRUE(start(8));
    for (unsigned i = 0; i < 8; ++i) EXPECT_EQ(64 + i, terminal(i).tei());
    bus.pair.a.record = true;
    Terminal& ninth = bus.plug();
    ninth.start();
    ASSERT_TRUE(runUntil(clock, [&] { return !ninth.downs.empty(); }));
    EXPECT_EQ("link error (T202 expired N202 times)", ninth.downs[0]);
    EXPECT_FALSE(ninth.up);
    // Each of its five requests was denied with Ai 127.
    unsigned denials = 0;
    for (const HdlcPair::Frame& f : bus.pair.a.sent)
        denials += f.size() == 8 && f[6] == 3 && f[7] == 0xFF;
    EXPECT_EQ(5u, denials);
}

// A terminal whose answers to the identity check are lost loses its
// context two seconds into the next check.
TEST_F(LapdNtBusTest, CheckCycleRemovesATerminalThatDoesNotAnswer) {
    ASSERT_TRUE(start(3));
    bus.pair.b.line.tamper = [](HdlcPair::Frame& f) {
        return !(f.size() >= 8 && f[1] == 0xFF && f[6] == 5 && f[7] >> 1 == 65);
    };
    uint64_t from = clock.nowMs();
    ASSERT_TRUE(runUntil(clock, [&] { return !nt.find_Tei(65); }));
    EXPECT_LE(clock.nowMs() - from, 62000u);
    EXPECT_TRUE(nt.find_Tei(64) && nt.find_Tei(66));
}

TEST_F(LapdNtBusTest, SetupReachesEveryTerminalAndAnswersReachTheirOwn) {
    ASSERT_TRUE(start(3));
    ASSERT_TRUE(send_down(q931(0x01, 0x05)));
    ASSERT_TRUE(each_received(1));
    for (auto& t : bus.terminals) EXPECT_EQ(std::vector<Bytes>{q931(0x01, 0x05)}, t->received);
    // Each terminal answers on a call of its own.
    for (uint8_t i = 0; i < 3; ++i) terminal(i).send(q931(uint8_t(0x80 | (10 + i)), 0x01));
    ASSERT_TRUE(runUntil(clock, [&] { return bus.network.received.size() == 3; }));
    for (uint8_t i = 0; i < 3; ++i) ASSERT_TRUE(send_down(q931(uint8_t(10 + i), 0x07, {i})));
    ASSERT_TRUE(each_received(2));
    for (uint8_t i = 0; i < 3; ++i)
        EXPECT_EQ(q931(uint8_t(10 + i), 0x07, {i}), terminal(i).received.back());
}

// Numbered messages both ways between the network and one of three
// terminals, while the line loses frames: each arrives once, in order.
TEST_F(LapdNtBusTest, IFramesBothWaysInOrderExactlyOnceUnderLoss) {
    ASSERT_TRUE(start(3));
    Terminal& t = terminal(1);
    const uint8_t call = 0x21;
    t.send(q931(call, 0x01));
    ASSERT_TRUE(runUntil(clock, [&] { return bus.network.received.size() == 1; }));
    bus.network.received.clear();
    bus.pair.a.line.loss = bus.pair.b.line.loss = 0.03;
    const unsigned n = 400;
    unsigned down = 0, up = 0;
    auto numbered = [&](unsigned i, bool flag) {
        return q931(uint8_t(call | (flag ? 0x80 : 0)), 0x7B, {uint8_t(i), uint8_t(i >> 8)});
    };
    ASSERT_TRUE(runUntil(
        clock,
        [&] {
            // Layer 3 keeps a few messages in flight each way.
            while (down < n && down < t.received.size() + 5) send_down(numbered(down++, true));
            while (up < n && up < bus.network.received.size() + 5) t.send(numbered(up++, false));
            return t.received.size() >= n && bus.network.received.size() >= n;
        },
        20000000))
        << t.received.size() << " " << bus.network.received.size();
    ASSERT_EQ(n, t.received.size());
    ASSERT_EQ(n, bus.network.received.size());
    for (unsigned i = 0; i < n; ++i) {
        EXPECT_EQ(numbered(i, true), t.received[i]) << i;
        EXPECT_EQ(numbered(i, false), bus.network.received[i]) << i;
    }
    EXPECT_TRUE(nt.find_Tei(65) && t.up);
    EXPECT_GT(t.link->stats.rejected, 0u);  // the terminal asked for frames again
}

// The network's first poll of an idle terminal is lost: it polls again
// and keeps the terminal.
TEST_F(LapdNtBusTest, ALostPollDoesNotCostTheTei) {
    ASSERT_TRUE(start(1));
    unsigned polls = 0;  // the first is lost
    bus.pair.a.line.tamper = [&](HdlcPair::Frame& f) {
        bool poll = f.size() == 4 && f[0] == 0x02 && f[2] == 0x01 && (f[3] & 1);
        return !(poll && polls++ == 0);
    };
    uint64_t until = clock.nowMs() + 60000;
    runUntil(clock, [&] { return clock.nowMs() >= until; });
    EXPECT_GT(polls, 1u);
    EXPECT_TRUE(nt.find_Tei(64) && terminal(0).up);
}

}  // namespace
