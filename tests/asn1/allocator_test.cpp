// The value allocator's reserves, built with them under the sanitizer: the
// blocks of ordinary use come from the reserves and are reused; what goes
// beyond comes from the heap and goes back to it, and makes a trim due.

#include "asn1/allocator.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using ASN1::detail::allocateBlock;
using ASN1::detail::BlockPool;
using ASN1::detail::blockPool;
using ASN1::detail::inReserves;
using ASN1::detail::releaseBlock;

// Each size takes its class's whole reserve, one block beyond it, and gives
// them all back: the reserve's blocks come again, the one beyond does not
// stay.
class Reserve : public ::testing::TestWithParam<size_t> {};

TEST_P(Reserve, IsReusedAndWhatGoesBeyondReturnsToTheHeap) {
    const size_t size = GetParam();
    const size_t blocks = BlockPool::ReserveBytes / BlockPool::blockBytes(BlockPool::sizeClass(size));
    ASN1::trimHeap();
    std::vector<void*> taken;
    for (size_t i = 0; i < blocks; ++i) taken.push_back(allocateBlock(size));
    for (void* b : taken) ASSERT_TRUE(inReserves(b));
    void* beyond = allocateBlock(size);
    EXPECT_FALSE(inReserves(beyond));

    releaseBlock(beyond, size);
    EXPECT_EQ(BlockPool::blockBytes(BlockPool::sizeClass(size)), blockPool.returnedBytes);
    for (void* b : taken) releaseBlock(b, size);
    EXPECT_EQ(BlockPool::blockBytes(BlockPool::sizeClass(size)), blockPool.returnedBytes);
    // Last freed, first taken again.
    void* again = allocateBlock(size);
    EXPECT_EQ(taken.back(), again);
    releaseBlock(again, size);
}

INSTANTIATE_TEST_SUITE_P(SizeClasses, Reserve, ::testing::Values(1, 16, 17, 100, 512));

TEST(Allocator, BlocksBeyondTheReservesMakeATrimDue) {
    ASN1::trimHeap();
    std::vector<void*> taken;
    // The 512-byte class: its reserve, then the threshold's worth beyond.
    const size_t beyond = ASN1::trim_threshold / 512;
    for (size_t i = 0; i < BlockPool::ReserveBytes / 512 + beyond; ++i) taken.push_back(allocateBlock(512));
    for (size_t i = 0; i + 1 < taken.size(); ++i) releaseBlock(taken[i], 512);
    EXPECT_FALSE(ASN1::heapTrimDue());
    releaseBlock(taken.back(), 512);
    EXPECT_TRUE(ASN1::heapTrimDue());
    ASN1::trimHeap();
    EXPECT_FALSE(ASN1::heapTrimDue());
}

// Sizes above the classes go to the heap at once; a block of one thread's
// reserve freed on another stays a reserve block there.
TEST(Allocator, LargeBlocksAndBlocksFreedOnAnotherThread) {
    void* large = allocateBlock(513);
    EXPECT_FALSE(inReserves(large));
    releaseBlock(large, 513);
    releaseBlock(nullptr, 8);

    void* mine = allocateBlock(40);
    ASSERT_TRUE(inReserves(mine));
    void* reused = nullptr;
    std::thread other([&] {
        releaseBlock(mine, 40);
        reused = allocateBlock(40);
        EXPECT_EQ(0u, blockPool.returnedBytes);
    });
    other.join();
    EXPECT_EQ(mine, reused);
    releaseBlock(reused, 40);
}

}  // namespace
