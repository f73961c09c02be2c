#include "asn1/allocator.h"

#include <atomic>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace ASN1 {

#ifndef KORVAND_ASN1_SYSTEM_HEAP

namespace detail {

namespace {

// The region's part handed out so far.
std::atomic<size_t> regionUsed{0};

// The class's reserve for this thread, taken from the region at the class's
// first block. When the region is used up, the class has none: it counts as
// all cut, so its blocks come from the heap.
void takeReserve(BlockPool& pool, size_t sizeClass) {
    static char* const region = reserveRegion =
        static_cast<char*>(::operator new(BlockPool::RegionBytes));
    size_t at = regionUsed.fetch_add(BlockPool::ReserveBytes);
    if (at < BlockPool::RegionBytes)
        pool.reserves[sizeClass] = region + at;
    else
        pool.carved[sizeClass] = BlockPool::ReserveBytes;
}

}  // namespace

void* newBlock(size_t sizeClass) {
    BlockPool& pool = blockPool;
    size_t bytes = BlockPool::blockBytes(sizeClass);
    if (!pool.reserves[sizeClass] && pool.carved[sizeClass] == 0) takeReserve(pool, sizeClass);
    if (pool.carved[sizeClass] + bytes > BlockPool::ReserveBytes) {
        if (pool.arena.scopes != 0) {
            if (void* block = arenaBlock(pool.arena, bytes)) {
                // The rest of the decoding takes its blocks from the arena.
                pool.spilled = true;
                return block;
            }
        }
        return ::operator new(bytes);
    }
    void* block = pool.reserves[sizeClass] + pool.carved[sizeClass];
    pool.carved[sizeClass] += bytes;
    return block;
}

void* largeBlock(size_t size) {
    if (blockPool.arena.scopes != 0 && size <= Arena::LargestBlock) {
        if (void* block = arenaBlock(blockPool.arena, size)) return block;
    }
    return ::operator new(size);
}

void returnBlock(void* block, size_t sizeClass) noexcept {
    size_t bytes = BlockPool::blockBytes(sizeClass);
    // Unsized: clang 14 declares the sized form only with -fsized-deallocation.
    ::operator delete(block);
    blockPool.returnedBytes += bytes;
}

}  // namespace detail

bool heapTrimDue() {
    const detail::BlockPool& pool = detail::blockPool;
    return pool.returnedBytes >= trim_threshold || detail::arenaTrimDue(pool.arena);
}

void trimHeap() {
    detail::blockPool.returnedBytes = 0;
    detail::trimArena(detail::blockPool.arena);
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

#else

bool heapTrimDue() { return false; }
void trimHeap() {}

#endif

}  // namespace ASN1
