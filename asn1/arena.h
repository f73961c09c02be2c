#ifndef KORVAND_ASN1_ARENA_H
#define KORVAND_ASN1_ARENA_H

// The decoding arena. A decoder makes a message's values one after the
// other, and the message's owner drops them together. So once a decoder
// runs beyond the value reserves (allocator.h), the thread's blocks are cut
// in turn from chunks of ChunkBytes, as are the decoder's blocks too large
// for the reserves. A chunk counts its blocks; when the last one goes, the
// whole chunk is free at once: the thread's current chunk starts again
// from its beginning, any other becomes a spare for the next large
// message. A trim gives the pages of the spares beyond KeptSpares back to
// the system. A large message thus costs a pointer bump per value and a
// count per chunk, keeps its values together in memory, and leaves nothing
// behind once it is gone and the heap is trimmed.
//
// The chunks lie in one region of address space, reserved at the first
// chunk and committed chunk by chunk, so that a block is known as an arena
// block by its address alone and finds its chunk's header by masking it.
// When the region has no chunk left (a hostile message of millions of
// values), decoding goes on with the heap.
//
// A block given back on another thread than its chunk's owner is only
// counted there, atomically; the owner finds the chunk free at its next
// trim. A chunk whose owner ended with blocks in it stays out of use.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace ASN1 {
namespace detail {

struct ArenaChunk {
    ArenaChunk* prev;  // the owner's closed chunks (doubly linked), or its
    ArenaChunk* next;  // spares (next only)
    uint32_t owner;    // the id of the owning thread's arena
    uint32_t live;     // blocks handed out less those the owner gave back
    std::atomic<uint32_t> foreign;  // blocks given back by other threads
};

// One thread's arena: all zero until its first chunk.
struct Arena {
    static constexpr size_t ChunkBytes = 64 * 1024;
    // The header's place at the start of each chunk; blocks follow it.
    static constexpr size_t HeaderBytes = 64;
    // Blocks are multiples of a pointer: every value and every vector of
    // the pool holds pointers or bytes.
    static constexpr size_t Alignment = sizeof(void*);
    // Larger blocks come from the heap.
    static constexpr size_t LargestBlock = 4096;
    // 1,024 chunks: some ten times the largest message of the system.
    static constexpr size_t RegionBytes = 64 * 1024 * 1024;
    // Spares that a trim leaves for the next message beyond one chunk.
    static constexpr size_t KeptSpares = 1;

    unsigned scopes;        // open ArenaScopes (allocator.h)
    uint32_t id;            // given at the first chunk
    char* next;             // the current chunk's free part
    char* end;
    ArenaChunk* current;
    ArenaChunk* closed;     // chunks left with blocks alive
    ArenaChunk* spares;     // free chunks
    size_t spareCount;
};

static_assert(sizeof(ArenaChunk) <= Arena::HeaderBytes, "the chunk header outgrew its place");
static_assert(Arena::LargestBlock <= Arena::ChunkBytes - Arena::HeaderBytes,
              "the largest block must fit a chunk");

// The region's start. Until the region exists it names the top of the
// address space, where no block can lie: a block is an arena block after
// one subtraction and one comparison, without a test for the region.
inline std::atomic<uintptr_t> arenaRegion{uintptr_t(0) - Arena::RegionBytes};

inline bool inArena(const void* block) {
    return reinterpret_cast<uintptr_t>(block) - arenaRegion.load(std::memory_order_relaxed) <
           Arena::RegionBytes;
}

inline ArenaChunk* chunkOf(const void* block) {
    return reinterpret_cast<ArenaChunk*>(reinterpret_cast<uintptr_t>(block) &
                                         ~uintptr_t(Arena::ChunkBytes - 1));
}

// A block of a new chunk, for a current chunk that is full or missing;
// null when the block is too large or the region has no chunk left.
void* newArenaBlock(Arena& arena, size_t size);
// The owner gave back the chunk's last block.
void chunkEmptied(Arena& arena, ArenaChunk* chunk) noexcept;
// Another thread gave back one of the chunk's blocks.
void releaseForeign(ArenaChunk* chunk) noexcept;

// A block of at most LargestBlock; the common case inline: it fits the
// current chunk.
inline void* arenaBlock(Arena& arena, size_t size) {
    size_t bytes = (size + Arena::Alignment - 1) & ~(Arena::Alignment - 1);
    // A size of 0, and a missing chunk (no room), take the slow path.
    if (bytes - 1 < size_t(arena.end - arena.next)) {
        void* block = arena.next;
        arena.next += bytes;
        ++arena.current->live;
        return block;
    }
    return newArenaBlock(arena, size);
}

inline void releaseArenaBlock(Arena& arena, void* block) noexcept {
    ArenaChunk* chunk = chunkOf(block);
    if (chunk->owner != arena.id) return releaseForeign(chunk);
    if (--chunk->live == chunk->foreign.load(std::memory_order_acquire)) chunkEmptied(arena, chunk);
}

// Frees the chunks that other threads emptied, and gives the pages of the
// spares beyond KeptSpares back to the system.
void trimArena(Arena& arena);
// Whether a trim has spares to give back.
inline bool arenaTrimDue(const Arena& arena) { return arena.spareCount > Arena::KeptSpares; }

// The most chunks the region hands out; lowered by tests to see decoding
// go on without the arena. Read under the region's lock.
extern size_t arenaChunkLimit;

}  // namespace detail
}  // namespace ASN1

#endif
