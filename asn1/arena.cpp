#include "asn1/arena.h"

#include "asn1/allocator.h"

#ifndef KORVAND_ASN1_SYSTEM_HEAP

#include <sys/mman.h>

#include <mutex>
#include <new>

namespace ASN1 {
namespace detail {

namespace {

const size_t RegionChunks = Arena::RegionBytes / Arena::ChunkBytes;
static_assert(RegionChunks * sizeof(uint32_t) <= Arena::ChunkBytes,
              "chunk 0 must hold the index of every other chunk");

// The region of every thread's chunks. A chunk is committed when it is
// first handed out; the chunks whose pages a trim gave back wait, by their
// index, on a stack in chunk 0 for the next thread that needs one.
class Region {
public:
    // Never destroyed: blocks freed late in the process's exit still find
    // their chunks.
    static Region& instance() {
        static Region* const region = new Region;
        return *region;
    }

    // A chunk with a fresh header; null when none is left.
    ArenaChunk* take() {
        std::lock_guard<std::mutex> hold(lock);
        if (base == nullptr || out >= arenaChunkLimit) return nullptr;
        char* chunk;
        if (returnedCount != 0) {
            chunk = base + size_t(returned[--returnedCount]) * Arena::ChunkBytes;
        } else {
            if (committed == RegionChunks) return nullptr;
            chunk = base + committed * Arena::ChunkBytes;
            if (::mprotect(chunk, Arena::ChunkBytes, PROT_READ | PROT_WRITE) != 0) return nullptr;
            ++committed;
        }
        ++out;
        return new (chunk) ArenaChunk{};
    }

    // Gives the chunk's pages back to the system and keeps its index.
    void giveBack(ArenaChunk* chunk) {
        char* at = reinterpret_cast<char*>(chunk);
        ::madvise(at, Arena::ChunkBytes, MADV_DONTNEED);
        std::lock_guard<std::mutex> hold(lock);
        returned[returnedCount++] = uint32_t((at - base) / Arena::ChunkBytes);
        --out;
    }

private:
    // Reserves the region's address space, aligned to a chunk, without
    // memory behind it; without it the arena stays empty.
    Region() {
        const size_t bytes = Arena::RegionBytes + Arena::ChunkBytes;
        void* mapped = ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (mapped == MAP_FAILED) return;
        char* start = static_cast<char*>(mapped);
        char* aligned = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(start) + Arena::ChunkBytes - 1) &
                                                ~uintptr_t(Arena::ChunkBytes - 1));
        if (aligned != start) ::munmap(start, size_t(aligned - start));
        size_t tail = Arena::ChunkBytes - size_t(aligned - start);
        if (tail != 0) ::munmap(aligned + Arena::RegionBytes, tail);
        if (::mprotect(aligned, Arena::ChunkBytes, PROT_READ | PROT_WRITE) != 0) return;
        base = aligned;
        returned = reinterpret_cast<uint32_t*>(base);
        committed = 1;
        arenaRegion.store(reinterpret_cast<uintptr_t>(base), std::memory_order_release);
    }

    std::mutex lock;
    char* base = nullptr;
    size_t committed = 0;  // chunk 0 included
    size_t out = 0;        // chunks in threads' hands
    uint32_t* returned = nullptr;
    size_t returnedCount = 0;
};

bool isEmpty(const ArenaChunk* chunk) {
    return chunk->live == chunk->foreign.load(std::memory_order_acquire);
}

// At its thread's end, the arena gives the region its free chunks. Chunks
// that still hold blocks stay with the arena: a block given back later
// must find its chunk as it left it.
struct ArenaExit {
    ~ArenaExit() {
        Arena& arena = blockPool.arena;
        trimArena(arena);
        while (arena.spares != nullptr) {
            ArenaChunk* chunk = arena.spares;
            arena.spares = chunk->next;
            --arena.spareCount;
            Region::instance().giveBack(chunk);
        }
        if (arena.current != nullptr && isEmpty(arena.current)) {
            Region::instance().giveBack(arena.current);
            arena.current = nullptr;
            arena.next = arena.end = nullptr;
        }
    }
    bool armed = false;
};

thread_local ArenaExit arenaExit;

uint32_t newArenaId() {
    static std::atomic<uint32_t> last{0};
    return ++last;
}

ArenaChunk* takeChunk(Arena& arena) {
    if (ArenaChunk* spare = arena.spares) {
        arena.spares = spare->next;
        --arena.spareCount;
        spare->next = nullptr;
        return spare;
    }
    ArenaChunk* chunk = Region::instance().take();
    if (chunk == nullptr) return nullptr;
    if (arena.id == 0) {
        arena.id = newArenaId();
        // A thread-local object is made, and its destructor registered for
        // the thread's end, only where the thread first uses it.
        arenaExit.armed = true;
    }
    chunk->owner = arena.id;
    return chunk;
}

void start(Arena& arena, ArenaChunk* chunk) {
    arena.current = chunk;
    arena.next = reinterpret_cast<char*>(chunk) + Arena::HeaderBytes;
    arena.end = reinterpret_cast<char*>(chunk) + Arena::ChunkBytes;
}

// The current chunk, full, joins the chunks left with blocks alive.
void close(Arena& arena) {
    ArenaChunk* chunk = arena.current;
    chunk->prev = nullptr;
    chunk->next = arena.closed;
    if (arena.closed != nullptr) arena.closed->prev = chunk;
    arena.closed = chunk;
    arena.current = nullptr;
    arena.next = arena.end = nullptr;
}

}  // namespace

size_t arenaChunkLimit = RegionChunks;

void* newArenaBlock(Arena& arena, size_t size) {
    if (size > Arena::LargestBlock) return nullptr;
    size_t bytes = size == 0 ? Arena::Alignment : (size + Arena::Alignment - 1) & ~(Arena::Alignment - 1);
    if (bytes > size_t(arena.end - arena.next)) {
        if (arena.current != nullptr && isEmpty(arena.current)) {
            // Emptied by other threads: it starts again.
            chunkEmptied(arena, arena.current);
        } else {
            if (arena.current != nullptr) close(arena);
            ArenaChunk* chunk = takeChunk(arena);
            if (chunk == nullptr) return nullptr;
            start(arena, chunk);
        }
    }
    void* block = arena.next;
    arena.next += bytes;
    ++arena.current->live;
    return block;
}

void chunkEmptied(Arena& arena, ArenaChunk* chunk) noexcept {
    chunk->live = 0;
    chunk->foreign.store(0, std::memory_order_relaxed);
    if (chunk == arena.current) {
        arena.next = reinterpret_cast<char*>(chunk) + Arena::HeaderBytes;
        return;
    }
    if (chunk->prev != nullptr)
        chunk->prev->next = chunk->next;
    else
        arena.closed = chunk->next;
    if (chunk->next != nullptr) chunk->next->prev = chunk->prev;
    chunk->prev = nullptr;
    chunk->next = arena.spares;
    arena.spares = chunk;
    ++arena.spareCount;
}

void releaseForeign(ArenaChunk* chunk) noexcept {
    chunk->foreign.fetch_add(1, std::memory_order_release);
}

void trimArena(Arena& arena) {
    for (ArenaChunk* chunk = arena.closed; chunk != nullptr;) {
        ArenaChunk* next = chunk->next;
        if (isEmpty(chunk)) chunkEmptied(arena, chunk);
        chunk = next;
    }
    while (arena.spareCount > Arena::KeptSpares) {
        ArenaChunk* chunk = arena.spares;
        arena.spares = chunk->next;
        --arena.spareCount;
        Region::instance().giveBack(chunk);
    }
}

}  // namespace detail
}  // namespace ASN1

#endif
