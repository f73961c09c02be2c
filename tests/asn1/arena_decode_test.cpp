// Aligned PER decoding with the value reserves and the decoding arena: a
// message beyond the reserves takes nothing from the heap and leaves no
// block in the arena once it is gone, also when its decoding fails; a small
// message stays in the reserves; without chunks a large message decodes
// from the heap.

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "asn1/allocator.h"
#include "asn1/coder_env.h"
#include "asn1/gen/lgcp.h"
#include "tests/asn1/arena_checks.h"
#include "tests/asn1/lemz_message.h"

namespace {

using ArenaChecks::arenaEmpty;
using ASN1::detail::Arena;
using ASN1::detail::blockPool;

// 16 radio packets: some 20,000 values, far beyond the reserves.
const int kPackets = 16;

std::vector<char> encode(const LGCP::Message& msg) {
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    std::vector<char> octets;
    EXPECT_TRUE(ASN1::encode(msg, &env, std::back_inserter(octets)));
    return octets;
}

bool decode(const std::vector<char>& octets, size_t length, LGCP::Message& msg) {
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    return ASN1::decode(octets.data(), octets.data() + length, &env, msg, true);
}

// The blocks alive in the thread's current chunk.
size_t arenaBlocks() {
    const Arena& arena = blockPool.arena;
    return arena.current == nullptr ? 0 : arena.current->live;
}

// The message's octets; its values, which would hold the reserves, are
// gone before a test decodes.
const std::vector<char>& largeOctets() {
    static const std::vector<char> octets = [] {
        LGCP::Message large;
        EXPECT_TRUE(large.setFromValueNotation(LemzMessage::text(kPackets)));
        return encode(large);
    }();
    return octets;
}

class ArenaDecode : public ::testing::Test {
protected:
    void SetUp() override { ASN1::trimHeap(); }
    void TearDown() override { ASN1::trimHeap(); }

    const std::vector<char>& octets = largeOctets();
};

TEST_F(ArenaDecode, ALargeMessageTakesNothingFromTheHeap) {
    size_t returned = blockPool.returnedBytes;
    {
        LGCP::Message msg;
        ASSERT_TRUE(decode(octets, octets.size(), msg));
        EXPECT_EQ(octets, encode(msg));
        EXPECT_FALSE(arenaEmpty());
    }
    EXPECT_EQ(returned, blockPool.returnedBytes) << "the message's blocks went to the heap";
    EXPECT_TRUE(arenaEmpty());
    EXPECT_TRUE(ASN1::heapTrimDue());
}

TEST_F(ArenaDecode, ASmallMessageStaysInTheReserves) {
    LGCP::Message ping;
    ASSERT_TRUE(ping.setFromValueNotation("{ seq 1, slot 5, pdu command : ping : NULL }"));
    std::vector<char> small = encode(ping);
    size_t before = arenaBlocks();
    LGCP::Message msg;
    ASSERT_TRUE(decode(small, small.size(), msg));
    EXPECT_EQ(0, msg.compare(ping));
    EXPECT_EQ(before, arenaBlocks());
}

// Cut at a quarter, a half, three quarters and one octet before the end.
class ArenaDecodeCut : public ArenaDecode, public ::testing::WithParamInterface<int> {};

TEST_P(ArenaDecodeCut, AFailedDecodingLeavesNoBlockBehind) {
    size_t length = GetParam() == 4 ? octets.size() - 1 : octets.size() * size_t(GetParam()) / 4;
    size_t returned = blockPool.returnedBytes;
    {
        LGCP::Message msg;
        EXPECT_FALSE(decode(octets, length, msg));
    }
    EXPECT_TRUE(arenaEmpty());
    EXPECT_EQ(returned, blockPool.returnedBytes);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ArenaDecodeCut, ::testing::Values(1, 2, 3, 4));

TEST_F(ArenaDecode, WithoutChunksALargeMessageDecodesFromTheHeap) {
    ArenaChecks::NoNewChunks none;
    size_t returned = blockPool.returnedBytes;
    {
        LGCP::Message msg;
        ASSERT_TRUE(decode(octets, octets.size(), msg));
        EXPECT_EQ(octets, encode(msg));
    }
    EXPECT_GT(blockPool.returnedBytes, returned);
    EXPECT_TRUE(arenaEmpty());
}

}  // namespace
