#ifndef KORVAND_ASN1_ALLOCATOR_H
#define KORVAND_ASN1_ALLOCATOR_H

// Small blocks for values and their component vectors. A decoded message is
// dozens of small values, each allocated on its own and freed when the
// message goes; the system allocator's caches hold a few blocks per size,
// so each 16-byte size class of each thread has a reserve of its own: an
// area of ReserveBytes cut into blocks as they are first needed, whose
// freed blocks wait on the class's free list for reuse. Ordinary messages
// live in the reserves. What a decoder needs beyond them, a large message,
// comes from the thread's decoding arena (arena.h): chunks cut in turn and
// given back whole once the message is gone. What other values need beyond
// the reserves comes from the system heap and goes back to it. Neither pins
// memory for the life of the process; only the reserves, contiguous and
// bounded, stay. The reserves lie in one region of the process, so a block
// freed on another thread than the one that made it is still known as a
// reserve block. Under the address sanitizer every block goes to the system
// heap, so that misuse stays visible.
//
// Taking a block and giving it back are inline: the size is a constant
// where a class allocates itself, so the common path is a few instructions
// without a call.

#include <cstddef>
#include <new>

#include "asn1/arena.h"

// KORVAND_ASN1_POOL keeps the reserves under the sanitizer too: the
// allocator's own test builds it so.
#if defined(__SANITIZE_ADDRESS__) && !defined(KORVAND_ASN1_POOL)
#define KORVAND_ASN1_SYSTEM_HEAP 1
#elif defined(__has_feature) && !defined(KORVAND_ASN1_POOL)
#if __has_feature(address_sanitizer)
#define KORVAND_ASN1_SYSTEM_HEAP 1
#endif
#endif

namespace ASN1 {
namespace detail {

#ifdef KORVAND_ASN1_SYSTEM_HEAP

inline void* allocateBlock(size_t size) { return ::operator new(size); }
inline void releaseBlock(void* block, size_t) noexcept { ::operator delete(block); }

class ArenaScope {
public:
    ArenaScope() {}
};

#else

struct FreeBlock {
    FreeBlock* next;
};

struct BlockPool {
    static const size_t Granule = 16;
    static const size_t SizeClasses = 32;  // blocks of up to 512 bytes
    // Each class's reserve: 2,048 blocks of 16 bytes, 64 of 512.
    static const size_t ReserveBytes = 32 * 1024;
    // The region of every thread's reserves: those of four threads that
    // use every class. A thread beyond goes to the heap. Only what was cut
    // into blocks is resident.
    static const size_t RegionBytes = 4 * SizeClasses * ReserveBytes;

    // A decoder went beyond the reserves: the rest of its blocks come from
    // the arena. Beside the free lists, which every block reads.
    bool spilled;
    FreeBlock* freeLists[SizeClasses];  // freed blocks of the reserves
    char* reserves[SizeClasses];        // null until the class is first used
    size_t carved[SizeClasses];         // bytes of each reserve handed out so far
    // Bytes given back to the heap since the last trimHeap.
    size_t returnedBytes;
    Arena arena;

    // Sizes 0 to 16 are class 0, 17 to 32 class 1, ...
    static size_t sizeClass(size_t size) { return size == 0 ? 0 : (size - 1) / Granule; }
    static size_t blockBytes(size_t sizeClass) { return (sizeClass + 1) * Granule; }
};

// The region's start, set before the first block is handed out.
inline char* reserveRegion = nullptr;

// One comparison: below the region the difference wraps to a large value.
inline bool inReserves(const void* block) {
    return size_t(static_cast<const char*>(block) - reserveRegion) < BlockPool::RegionBytes;
}

// Constant-initialised and trivially destructible: no initialisation guard
// on access, and blocks freed late in the process's exit still find their
// lists.
inline thread_local BlockPool blockPool = {};

// A block of the class for an empty list: cut from the reserve while it
// lasts, then from the arena while a decoder runs, else from the heap.
void* newBlock(size_t sizeClass);
// A block larger than the classes: from the arena while a decoder runs,
// else from the heap.
void* largeBlock(size_t size);
// Gives a block from the heap back to it.
void returnBlock(void* block, size_t sizeClass) noexcept;

inline void* allocateBlock(size_t size) {
    BlockPool& pool = blockPool;
    // A decoder beyond the reserves takes every block from the arena.
    if (pool.spilled && size <= Arena::LargestBlock) {
        if (void* block = arenaBlock(pool.arena, size)) return block;
    }
    size_t c = BlockPool::sizeClass(size);
    if (c >= BlockPool::SizeClasses) return largeBlock(size);
    if (FreeBlock* block = pool.freeLists[c]) {
        pool.freeLists[c] = block->next;
        return block;
    }
    return newBlock(c);
}

inline void releaseBlock(void* block, size_t size) noexcept {
    if (block == nullptr) return;
    BlockPool& pool = blockPool;
    size_t c = BlockPool::sizeClass(size);
    // The reserves' blocks, those of ordinary messages, first.
    if (inReserves(block) && c < BlockPool::SizeClasses) {
        FreeBlock* freed = static_cast<FreeBlock*>(block);
        freed->next = pool.freeLists[c];
        pool.freeLists[c] = freed;
        return;
    }
    if (inArena(block)) return releaseArenaBlock(pool.arena, block);
    if (c < BlockPool::SizeClasses)
        returnBlock(block, c);
    else
        ::operator delete(block);
}

// A decoder runs on the thread while one exists: beyond the reserves, its
// blocks come from the thread's decoding arena.
class ArenaScope {
public:
    ArenaScope() { ++blockPool.arena.scopes; }
    ~ArenaScope() {
        BlockPool& pool = blockPool;
        if (--pool.arena.scopes == 0) pool.spilled = false;
    }
    ArenaScope(const ArenaScope&) = delete;
    ArenaScope& operator=(const ArenaScope&) = delete;
};

#endif

// The standard allocator interface over the blocks, for containers.
template <class T>
struct PoolAllocator {
    typedef T value_type;

    PoolAllocator() = default;
    template <class U>
    PoolAllocator(const PoolAllocator<U>&) {}

    T* allocate(size_t n) { return static_cast<T*>(allocateBlock(n * sizeof(T))); }
    void deallocate(T* p, size_t n) noexcept { releaseBlock(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const PoolAllocator<U>&) const { return true; }
    template <class U>
    bool operator!=(const PoolAllocator<U>&) const { return false; }
};

}  // namespace detail

// The heap keeps the memory of freed small blocks for itself, and the
// decoding arena its free chunks. Once the blocks given back to the heap
// come to trim_threshold bytes or more, or the arena holds more spare
// chunks than it keeps, a trim is due: trimHeap then hands the free pages
// of both back to the system. The control server trims after a quiet
// second, so a burst of large messages reuses the memory instead of
// faulting it in anew.
const size_t trim_threshold = 64 * 1024;
bool heapTrimDue();
void trimHeap();

}  // namespace ASN1

#endif
