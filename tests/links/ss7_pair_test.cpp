// Two SS7 links back to back on the kit's pair, on the test clock:
// alignment, traffic under loss, refusal and length errors, the buffers'
// limits and the ways out of service.

#include <gtest/gtest.h>

#include <random>

#include "tests/links/ss7_unit_harness.h"

namespace {

using SS7::SLC;
typedef SLC::State S;

// MSUs numbered in their payload: SIO, then the number in four octets,
// then up to 40 octets more, so that every LI up to 47 is used.
Bytes numbered(uint32_t n) {
    Bytes m{0x83, uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
    m.resize(m.size() + n % 41, uint8_t(n));
    return m;
}

// Counts the numbered MSUs that arrive, and whether each came in order.
class Receiver : public LinkFamily {
  public:
    void on_message(Packet& p) override {
        if (bytesOf(p) == numbered(next))
            ++next;
        else
            ++wrong;
    }
    uint32_t next = 0;
    uint32_t wrong = 0;
};

// The controller of a link in service repeats the last unit it sent while
// it has nothing new, so that the far end hears of a lost last MSU; the
// kit's line does not, so the test does it every 50 ms.
class Repeater {
  public:
    explicit Repeater(HdlcPair::End& end) : end(end) {
        end.record = true;
        timer.set(kPeriodMs, &Repeater::tick, this);
    }

  private:
    static const unsigned kPeriodMs = 50;
    void tick() {
        if (!end.sent.empty()) {
            Packet p = makePacket(end.sent.back());
            end.sent.clear();
            end.hdlc_transmit(p);
        }
        timer.set(kPeriodMs, &Repeater::tick, this);
    }
    HdlcPair::End& end;
    Timer timer;
};

class Ss7PairTest : public ::testing::Test {
  protected:
    Ss7PairTest() {
        for (auto w : {std::make_pair(&a, &pair.a), std::make_pair(&b, &pair.b)}) {
            w.first->link->hdlc = w.second;
            w.second->bind(*w.first->link);
        }
        pair.open();
    }
    bool bring_up() {
        a.link->local_activate();
        b.link->local_activate();
        return runUntil(clock, [&] { return in_service(a) && in_service(b); });
    }
    static bool in_service(const LinkFamily& f) { return f.link->get_state_id() == S::worked; }

    StreamCapture quiet_log{std::clog};
    StreamCapture quiet_err{std::cerr};
    TestClock clock;
    HdlcPair pair{11};
    Receiver a;
    Receiver b;
};

class Ss7PairAlignment : public Ss7PairTest, public ::testing::WithParamInterface<bool> {};

TEST_P(Ss7PairAlignment, BothSidesProveForT4AndGoInService) {
    a.link->emergency = b.link->emergency = GetParam();
    uint64_t start = clock.nowMs();
    ASSERT_TRUE(bring_up());
    uint64_t t4 = GetParam() ? 500 : 8200;
    EXPECT_GE(clock.nowMs() - start, t4);
    EXPECT_LT(clock.nowMs() - start, t4 + 100);
    EXPECT_EQ(1, a.activations);
    EXPECT_EQ(1, b.activations);
}

INSTANTIATE_TEST_SUITE_P(NormalAndEmergency, Ss7PairAlignment, ::testing::Bool());

// 100,000 MSUs each way arrive in order exactly once, whatever the line
// loses and the channel refuses. The line also flips the spare bits of
// length indicators, an error the link sees and survives; other bit errors
// are the check sequence's to catch, and a channel drops such a frame,
// which the loss stands for.
TEST_F(Ss7PairTest, HundredThousandMsusEachWayInOrderExactlyOnce) {
    ASSERT_TRUE(bring_up());
    std::mt19937 random(3);
    for (HdlcPair::End* end : {&pair.a, &pair.b}) {
        end->line.loss = 0.01;
        end->line.capacity = 12;
        end->line.tamper = [&](HdlcPair::Frame& f) {
            if (f.size() >= 3 && random() % 100 == 0) f[2] ^= uint8_t(0x40 << random() % 2);
            return true;
        };
    }
    Repeater repeat_a(pair.a), repeat_b(pair.b);
    const uint32_t total = 100000;
    uint32_t sent_a = 0, sent_b = 0;
    auto top_up = [&](LinkFamily& f, uint32_t& sent) {
        while (sent < total && f.link->tb_count() < 50) sendDown(f, numbered(sent++));
    };
    ASSERT_TRUE(runUntil(clock,
                         [&] {
                             top_up(a, sent_a);
                             top_up(b, sent_b);
                             return (b.next == total && a.next == total) || !in_service(a) ||
                                    !in_service(b);
                         }))
        << a.next << " " << b.next;
    EXPECT_EQ(total, a.next);
    EXPECT_EQ(total, b.next);
    EXPECT_EQ(0u, a.wrong + b.wrong);
    for (LinkFamily* f : {&a, &b}) {
        EXPECT_TRUE(in_service(*f));
        SLC::Statistics s = f->link->statistics();
        EXPECT_GT(s.repeatCntr, 0u);
        EXPECT_GT(s.badSeqCntr, 0u);
        EXPECT_EQ(0u, s.overflowCntr);
    }
    EXPECT_GT(pair.a.counters.refused + pair.b.counters.refused, 0u);
    EXPECT_EQ(1, a.activations);
}

// Without acknowledgements the RTB fills to 127 and the TB to 200; the
// rest is refused and counted. Once the far end is heard again, everything
// admitted arrives in order.
TEST_F(Ss7PairTest, BufferLimitsHoldAndAllAdmittedArrive) {
    ASSERT_TRUE(bring_up());
    pair.b.line.loss = 1;
    for (uint32_t i = 0; i < 400; ++i) sendDown(a, numbered(i));
    ASSERT_TRUE(runUntil(clock, [&] { return b.next == 127; }));
    EXPECT_EQ(127u, a.link->rtb_count());
    EXPECT_EQ(200u, a.link->tb_count());
    EXPECT_EQ(73u, a.link->statistics().overflowCntr);
    EXPECT_NE(std::string::npos,
              quiet_err.text().find("no space in TB buffer, TB=200 RTB=127 ignoring msu: "));
    pair.b.line.loss = 0;
    // A FISU that acknowledges all 127: the freed room serves the TB at once.
    b.link->on_hdlc_ready();
    ASSERT_TRUE(runUntil(clock, [&] { return b.next == 327 && a.link->rtb_count() == 0; }));
    EXPECT_EQ(0u, b.wrong);
    EXPECT_TRUE(in_service(a));
}

// What takes a out of service; b follows on a's SIOS.
enum Cause { t7, bad_bsn, trunk_loss };

class Ss7OutOfService : public Ss7PairTest, public ::testing::WithParamInterface<Cause> {};

TEST_P(Ss7OutOfService, TakesBothLinksOut) {
    ASSERT_TRUE(bring_up());
    uint64_t from = clock.nowMs();
    switch (GetParam()) {
        case t7:  // an MSU that is never acknowledged
            pair.b.line.loss = 1;
            sendDown(a, numbered(0));
            ASSERT_TRUE(runUntil(clock, [&] { return !in_service(a); }));
            EXPECT_EQ(12000u, clock.nowMs() - from);
            break;
        case bad_bsn:  // two FISUs in a row acknowledge FSN 64, which was never sent
            pair.b.line.tamper = [](HdlcPair::Frame& f) {
                f[0] = uint8_t((f[0] & 0x80) | 64);
                return true;
            };
            b.link->on_hdlc_ready();
            ASSERT_TRUE(runUntil(clock, [&] { return pair.inFlight() == 0; }));
            EXPECT_TRUE(in_service(a));
            b.link->on_hdlc_ready();
            break;
        case trunk_loss:
            a.link->OnTrunkHardStatus(false);
            EXPECT_EQ(S::idle, a.link->get_state_id());
            EXPECT_NE(std::string::npos,
                      quiet_log.text().find(" transport OFF by low level terminated\n"));
            break;
    }
    ASSERT_TRUE(runUntil(clock, [&] { return !in_service(a) && !in_service(b); }));
    EXPECT_EQ(std::vector<std::string>{"impossible phasing"}, a.downs);
    EXPECT_EQ(std::vector<std::string>{"impossible phasing"}, b.downs);
}

INSTANTIATE_TEST_SUITE_P(Causes, Ss7OutOfService, ::testing::Values(t7, bad_bsn, trunk_loss));

}  // namespace
