#ifndef KORVAND_PROTOCOL_LIST_ALLOCATOR_H
#define KORVAND_PROTOCOL_LIST_ALLOCATOR_H

#include <cstdint>
#include <new>

// The pool's lock type. The pool is used from the loop thread only.
struct Dummy_critical_section {
    void enter() {}
    void leave() {}
};

// A fixed pool of N cells for objects of type T, handed out and taken back
// in constant time without touching the heap.
//
// The allocator is meant to live in static storage and is all zero at
// start, so it needs no initialiser and sits in BSS: a cell's pages are not
// mapped until the cell is first handed out. The bookkeeping stays outside
// the cells: cells never handed out are taken in array order (`fresh`),
// returned cells go on an index stack and are reused first, so a daemon
// that only ever holds a few objects keeps only a few cells resident.
template <class T, unsigned N, class Lock = Dummy_critical_section>
class List_allocator {
    static_assert(N > 0 && N <= 65536, "cell indexes are 16-bit");

public:
    // A new object in a free cell, or null when every cell is in use.
    // T's constructor decides what is written: nothing else touches the cell.
    T* allocate() {
        Guard g(lock);
        unsigned index;
        if (top > 0)
            index = stack[--top];
        else if (fresh < N)
            index = fresh++;
        else
            return nullptr;
        ++used;
        return new (cells[index]) T;
    }

    // Ends the object's life and makes its cell free again.
    void deallocate(T* object) {
        Guard g(lock);
        object->~T();
        stack[top++] = static_cast<uint16_t>(index_of(object));
        --used;
    }

    unsigned free_count() const { return N - used; }
    static constexpr unsigned capacity() { return N; }

private:
    struct Guard {
        explicit Guard(Lock& l) : l(l) { l.enter(); }
        ~Guard() { l.leave(); }
        Lock& l;
    };

    unsigned index_of(const T* object) const {
        return unsigned((reinterpret_cast<const unsigned char*>(object) - cells[0]) / sizeof(T));
    }

    alignas(T) unsigned char cells[N][sizeof(T)];
    uint16_t stack[N];
    unsigned top;
    unsigned fresh;
    unsigned used;
    Lock lock;
};

#endif
