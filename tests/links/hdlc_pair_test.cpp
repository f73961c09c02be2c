#include "tests/links/hdlc_pair.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_clock.h"

namespace {

using Frame = HdlcPair::Frame;

class Listener : public HDLC::Notify {
  public:
    void on_hdlc_receive(Packet& p) override {
        EXPECT_FALSE(inTransmit) << "delivered from inside hdlc_transmit";
        frames.push_back(bytesOf(p));
        times.push_back(clock->nowMs());
        if (echo) {
            Packet back = makePacket(frames.back());
            echo->hdlc_transmit(back);
        }
    }
    void on_hdlc_error(Cause::Type) override {}
    void on_hdlc_ready() override { ++readies; }

    TestClock* clock = nullptr;
    GenericHDLC* echo = nullptr;
    bool inTransmit = false;
    std::vector<Frame> frames;
    std::vector<uint64_t> times;
    int readies = 0;
};

class HdlcPairTest : public ::testing::Test {
  protected:
    HdlcPairTest() {
        atA.clock = atB.clock = &clock;
        pair.a.bind(atA);
        pair.b.bind(atB);
        pair.open();
        EXPECT_TRUE(runUntil(clock, [&] { return atA.readies == 1 && atB.readies == 1; }));
    }

    // Sends `n` frames {i, 0x55...} of `size` octets from a; true for each
    // one the end took.
    std::vector<bool> send(unsigned n, size_t size = 8) {
        std::vector<bool> taken;
        for (unsigned i = 0; i < n; ++i) {
            Frame f(size, 0x55);
            f[0] = uint8_t(i);
            Packet p = makePacket(f);
            atB.inTransmit = true;
            taken.push_back(pair.a.hdlc_transmit(p));
            atB.inTransmit = false;
        }
        return taken;
    }

    TestClock clock;
    HdlcPair pair{7};
    Listener atA;
    Listener atB;
};

TEST_F(HdlcPairTest, DeliversInOrderFromTheLoopBothWays) {
    atB.echo = &pair.b;
    send(50);
    EXPECT_TRUE(atB.frames.empty());
    ASSERT_TRUE(runUntil(clock, [&] { return atA.frames.size() == 50; }));
    for (unsigned i = 0; i < 50; ++i) EXPECT_EQ(atA.frames[i][0], i);
    EXPECT_EQ(atB.frames, atA.frames);
    EXPECT_EQ(pair.a.counters.delivered, 50u);
    EXPECT_EQ(pair.b.counters.delivered, 50u);
}

struct FaultCase {
    const char* name;
    HdlcPair::Line line;
    unsigned delivered;
    unsigned lost;
    unsigned corrupted;
};

class HdlcPairFaults : public HdlcPairTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(HdlcPairFaults, CountsWhatTheLineDid) {
    const FaultCase& c = GetParam();
    pair.a.line = c.line;
    pair.a.record = true;
    send(100);
    runUntil(clock, [&] { return pair.inFlight() == 0; });
    EXPECT_EQ(atB.frames.size(), c.delivered);
    EXPECT_EQ(pair.a.counters.lost, c.lost);
    EXPECT_EQ(pair.a.counters.corrupted, c.corrupted);
    ASSERT_EQ(pair.a.sent.size(), 100u);
    if (c.corrupted == 100) {
        for (size_t i = 0; i < atB.frames.size(); ++i) {
            int bits = 0;
            for (size_t k = 0; k < 8; ++k)
                bits += __builtin_popcount(unsigned(atB.frames[i][k] ^ pair.a.sent[i][k]));
            EXPECT_EQ(bits, 1) << "frame " << i;
        }
    }
}

HdlcPair::Line line(double loss, double corruption, std::function<bool(Frame&)> tamper = nullptr) {
    HdlcPair::Line l;
    l.loss = loss;
    l.corruption = corruption;
    l.tamper = std::move(tamper);
    return l;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HdlcPairFaults,
    ::testing::Values(FaultCase{"clean", line(0, 0), 100, 0, 0},
                      FaultCase{"allLost", line(1, 0), 0, 100, 0},
                      FaultCase{"allCorrupted", line(0, 1), 100, 0, 100},
                      FaultCase{"oddLost", line(0, 0, [](Frame& f) { return f[0] % 2 == 0; }), 50,
                                50, 0}),
    [](const ::testing::TestParamInfo<FaultCase>& i) { return std::string(i.param.name); });

TEST_F(HdlcPairTest, RandomLossIsRepeatableAndPartial) {
    pair.a.line.loss = 0.25;
    send(400);
    runUntil(clock, [&] { return pair.inFlight() == 0; });
    EXPECT_GT(pair.a.counters.lost, 50u);
    EXPECT_LT(pair.a.counters.lost, 150u);
    EXPECT_EQ(pair.a.counters.lost + atB.frames.size(), 400u);
}

TEST_F(HdlcPairTest, RefusalIsFollowedByReadyFromTheLoop) {
    pair.a.refuse(2);
    EXPECT_EQ(send(3), (std::vector<bool>{false, false, true}));
    EXPECT_FALSE(pair.a.is_ready());
    ASSERT_TRUE(runUntil(clock, [&] { return atA.readies == 2; }));
    EXPECT_TRUE(pair.a.is_ready());
    EXPECT_EQ(pair.a.counters.refused, 2u);
}

TEST_F(HdlcPairTest, AFullLineRefusesUntilItDrains) {
    pair.a.line.capacity = 3;
    EXPECT_EQ(send(4), (std::vector<bool>{true, true, true, false}));
    ASSERT_TRUE(runUntil(clock, [&] { return atA.readies == 2; }));
    EXPECT_EQ(atB.frames.size(), 3u);
    EXPECT_EQ(send(1), std::vector<bool>{true});
}

TEST_F(HdlcPairTest, PacingSpacesFramesAtTheLineRate) {
    pair.a.line.bitRate = 64000;
    uint64_t start = clock.nowMs();
    send(20, 29);  // 32 octets on the line: 4 ms each
    ASSERT_TRUE(runUntil(clock, [&] { return atB.frames.size() == 20; }));
    for (size_t i = 0; i < 20; ++i) EXPECT_EQ(atB.times[i] - start, 4 * (i + 1)) << i;
}

TEST_F(HdlcPairTest, AClosedEndRefusesAndLosesWhatArrives) {
    send(2);
    pair.b.close();
    Packet p = makePacket(Frame{1, 2, 3});
    EXPECT_FALSE(pair.b.hdlc_transmit(p));
    runUntil(clock, [&] { return pair.inFlight() == 0; });
    EXPECT_TRUE(atB.frames.empty());
    EXPECT_EQ(pair.a.counters.lost, 2u);
}

}  // namespace
