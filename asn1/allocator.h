#ifndef KORVAND_ASN1_ALLOCATOR_H
#define KORVAND_ASN1_ALLOCATOR_H

// Small blocks for values and their component vectors. A decoded message is
// dozens of small values, each allocated on its own and freed when the
// message goes; the system allocator's caches hold a few blocks per size,
// so these blocks are kept on free lists of their own, one per 16-byte size
// class and thread, and reused. The lists never give memory back: they stay
// as large as the most the thread ever held. Under the address sanitizer
// every block goes to the system heap, so that misuse stays visible.
//
// Taking a block from its list and giving it back are inline: the size is
// a constant where a class allocates itself, so the common path is a few
// instructions without a call.

#include <cstddef>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define KORVAND_ASN1_SYSTEM_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVAND_ASN1_SYSTEM_HEAP 1
#endif
#endif

namespace ASN1 {
namespace detail {

#ifdef KORVAND_ASN1_SYSTEM_HEAP

inline void* allocateBlock(size_t size) { return ::operator new(size); }
inline void releaseBlock(void* block, size_t) noexcept { ::operator delete(block); }

#else

struct FreeBlock {
    FreeBlock* next;
};

struct BlockPool {
    static const size_t Granule = 16;
    static const size_t SizeClasses = 32;  // blocks of up to 512 bytes

    FreeBlock* freeLists[SizeClasses];
    char* chunk;
    size_t chunkLeft;

    // Sizes 0 to 16 are class 0, 17 to 32 class 1, ...
    static size_t sizeClass(size_t size) { return size == 0 ? 0 : (size - 1) / Granule; }
};

// Constant-initialised and trivially destructible: no initialisation guard
// on access, and blocks freed late in the process's exit still find their
// lists.
inline thread_local BlockPool blockPool = {};

// A new block of the class, cut from the thread's current chunk.
void* carveBlock(size_t sizeClass);

inline void* allocateBlock(size_t size) {
    size_t c = BlockPool::sizeClass(size);
    if (c >= BlockPool::SizeClasses) return ::operator new(size);
    BlockPool& pool = blockPool;
    if (FreeBlock* block = pool.freeLists[c]) {
        pool.freeLists[c] = block->next;
        return block;
    }
    return carveBlock(c);
}

inline void releaseBlock(void* block, size_t size) noexcept {
    if (block == nullptr) return;
    size_t c = BlockPool::sizeClass(size);
    if (c >= BlockPool::SizeClasses) {
        ::operator delete(block);
        return;
    }
    BlockPool& pool = blockPool;
    FreeBlock* freed = static_cast<FreeBlock*>(block);
    freed->next = pool.freeLists[c];
    pool.freeLists[c] = freed;
}

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
}  // namespace ASN1

#endif
