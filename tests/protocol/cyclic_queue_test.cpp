#include "protocol/clean_queue.h"
#include "protocol/cyclic.h"
#include "tests/protocol/harness.h"

namespace {

typedef Cyclic<unsigned int, 127u> Seq;

TEST(Cyclic, ArithmeticAndWindowWrapModulo128) {
    EXPECT_EQ(72u, unsigned(Seq(200)));
    EXPECT_EQ(0u, unsigned(Seq(127) + Seq(1)));
    EXPECT_EQ(13u, unsigned(Seq(5) - Seq(120)));
    EXPECT_EQ(2u, unsigned(Seq(123) + 7u));  // plain numbers too
    EXPECT_EQ(125u, unsigned(Seq(4) - 7u));
    Seq s(0);
    EXPECT_EQ(127u, unsigned(--s));
    EXPECT_EQ(127u, unsigned(s++));
    EXPECT_EQ(0u, unsigned(s));
    EXPECT_TRUE(Seq(120) <= Seq(125) <= Seq(3));
    EXPECT_TRUE(Seq(120) <= Seq(3) <= Seq(3));
    EXPECT_FALSE(Seq(120) <= Seq(4) <= Seq(3));
    EXPECT_FALSE(Seq(5) <= Seq(4) <= Seq(10));
}

using CleanQueueTest = PoolTest;

TEST_F(CleanQueueTest, FullRingRefusesAndFreedSlotWraps) {
    CleanQueue<Packet, 7> q;
    for (uint8_t i = 0; i < 7; ++i) EXPECT_TRUE(q.put(make_packet({i})));
    EXPECT_FALSE(q.put(make_packet({99})));
    EXPECT_FALSE(q.append(make_packet({99})));
    Packet p;
    ASSERT_TRUE(q.get(p));
    EXPECT_TRUE(q.put(make_packet({7})));
    for (uint8_t i = 1; i <= 7; ++i) {
        ASSERT_TRUE(q.get(&p));
        EXPECT_EQ((Bytes{i}), bytes(p));
    }
    EXPECT_FALSE(q.get(p));
}

TEST_F(CleanQueueTest, ResentFramesLeaveInTheirFirstOrder) {
    CleanQueue<Packet, 7> sent;
    CleanQueue<Packet, 135> waiting;
    for (uint8_t i = 1; i <= 3; ++i) sent.put(make_packet({i}));
    waiting.put(make_packet({4}));
    Packet p;
    while (sent.get_last(&p)) waiting.append(p);
    ASSERT_TRUE(waiting.preview(&p));
    EXPECT_EQ((Bytes{1}), bytes(p));
    for (uint8_t i = 1; i <= 4; ++i) {
        ASSERT_TRUE(waiting.get(p));
        EXPECT_EQ((Bytes{i}), bytes(p));
    }
    EXPECT_FALSE(waiting.preview(nullptr));
}

TEST_F(CleanQueueTest, ClearAndDestructionReleaseTheBlocks) {
    CleanQueue<Packet, 120> q;
    for (uint8_t i = 0; i < 3; ++i) q.put(make_packet({i}));
    q.clear();
    EXPECT_EQ(packet_pool_blocks, Packet::free_blocks());
    {
        CleanQueue<Packet, 327> other;
        other.put(make_packet({1}));
        other.append(make_packet({2}));
    }
    EXPECT_EQ(packet_pool_blocks, Packet::free_blocks());
}

}  // namespace
