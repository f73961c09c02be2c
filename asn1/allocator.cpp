#include "asn1/allocator.h"

#include <cstdint>

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

void* allocateBlock(size_t size) { return ::operator new(size); }
void releaseBlock(void* block, size_t) noexcept { ::operator delete(block); }

#else

namespace {

const size_t Granule = 16;
const size_t SizeClasses = 32;  // blocks of up to 512 bytes
const size_t ChunkSize = 64 * 1024;

struct FreeBlock {
    FreeBlock* next;
};

// Trivially destructible, so that blocks freed late in the process's exit
// still find their lists.
struct Pool {
    FreeBlock* freeLists[SizeClasses];
    char* chunk;
    size_t chunkLeft;
};

thread_local Pool pool;

size_t sizeClass(size_t size) { return size == 0 ? 0 : (size - 1) / Granule; }

}  // namespace

void* allocateBlock(size_t size) {
    size_t c = sizeClass(size);
    if (c >= SizeClasses) return ::operator new(size);
    if (FreeBlock* block = pool.freeLists[c]) {
        pool.freeLists[c] = block->next;
        return block;
    }
    size_t bytes = (c + 1) * Granule;
    if (pool.chunkLeft < bytes) {
        // The rest of the old chunk is left unused.
        pool.chunk = static_cast<char*>(::operator new(ChunkSize));
        pool.chunkLeft = ChunkSize;
    }
    void* block = pool.chunk;
    pool.chunk += bytes;
    pool.chunkLeft -= bytes;
    return block;
}

void releaseBlock(void* block, size_t size) noexcept {
    if (block == nullptr) return;
    size_t c = sizeClass(size);
    if (c >= SizeClasses) {
        ::operator delete(block);
        return;
    }
    FreeBlock* freed = static_cast<FreeBlock*>(block);
    freed->next = pool.freeLists[c];
    pool.freeLists[c] = freed;
}

#endif

}  // namespace detail
}  // namespace ASN1
