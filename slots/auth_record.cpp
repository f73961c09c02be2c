#include "slots/auth_record.h"

#include <algorithm>
#include <sstream>

// ---- attr ---------------------------------------------------------------------------

uint32_t attr::word(size_t offset) const {
    if (offset > size_ || size_ - offset < 4) return 0;
    const uint8_t* p = data_ + offset;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint64_t attr::counter(size_t offset) const {
    return uint64_t(word(offset)) << 32 | word(offset + 4);
}

std::string attr::text(size_t offset, size_t field) const {
    if (offset >= size_) return std::string();
    size_t n = 0;
    size_t limit = std::min(field, size_ - offset);
    while (n < limit && data_[offset + n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(data_ + offset), n);
}

// ---- records sent -------------------------------------------------------------------

namespace {

void PutWord(std::vector<uint8_t>& out, uint32_t w) {
    out.push_back(uint8_t(w >> 24));
    out.push_back(uint8_t(w >> 16));
    out.push_back(uint8_t(w >> 8));
    out.push_back(uint8_t(w));
}

std::vector<uint8_t> Header(uint32_t length, uint32_t type, int32_t key) {
    std::vector<uint8_t> out;
    out.reserve(length);
    PutWord(out, length);
    PutWord(out, type);
    PutWord(out, uint32_t(key));
    return out;
}

}  // namespace

namespace AuthRecords {

std::vector<uint8_t> Accept(int32_t key) {
    std::vector<uint8_t> out = Header(attr::kAcceptLength, attr::accept, key);
    PutWord(out, 1);
    return out;
}

std::vector<uint8_t> Address(int32_t key, const uint32_t (&networkOrder)[4], uint32_t mtu) {
    std::vector<uint8_t> out = Header(attr::kAddressLength, attr::address, key);
    PutWord(out, 0);
    for (uint32_t a : networkOrder) {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&a);
        out.insert(out.end(), bytes, bytes + 4);
    }
    PutWord(out, mtu);
    return out;
}

}  // namespace AuthRecords

// ---- reader -------------------------------------------------------------------------

AuthReader::Step AuthReader::advance(size_t n) {
    cur += n;
    if (cur < end) return kMore;
    if (end == attr::kMinLength) {
        uint32_t length = attr(buf, cur).length();
        if (length < attr::kMinLength || length > attr::kMaxLength) return kBadLength;
        end = length;
        if (cur < end) return kMore;
    }
    last = end;
    cur = 0;
    end = attr::kMinLength;
    return kRecord;
}

// ---- records received ---------------------------------------------------------------

namespace {

void SetCounter(BASE::INTEGER64Bits& value, uint64_t counter) {
    value.set_low(int(uint32_t(counter)));
    value.set_high(int(uint32_t(counter >> 32)));
}

std::string Invalid(const char* what, uint32_t length) {
    return std::string(what) + std::to_string(length);
}

}  // namespace

AuthRequest ReadAuthRequest(const attr& record) {
    AuthRequest r;
    uint32_t length = record.length();
    switch (record.type()) {
        case attr::voauth: {
            if (length != attr::kAuthLength) return AuthRequest{false, {}, Invalid("auth request, invalid size: ", length)};
            TERM::MdmRequestUserAuth& auth = r.proceeding.set_auth();
            auth.set_username(record.text(12, 64));
            auth.set_password(record.text(76, 64));
            break;
        }
        case attr::accept:
            r.note = "auth accept, ignored.";
            return r;
        case attr::address:
            r.note = "auth ip, ignored.";
            return r;
        case attr::voacct: {
            if (length != attr::kAcctLength) return AuthRequest{false, {}, Invalid("auth accounting, invalid size: ", length)};
            TERM::MdmAccounting& acct = r.proceeding.set_acct();
            SetCounter(acct.set_octetsOut(), record.counter(24));
            SetCounter(acct.set_octetsIn(), record.counter(32));
            SetCounter(acct.set_packetsOut(), record.counter(40));
            SetCounter(acct.set_packetsIn(), record.counter(48));
            SetCounter(acct.set_time(), record.word(56));
            break;
        }
        default: {
            std::ostringstream note;
            note << "unknown request from portslave: 0x" << std::hex << record.type();
            r.note = note.str();
            return r;
        }
    }
    r.signal = true;
    return r;
}
