#include "protocol/packet.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>

#include "protocol/list_allocator.h"

namespace {

// 64 MiB of zero-initialised static storage: no page of a block is touched
// before the block is first handed out.
List_allocator<_Packet, packet_pool_blocks, Dummy_critical_section> pool;

[[noreturn]] void check_fail(const char* format, const char* label) {
    char line[256];
    std::snprintf(line, sizeof line, format, label);
    std::clog << "packet check fail" << std::endl << line << std::endl << "terminate." << std::endl;
    std::terminate();
}

void put_hex_octets(std::ostream& os, const uint8_t* begin, const uint8_t* end) {
    std::ios::fmtflags flags = os.flags();
    os << std::hex;
    for (const uint8_t* p = begin; p != end; ++p) os << ' ' << unsigned(*p);
    os.flags(flags);
}

void put_rooms(std::ostream& os, unsigned head, unsigned length, unsigned tail) {
    os << "head=" << head << ", data=" << length << ", tail=" << tail;
}

}  // namespace

// ---- _Packet ------------------------------------------------------------------

bool _Packet::valid() const {
    auto b = reinterpret_cast<uintptr_t>(buffer);
    auto e = b + packet_max_size;
    auto d = reinterpret_cast<uintptr_t>(data);
    auto t = reinterpret_cast<uintptr_t>(tail);
    return b <= d && d <= e && b <= t && t <= e && d <= t;
}

void _Packet::copy_from(const _Packet& src) {
    data = buffer + src._headroom();
    tail = data + src._length();
    std::memcpy(data, src.data, src._length());
}

void _Packet::smart_unref() {
    if (count > 0) --count;
    if (count == 0) pool.deallocate(this);
}

// ---- pool and access ----------------------------------------------------------------

_Packet* Packet::allocate() { return pool.allocate(); }

unsigned Packet::free_blocks() { return pool.free_count(); }

bool Packet::prepare_for_modify() {
    if (!ptr || ptr->count <= 1) return true;
    _Packet* copy = allocate();
    if (!copy) return false;
    copy->copy_from(*ptr);
    assign(copy);
    return true;
}

bool Packet::make_head_room(unsigned n) {
    if (ptr && ptr->_headroom() >= n) return prepare_for_modify();
    Packet fresh;
    if (!fresh.reserve_head(n)) return false;
    if (ptr) fresh.put(data(), length());
    *this = fresh;
    return true;
}

_Packet* Packet::operator->() {
    if (!ptr) SmartPointerAssertion();
    if (!prepare_for_modify()) throw std::bad_alloc();
    return ptr;
}

bool Packet::take_block(unsigned head) {
    _Packet* b = allocate();
    if (!b) return false;
    b->data = b->tail = b->buffer + head;
    assign(b);
    return true;
}

bool Packet::reserve_head(unsigned n) {
    if (n > packet_max_size) passert(false, "length>packet_max_size");
    if (!ptr) return take_block(n);
    if (!prepare_for_modify()) return false;
    // The whole window must stay inside the buffer, content included.
    passert(ptr->_headroom() + ptr->_length() + n <= packet_max_size, "new_len>packet_max_size");
    ptr->data += n;
    ptr->tail += n;
    return true;
}

bool Packet::reserve_tail(unsigned n) {
    if (n > packet_max_size) passert(false, "len>packet_max_size");
    if (!ptr) return take_block(packet_max_size - n);
    if (!prepare_for_modify()) return false;
    passert(ptr->_tailroom() + ptr->_length() + n <= packet_max_size,
            "_tailroom()+len <= packet_max_size");
    ptr->data -= n;
    ptr->tail -= n;
    return true;
}

// ---- octets and byte order ------------------------------------------------------

void Packet::put(uint8_t octet) {
    passert(ptr != nullptr, "null packet");
    _Packet* b = operator->();
    passert(1 <= b->_tailroom(), "len<=_tailroom()");
    *b->tail++ = octet;
    check("put");
}

void Packet::push(uint8_t octet) {
    passert(ptr != nullptr, "null packet");
    _Packet* b = operator->();
    passert(1 <= b->_headroom(), "len<=_headroom()");
    --b->data;
    check("push");
    *b->data = octet;
}

uint8_t Packet::pull() {
    passert(ptr != nullptr, "null packet");
    if (ptr->_length() == 0) return 0;
    return *operator->()->data++;
}

void Packet::put16(uint16_t v) {
    put(uint8_t(v));
    put(uint8_t(v >> 8));
}

void Packet::put16_b(uint16_t v) {
    put(uint8_t(v >> 8));
    put(uint8_t(v));
}

void Packet::push16_b(uint16_t v) {
    push(uint8_t(v));
    push(uint8_t(v >> 8));
}

uint16_t Packet::pull16_l() {
    unsigned low = pull();
    return uint16_t(low | unsigned(pull()) << 8);
}

uint16_t Packet::pull16_b() {
    unsigned high = pull();
    return uint16_t(high << 8 | pull());
}

uint8_t Packet::operator[](unsigned index) const {
    passert(index < length(), "index out of range");
    return ptr->data[index];
}

// ---- runs of octets ---------------------------------------------------------------

void Packet::put(const void* src, unsigned n) {
    passert(ptr != nullptr, "null packet");
    _Packet* b = operator->();
    passert(n <= b->_tailroom(), "len<=_tailroom()");
    if (n) std::memcpy(b->tail, src, n);
    b->tail += n;
    check("put");
}

void Packet::put(const Packet& other) {
    passert(other.ptr != nullptr, "null packet");
    operator->();  // private first: `other` may be this very handle
    put(other.data(), other.length());
}

void Packet::put(const std::string& s) {
    unsigned n = s.size() > 255 ? 255 : unsigned(s.size());
    put(uint8_t(n));
    put(s.data(), n);
}

std::string Packet::pull_string() {
    unsigned n = pull();
    std::string s(n, '\0');
    for (unsigned i = 0; i < n; ++i) s[i] = char(pull());
    return s;
}

uint8_t* Packet::tail_space() {
    passert(ptr != nullptr, "null packet");
    return operator->()->tail;
}

void Packet::put_tail(unsigned n) {
    passert(ptr != nullptr, "null packet");
    _Packet* b = operator->();
    passert(n <= b->_tailroom(), "len<=_tailroom()");
    b->tail += n;
    check("put");
}

void Packet::drop_head(unsigned n) {
    passert(ptr != nullptr, "null packet");
    passert(n <= ptr->_length(), "len<=_length()");
    if (n) operator->()->data += n;
}

void Packet::drop_tail(unsigned n) {
    passert(ptr != nullptr, "null packet");
    passert(n <= ptr->_length(), "len<=_length()");
    if (n) operator->()->tail -= n;
}

Packet Packet::sub(unsigned len, unsigned start) const {
    passert(ptr != nullptr, "null packet");
    passert(start <= ptr->_length(), "start<=_length()");
    passert(len <= ptr->_length() - start, "start+len<=_length()");
    Packet copy(allocate());
    if (copy.is_null()) return copy;
    _Packet* b = copy.ptr;
    b->data = b->buffer + ptr->_headroom() + start;
    b->tail = b->data + len;
    std::memcpy(b->data, ptr->data + start, len);
    return copy;
}

// ---- text and faults ----------------------------------------------------------------

std::string Packet::text() const {
    if (!ptr) return "(null)";
    if (!ptr->valid()) return "(bad)";
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(ptr->_length() * 3);
    for (const uint8_t* p = ptr->data; p != ptr->tail; ++p) {
        if (p != ptr->data) s += ' ';
        s += digits[*p >> 4];
        s += digits[*p & 15];
    }
    return s;
}

bool Packet::dump(std::ostream& os) const {
    if (!ptr) return false;
    put_rooms(os, ptr->_headroom(), ptr->_length(), ptr->_tailroom());
    return true;
}

bool Packet::dump_context(std::ostream& os) const {
    if (!ptr || !ptr->valid()) return false;
    if (ptr->_length() == 0) return true;
    os << "dump:";
    put_hex_octets(os, ptr->data, ptr->tail);
    return true;
}

void Packet::check(const char* label) const {
    if (!ptr) check_fail("after \"%s\" packet is null", label);
    auto b = reinterpret_cast<uintptr_t>(ptr->buffer);
    auto e = b + packet_max_size;
    auto d = reinterpret_cast<uintptr_t>(ptr->data);
    auto t = reinterpret_cast<uintptr_t>(ptr->tail);
    if (d < b || d > e) check_fail("after \"%s\" fdata invalid", label);
    if (t < b || t > e) check_fail("after \"%s\" ftail invalid", label);
    if (d > t) check_fail("after \"%s\" fdata>ftail", label);
}

void Packet::passert(bool condition, const std::string& text) const {
    if (!condition) fail(text.c_str());
}

void Packet::fail(const char* text) const {
    std::clog << "PACKET ASSERTION FAILED!" << std::endl << text << std::endl;
    PacketInfo(*this).put(std::clog);
    std::clog << std::endl;
    std::terminate();
}

PacketInfo::PacketInfo(const Packet& p) : null(p.is_null()) {
    if (null) return;
    const _Packet* b = p.get();
    valid = b->valid();
    head = unsigned(b->data - b->buffer);
    length = unsigned(b->tail - b->data);
    tail = unsigned(b->buffer + packet_max_size - b->tail);
    if (valid) content.assign(b->data, b->tail);
}

void PacketInfo::put(std::ostream& os) const {
    if (null) {
        os << "(null)";
        return;
    }
    put_rooms(os, head, length, tail);
    os << std::endl;
    if (!valid) {
        os << "can't dump packet: wrong pointers";
        return;
    }
    if (content.empty()) return;
    os << "dump:" << std::endl;
    put_hex_octets(os, content.data(), content.data() + content.size());
    os << std::endl;
}
