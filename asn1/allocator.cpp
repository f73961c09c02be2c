#include "asn1/allocator.h"

namespace ASN1 {
namespace detail {

#ifndef KORVAND_ASN1_SYSTEM_HEAP

namespace {
const size_t ChunkSize = 64 * 1024;
}  // namespace

void* carveBlock(size_t sizeClass) {
    BlockPool& pool = blockPool;
    size_t bytes = (sizeClass + 1) * BlockPool::Granule;
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

#endif

}  // namespace detail
}  // namespace ASN1
