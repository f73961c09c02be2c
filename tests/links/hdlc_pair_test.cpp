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
        Packet back = makePacket(frames.back());
        if (echo) echo->hdlc_transmit(back);  // from inside the delivery
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

    // Sends `n` frames {i, 0x55...} of `size` octets from a; whether each was taken.
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

// Frames arrive in order, from the loop, also when sent from inside a
// delivery; a corrupted frame differs from what was sent in exactly one bit.
TEST_F(HdlcPairTest, DeliversInOrderFromTheLoopAndCorruptsOneBit) {
    atB.echo = &pair.b;
    pair.a.line.corruption = 1;
    pair.a.record = true;
    send(50);
    EXPECT_TRUE(atB.frames.empty());
    ASSERT_TRUE(runUntil(clock, [&] { return atA.frames.size() == 50; }));
    EXPECT_EQ(atB.frames, atA.frames);
    EXPECT_EQ(pair.a.counters.corrupted, 50u);
    for (unsigned i = 0; i < 50; ++i) {
        int bits = 0;
        for (size_t k = 0; k < 8; ++k)
            bits += __builtin_popcount(unsigned(atB.frames[i][k] ^ pair.a.sent[i][k]));
        EXPECT_EQ(bits, 1) << "frame " << i;
    }
}

// Forced refusals and a full line refuse; each refusal is followed by
// on_hdlc_ready from the loop.
TEST_F(HdlcPairTest, RefusalIsFollowedByReadyFromTheLoop) {
    pair.a.refuse(2);
    EXPECT_EQ(send(3), (std::vector<bool>{false, false, true}));
    EXPECT_FALSE(pair.a.is_ready());
    ASSERT_TRUE(runUntil(clock, [&] { return atA.readies == 2; }));
    EXPECT_TRUE(pair.a.is_ready());
    pair.a.line.capacity = 3;
    EXPECT_EQ(send(4), (std::vector<bool>{true, true, true, false}));
    ASSERT_TRUE(runUntil(clock, [&] { return atA.readies == 3; }));
    EXPECT_EQ(atB.frames.size(), 4u);
    EXPECT_EQ(pair.a.counters.refused, 3u);
}

TEST_F(HdlcPairTest, PacingSpacesFramesAtTheLineRate) {
    pair.a.line.bitRate = 64000;
    uint64_t start = clock.nowMs();
    send(20, 29);  // 32 octets on the line: 4 ms each
    ASSERT_TRUE(runUntil(clock, [&] { return atB.frames.size() == 20; }));
    for (size_t i = 0; i < 20; ++i) EXPECT_EQ(atB.times[i] - start, 4 * (i + 1)) << i;
}

}  // namespace
