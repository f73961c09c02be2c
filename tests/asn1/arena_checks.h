#ifndef KORVAND_TESTS_ASN1_ARENA_CHECKS_H
#define KORVAND_TESTS_ASN1_ARENA_CHECKS_H

// What the decoding arena's tests look at and change.

#include <cstddef>

#include "asn1/allocator.h"

namespace ArenaChecks {

// No block of this thread's arena is alive.
inline bool arenaEmpty() {
    const ASN1::detail::Arena& arena = ASN1::detail::blockPool.arena;
    return arena.closed == nullptr &&
           (arena.current == nullptr || arena.current->live == arena.current->foreign.load());
}

// While it exists, the region hands out no chunk.
struct NoNewChunks {
    NoNewChunks() { ASN1::detail::arenaChunkLimit = 0; }
    ~NoNewChunks() { ASN1::detail::arenaChunkLimit = saved; }
    NoNewChunks(const NoNewChunks&) = delete;
    NoNewChunks& operator=(const NoNewChunks&) = delete;

    const size_t saved = ASN1::detail::arenaChunkLimit;
};

}  // namespace ArenaChecks

#endif
