#ifndef KORVAND_PROTOCOL_CLEAN_QUEUE_H
#define KORVAND_PROTOCOL_CLEAN_QUEUE_H

#include <utility>

// A fixed ring of N handles (packets) that allocates nothing of its own.
// Storing copies a handle; taking out moves it and leaves the slot empty,
// so a block whose last handle leaves the ring goes back to its pool.
template <class T, unsigned N>
class CleanQueue {
    static_assert(N > 0, "a ring needs a slot");

public:
    CleanQueue() = default;
    CleanQueue(const CleanQueue&) = delete;
    CleanQueue& operator=(const CleanQueue&) = delete;
    // Releases every slot, from the last to the first.
    ~CleanQueue() {
        for (unsigned i = N; i-- > 0;) slots[i] = T();
    }

    // Adds the newest element; false when the ring is full.
    bool put(const T& p) {
        if (n == N) return false;
        slots[tail] = p;
        tail = inc_index(tail);
        ++n;
        return true;
    }

    // Adds an element before the oldest one, so the next get() returns it.
    bool append(const T& p) {
        if (n == N) return false;
        head = dec_index(head);
        slots[head] = p;
        ++n;
        return true;
    }

    // Takes the oldest element out.
    bool get(T& out) {
        if (n == 0) return false;
        out = std::move(slots[head]);
        slots[head] = T();
        head = inc_index(head);
        --n;
        return true;
    }
    bool get(T* out) { return out ? get(*out) : get_and_drop(); }

    // Takes the newest element out.
    bool get_last(T* out) {
        if (n == 0) return false;
        tail = dec_index(tail);
        if (out) *out = std::move(slots[tail]);
        slots[tail] = T();
        --n;
        return true;
    }

    // A copy of the oldest element, left in place. With a null pointer: a
    // test for a non-empty ring.
    bool preview(T* out) const {
        if (n == 0) return false;
        if (out) *out = slots[head];
        return true;
    }

    unsigned count() const { return n; }
    unsigned size() const { return N; }
    bool empty() const { return n == 0; }

    // Empties the ring and releases what it held.
    void clear() {
        for (T& slot : slots) slot = T();
        head = tail = n = 0;
    }

    static unsigned inc_index(unsigned i) { return i + 1 == N ? 0 : i + 1; }
    static unsigned dec_index(unsigned i) { return i == 0 ? N - 1 : i - 1; }

private:
    bool get_and_drop() {
        T dropped;
        return get(dropped);
    }

    T slots[N];
    unsigned head = 0;
    unsigned tail = 0;
    unsigned n = 0;
};

#endif
