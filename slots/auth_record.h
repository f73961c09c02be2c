#ifndef KORVAND_SLOTS_AUTH_RECORD_H
#define KORVAND_SLOTS_AUTH_RECORD_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "asn1/gen/term.h"

// The records of the dial-in authentication link between the daemon and
// the outside authentication program (portslave), in both directions. A
// record starts with three 32-bit words in network byte order: its total
// length in bytes (header included, 4 to 512), its type and its key, the
// number of the DSP modem it concerns.
//
// A read-only view of one record's bytes. Words and fields beyond the
// bytes held read as zero, so a short record is never read past its end.
class attr {
public:
    static constexpr size_t kHeader = 12;
    static constexpr uint32_t kMinLength = 4;
    static constexpr uint32_t kMaxLength = 512;

    enum Type : uint32_t { voauth = 1, accept = 2, address = 3, voacct = 4 };
    // The lengths each type has.
    static constexpr uint32_t kAuthLength = 140;
    static constexpr uint32_t kAcceptLength = 16;
    static constexpr uint32_t kAddressLength = 36;
    static constexpr uint32_t kAcctLength = 64;

    attr(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit attr(const std::vector<uint8_t>& bytes) : attr(bytes.data(), bytes.size()) {}

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    // The header is there: type and key can be read.
    bool hasHeader() const { return size_ >= kHeader; }

    uint32_t length() const { return word(0); }
    uint32_t type() const { return word(4); }
    uint32_t key() const { return word(8); }

    uint32_t word(size_t offset) const;
    // A 64-bit counter, high word first.
    uint64_t counter(size_t offset) const;
    // The text of a field of `field` bytes: up to its first NUL or its end.
    std::string text(size_t offset, size_t field) const;

private:
    const uint8_t* data_;
    size_t size_;
};

// The records the daemon sends, each as its bytes.
namespace AuthRecords {

// Accept (16 bytes): the header and one word, 1.
std::vector<uint8_t> Accept(int32_t key);
// Address (36 bytes): the header, one word 0, then the remote address,
// netmask, gateway and DNS server as 4 bytes each in network order, and
// the MTU.
std::vector<uint8_t> Address(int32_t key, const uint32_t (&networkOrder)[4], uint32_t mtu);

}  // namespace AuthRecords

// Cuts a byte stream into records. The reader reads into space() at most
// room() bytes (the rest of the length word, then the rest of the record,
// never into the next record) and reports them with advance().
class AuthReader {
public:
    enum Step {
        kMore,       // read on
        kRecord,     // record() holds a whole record
        kBadLength,  // the length word is below 4 or above 512
    };

    uint8_t* space() { return buf + cur; }
    size_t room() const { return end - cur; }
    Step advance(size_t n);
    // The record the last kRecord completed, until the next read.
    attr record() const { return attr(buf, last); }

private:
    uint8_t buf[attr::kMaxLength];
    size_t cur = 0;
    size_t end = attr::kMinLength;
    size_t last = 0;
};

// What a record from the authentication program asks of its modem slot:
// a `modemProceeding` signal for the controller, or only a line.
struct AuthRequest {
    bool signal = false;
    TERM::ModemProceeding proceeding;
    std::string note;
};

AuthRequest ReadAuthRequest(const attr& record);

#endif
