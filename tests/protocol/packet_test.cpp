#include <new>
#include <sstream>

#include "tests/protocol/harness.h"

namespace {

using PacketTest = PoolTest;
using PacketDeathTest = PoolTest;

TEST_F(PacketTest, ByteOrderStringsAndRuns) {
    Packet p = make_packet({0x41, 0x42}, 8);
    p.push16_b(0x1234);
    p.put16(0x1234);
    p.put16_b(0xABCD);
    EXPECT_EQ((Bytes{0x12, 0x34, 0x41, 0x42, 0x34, 0x12, 0xAB, 0xCD}), bytes(p));
    EXPECT_EQ(0x1234, p.pull16_b());
    EXPECT_EQ(0x4241, p.pull16_l());
    EXPECT_EQ(0x1234, p.pull16_l());
    EXPECT_EQ(0xAB, p.pull());
    EXPECT_EQ(0xCD00, p.pull16_b());  // a missing octet reads as 0
    EXPECT_EQ(0, p.pull16_b());

    p.put(std::string("abc"));
    p.put(std::string(300, 'x'));  // cut to 255, so the length octet stays true
    p.put(p);
    EXPECT_EQ(2u * (4 + 256), p.length());
    EXPECT_EQ("abc", p.pull_string());
    EXPECT_EQ(std::string(255, 'x'), p.pull_string());
    Packet cut = make_packet({3, 'a'});
    EXPECT_EQ(std::string("a\0\0", 3), cut.pull_string());
}

TEST_F(PacketTest, CopyOnWriteLeavesTheOtherHolderIntact) {
    Packet a = make_packet({1, 2, 3}, 2);
    Packet b = a, c = a;
    b.put(4);
    EXPECT_EQ(1, c.pull());  // a pull is a write too
    EXPECT_EQ((Bytes{1, 2, 3}), bytes(a));
    EXPECT_EQ((Bytes{1, 2, 3, 4}), bytes(b));
    EXPECT_EQ(2u, b.head_room());
    EXPECT_EQ(packet_pool_blocks - 3, Packet::free_blocks());
    Packet part = a.sub(2, 1);
    EXPECT_EQ((Bytes{2, 3}), bytes(part));
    EXPECT_EQ(3u, part.head_room());
}

TEST_F(PacketTest, EmptyPoolIsReportedAtEveryAllocationPoint) {
    Packet shared = make_packet({7, 8});
    Packet other = shared;
    const _Packet* released = make_packet({}).get();
    {
        PoolDrain drain;
        EXPECT_EQ(released, drain.held.front().get());  // the last block freed is reused first
        Packet none;
        EXPECT_FALSE(none.reserve_head(0));
        EXPECT_FALSE(none.reserve_tail(0));
        EXPECT_TRUE(none.is_null());
        EXPECT_TRUE(shared.sub(1, 0).is_null());
        EXPECT_FALSE(shared.prepare_for_modify());
        EXPECT_THROW(shared.put(9), std::bad_alloc);
        EXPECT_EQ((Bytes{7, 8}), bytes(shared));
        EXPECT_EQ(shared.get(), other.get());
    }
    EXPECT_TRUE(shared.prepare_for_modify());
    EXPECT_NE(shared.get(), other.get());
}

TEST_F(PacketTest, TextAndDumps) {
    Packet p = make_packet({3, 0, 0, 0x1A});
    EXPECT_EQ("03 00 00 1A", p.text());
    EXPECT_EQ("(null)", Packet().text());
    std::ostringstream os;
    EXPECT_TRUE(p.dump(os) && p.dump_context(os) && make_packet({}).dump_context(os));
    EXPECT_FALSE(Packet().dump(os) || Packet().dump_context(os));
    EXPECT_EQ("head=0, data=4, tail=65532dump: 3 0 0 1a", os.str());
}

TEST_F(PacketDeathTest, BrokenBoundsEndTheProcessWithTheirLine) {
    Packet full;
    ASSERT_TRUE(full.reserve_tail(1));
    full.put(0x41);
    EXPECT_DEATH(full.put(1),
                 "PACKET ASSERTION FAILED!\nlen<=_tailroom\\(\\)\nhead=65535, data=1, tail=0\ndump:\n 41\n");
    Packet front = make_packet({1});
    EXPECT_DEATH(front.push(1), "PACKET ASSERTION FAILED!\nlen<=_headroom\\(\\)");
    EXPECT_DEATH((void)full[1], "index out of range");
    Packet null;
    EXPECT_DEATH(null.put(1), "PACKET ASSERTION FAILED!\nnull packet\n\\(null\\)\n");
    EXPECT_DEATH((void)null->data, "SMART POINTER ASSERTION!");
    EXPECT_DEATH(
        {
            full->tail = full->data - 1;
            full.check("put");
        },
        "packet check fail\nafter \"put\" fdata>ftail\nterminate.\n");
}

}  // namespace
