// The decoding arena: what a decoder takes beyond the value reserves comes
// from chunks, not from the heap; a chunk is free again as a whole once its
// blocks are gone, also when another thread gave them back, and a trim or
// the end of its thread gives its pages back to the system.

#include "asn1/arena.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "asn1/allocator.h"
#include "tests/asn1/arena_checks.h"

namespace {

using ASN1::detail::allocateBlock;
using ASN1::detail::Arena;
using ASN1::detail::ArenaChunk;
using ASN1::detail::ArenaScope;
using ASN1::detail::blockPool;
using ASN1::detail::chunkOf;
using ASN1::detail::inArena;
using ASN1::detail::inReserves;
using ASN1::detail::releaseBlock;

const size_t kSize = 24;  // a BOOLEAN's or an INTEGER's block
const size_t kPerChunk = (Arena::ChunkBytes - Arena::HeaderBytes) / kSize;

// The blocks a decoder takes until `n` of them come from the arena: those
// of the reserves come first. All go back when it ends.
struct Decoding {
    explicit Decoding(size_t n) {
        ArenaScope scope;
        while (arena.size() < n) {
            void* block = allocateBlock(kSize);
            std::memset(block, 0xA5, kSize);  // as a value's construction
            (inArena(block) ? arena : other).push_back(block);
        }
    }
    ~Decoding() {
        for (void* block : arena) releaseBlock(block, kSize);
        for (void* block : other) releaseBlock(block, kSize);
    }
    std::set<ArenaChunk*> chunks() const {
        std::set<ArenaChunk*> all;
        for (void* block : arena) all.insert(chunkOf(block));
        return all;
    }

    std::vector<void*> arena;
    std::vector<void*> other;
};

// Whether the middle page of the chunk is in memory.
bool resident(const ArenaChunk* chunk) {
    const char* middle = reinterpret_cast<const char*>(chunk) + Arena::ChunkBytes / 2;
    unsigned char state = 0;
    if (::mincore(const_cast<char*>(middle), size_t(::sysconf(_SC_PAGESIZE)), &state) != 0) return true;
    return (state & 1) != 0;
}

std::set<ArenaChunk*> spares() {
    std::set<ArenaChunk*> all;
    for (ArenaChunk* chunk = blockPool.arena.spares; chunk != nullptr; chunk = chunk->next) all.insert(chunk);
    return all;
}

class ArenaTest : public ::testing::Test {
protected:
    void SetUp() override { ASN1::trimHeap(); }
    void TearDown() override { ASN1::trimHeap(); }

    Arena& arena = blockPool.arena;
};

TEST_F(ArenaTest, BeyondTheReservesADecoderTakesChunksAndTheyComeBackWhole) {
    std::set<ArenaChunk*> used;
    {
        Decoding decoding(3 * kPerChunk + 1);
        used = decoding.chunks();
        EXPECT_GE(used.size(), 4u);
        EXPECT_NE(nullptr, arena.closed);
    }
    EXPECT_EQ(0u, blockPool.returnedBytes) << "a block went to the heap";
    EXPECT_EQ(nullptr, arena.closed);
    EXPECT_EQ(0u, arena.current->live);
    EXPECT_GE(arena.spareCount, 3u);
    EXPECT_TRUE(ASN1::heapTrimDue());

    // The trim keeps the current chunk and one spare, and gives the pages
    // of the others back.
    ASN1::trimHeap();
    EXPECT_FALSE(ASN1::heapTrimDue());
    EXPECT_EQ(Arena::KeptSpares, arena.spareCount);
    std::set<ArenaChunk*> kept = spares();
    kept.insert(arena.current);
    for (ArenaChunk* chunk : used) {
        if (kept.count(chunk) == 0) {
            EXPECT_FALSE(resident(chunk)) << "a chunk given back stays in memory";
        }
    }
}

TEST_F(ArenaTest, TheCurrentChunkStartsAgainOnceItsBlocksAreGone) {
    void* first;
    {
        Decoding decoding(10);
        first = decoding.arena.front();
    }
    Decoding again(10);
    EXPECT_EQ(first, again.arena.front());
}

// Where a block comes from once its class's reserve is all taken: in a
// decoder's scope from the arena, up to the largest block; else the heap.
struct Source {
    bool decoding;
    size_t size;
    bool fromArena;
};

class BlockSource : public ArenaTest, public ::testing::WithParamInterface<Source> {};

TEST_P(BlockSource, FollowsTheDecodersScopeAndTheLargestBlock) {
    const Source& source = GetParam();
    Decoding holding(1);
    void* block;
    if (source.decoding) {
        ArenaScope scope;
        block = allocateBlock(source.size);
    } else {
        block = allocateBlock(source.size);
    }
    EXPECT_EQ(source.fromArena, inArena(block));
    releaseBlock(block, source.size);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockSource,
                         ::testing::Values(Source{true, kSize, true}, Source{true, 1024, true},
                                           Source{true, Arena::LargestBlock, true},
                                           Source{true, Arena::LargestBlock + 1, false},
                                           Source{false, kSize, false}, Source{false, 1024, false}));

TEST_F(ArenaTest, AChunkEmptiedOnAnotherThreadIsFreedAtItsOwnersTrim) {
    Decoding decoding(kPerChunk + 10);
    ArenaChunk* first = chunkOf(decoding.arena.front());
    ASSERT_NE(first, arena.current);
    std::vector<void*> ofFirst;
    std::vector<void*> rest;
    for (void* block : decoding.arena) (chunkOf(block) == first ? ofFirst : rest).push_back(block);
    decoding.arena = rest;

    size_t sparesBefore = arena.spareCount;
    std::thread other([&] {
        for (void* block : ofFirst) releaseBlock(block, kSize);
    });
    other.join();
    EXPECT_EQ(first, arena.closed);
    EXPECT_EQ(sparesBefore, arena.spareCount);

    ASN1::trimHeap();
    EXPECT_EQ(nullptr, arena.closed);
}

TEST_F(ArenaTest, WithoutChunksADecoderGoesOnWithTheHeap) {
    ArenaChecks::NoNewChunks none;
    std::vector<void*> blocks;
    bool fromTheHeap = false;
    {
        ArenaScope scope;
        // The thread's current chunk and its spare serve, then the heap.
        for (size_t i = 0; i < (Arena::KeptSpares + 3) * kPerChunk && !fromTheHeap; ++i) {
            void* block = allocateBlock(kSize);
            blocks.push_back(block);
            fromTheHeap = !inArena(block) && !inReserves(block);
        }
    }
    EXPECT_TRUE(fromTheHeap);
    for (void* block : blocks) releaseBlock(block, kSize);
}

TEST_F(ArenaTest, AThreadGivesItsFreeChunksBackWhenItEnds) {
    std::set<ArenaChunk*> used;
    std::thread decoder([&] {
        Decoding decoding(2 * kPerChunk);
        used = decoding.chunks();
    });
    decoder.join();
    ASSERT_GE(used.size(), 2u);
    for (ArenaChunk* chunk : used) EXPECT_FALSE(resident(chunk));
}

}  // namespace
