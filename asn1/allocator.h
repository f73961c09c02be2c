#ifndef KORVAND_ASN1_ALLOCATOR_H
#define KORVAND_ASN1_ALLOCATOR_H

// Small blocks for values and their component vectors. A decoded message is
// dozens of small values, each allocated on its own and freed when the
// message goes; the system allocator's caches hold a few blocks per size,
// so these blocks are kept on free lists of their own, one per 16-byte size
// class and thread, and reused. The lists never give memory back: they stay
// as large as the most the thread ever held. Under the address sanitizer
// every block goes to the system heap, so that misuse stays visible.

#include <cstddef>
#include <new>

namespace ASN1 {
namespace detail {

void* allocateBlock(size_t size);
void releaseBlock(void* block, size_t size) noexcept;

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
