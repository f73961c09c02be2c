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
    if (pool.carved[sizeClass] + bytes > BlockPool::ReserveBytes) return ::operator new(bytes);
    void* block = pool.reserves[sizeClass] + pool.carved[sizeClass];
    pool.carved[sizeClass] += bytes;
    return block;
}

void returnBlock(void* block, size_t sizeClass) noexcept {
    size_t bytes = BlockPool::blockBytes(sizeClass);
    // Unsized: clang 14 declares the sized form only with -fsized-deallocation.
    ::operator delete(block);
    blockPool.returnedBytes += bytes;
}

}  // namespace detail

bool heapTrimDue() { return detail::blockPool.returnedBytes >= trim_threshold; }

void trimHeap() {
    detail::blockPool.returnedBytes = 0;
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

#else

bool heapTrimDue() { return false; }
void trimHeap() {}

#endif

}  // namespace ASN1
