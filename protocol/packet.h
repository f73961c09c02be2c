#ifndef KORVAND_PROTOCOL_PACKET_H
#define KORVAND_PROTOCOL_PACKET_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/smart_pointer.h"

const unsigned packet_max_size = 65536;
const unsigned packet_pool_blocks = 1024;

// One block of the packet pool. The content is the run [data, tail) inside
// the buffer; the octets before it are the head room, those after it the
// tail room.
class _Packet {
public:
    // The buffer is left as it is: blocks are never cleared, so a block's
    // pages stay unmapped until content is written into them.
    _Packet() : data(buffer + packet_max_size), tail(data) {}
    _Packet(const _Packet&) = delete;
    _Packet& operator=(const _Packet&) = delete;

    unsigned _headroom() const { return unsigned(data - buffer); }
    unsigned _tailroom() const { return unsigned(buffer + packet_max_size - tail); }
    unsigned _length() const { return unsigned(tail - data); }
    // buffer start <= data <= tail <= buffer end
    bool valid() const;
    // Same head room and length as `src`, its content copied; nothing else.
    void copy_from(const _Packet& src);

    void smart_ref() { ++count; }
    // Returns the block to the pool when the last reference goes.
    void smart_unref();

    uint32_t count = 0;
    uint8_t* data;
    uint8_t* tail;
    uint8_t buffer[packet_max_size];
};

// A reference-counted handle on a pooled block. Handles share a block until
// one of them writes to it: the writer first takes a private copy.
//
// Blocks come from a fixed pool. The operations that need a new block
// report an empty pool as a result: reserve_head() and reserve_tail() on a
// null handle and prepare_for_modify() return false, sub() returns a null
// packet. A writer that may hold a shared block calls prepare_for_modify()
// first; the modifying access itself throws std::bad_alloc when it has to
// copy and cannot.
class Packet : public Smart_pointer<_Packet> {
public:
    Packet() = default;
    explicit Packet(_Packet* block) : Smart_pointer(block) {}
    Packet& operator=(_Packet* block) {
        assign(block);
        return *this;
    }

    // Modifying access: makes a shared block private first.
    _Packet* operator->();
    const _Packet* operator->() const { return Smart_pointer::operator->(); }
    // Gives this handle a private block. False, and nothing changed, when
    // the block is shared and the pool is empty.
    bool prepare_for_modify();
    // Gives this handle a private block with at least `n` octets of head
    // room, moving the content into a fresh block when its own has less
    // (a null handle gets an empty one). False, and nothing changed, when
    // the pool is empty.
    bool make_head_room(unsigned n);

    unsigned length() const { return ptr ? ptr->_length() : 0; }
    unsigned head_room() const { return ptr ? ptr->_headroom() : 0; }
    unsigned tail_room() const { return ptr ? ptr->_tailroom() : 0; }
    // The first content octet; null for a null handle. Valid until the
    // packet changes.
    const uint8_t* data() const { return ptr ? ptr->data : nullptr; }

    // Null handle: takes a block with `n` octets of head room (the rest is
    // tail room). Otherwise moves the window `n` octets towards the end.
    // False when the pool is empty.
    bool reserve_head(unsigned n);
    // The same from the end: a new block gets `n` octets of tail room.
    bool reserve_tail(unsigned n);

    void put(uint8_t octet);
    void push(uint8_t octet);
    // The first octet, removed; 0 from an empty packet.
    uint8_t pull();
    void put16(uint16_t v);
    void put16_b(uint16_t v);
    void push16_b(uint16_t v);
    uint16_t pull16_l();
    uint16_t pull16_b();
    uint8_t operator[](unsigned index) const;

    void put(const Packet& other);
    // A length octet, then the characters; longer strings are cut to 255.
    void put(const std::string& s);
    std::string pull_string();

    // Appends `n` octets.
    void put(const void* src, unsigned n);
    // Where a reader may write up to tail_room() octets, then put_tail(n).
    uint8_t* tail_space();
    void put_tail(unsigned n);
    // Removes `n` octets from the front.
    void drop_head(unsigned n);
    // Cuts `n` octets from the end.
    void drop_tail(unsigned n);

    // A private copy of `len` octets from offset `start`, at the same place
    // in its block; null when the pool is empty.
    Packet sub(unsigned len, unsigned start) const;

    std::string text() const;
    bool dump(std::ostream& os) const;
    bool dump_context(std::ostream& os) const;
    void check(const char* label) const;
    void passert(bool condition, const std::string& text) const;
    // The same for a fixed text: nothing is built while the condition holds,
    // which it does on every octet moved.
    void passert(bool condition, const char* text) const {
        if (!condition) fail(text);
    }

    static unsigned free_blocks();

private:
    [[noreturn]] void fail(const char* text) const;
    static _Packet* allocate();
    // An empty new block whose content starts `head` octets in.
    bool take_block(unsigned head);
};

// A snapshot of a packet for fault reports.
struct PacketInfo {
    explicit PacketInfo(const Packet& p);
    void put(std::ostream& os) const;

    bool null = true;
    bool valid = true;
    unsigned head = 0;
    unsigned length = 0;
    unsigned tail = 0;
    std::vector<uint8_t> content;
};

#endif
