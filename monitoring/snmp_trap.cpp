#include "monitoring/snmp_trap.h"

#include <sys/sysinfo.h>
#include <sys/time.h>

#include <cstdlib>
#include <cstring>

namespace Snmp {

const oid objid_sysuptime[9] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
const oid objid_snmptrap[11] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};

namespace {

const int kVersion2c = 1;
const uint8_t kTrapPdu = 0xA7;
const uint8_t kSequence = 0x30;
const int kLongHeader = 4;  // tag, 0x82, two length octets

// The header, then room for `length` octets of contents.
uint8_t* _asn_build_header_check(uint8_t* data, int* room, uint8_t type, int length) {
    data = asn_build_header(data, room, type, length);
    if (!data || *room < length) return nullptr;
    return data;
}

// Octets of a subidentifier in base 128.
int base128Length(uint32_t v) {
    int n = 1;
    while (v >>= 7) ++n;
    return n;
}

uint8_t* putBase128(uint8_t* p, uint32_t v) {
    for (int shift = 7 * (base128Length(v) - 1); shift > 0; shift -= 7)
        *p++ = static_cast<uint8_t>(0x80 | ((v >> shift) & 0x7F));
    *p++ = static_cast<uint8_t>(v & 0x7F);
    return p;
}

// The first subidentifier on the wire: 40 × first + second. The first arc
// is 0, 1 or 2; under 0 and 1 the second is at most 39, or the value would
// read back under another arc (1.40 would be 2.0).
bool firstSubidentifier(const oid* ids, int count, uint32_t& out) {
    if (count == 0) {
        out = 0;
        return true;
    }
    if (ids[0] > 2) return false;
    uint32_t second = count > 1 ? ids[1] : 0;
    if (ids[0] < 2 && second > 39) return false;
    if (second > UINT32_MAX - 40 * ids[0]) return false;
    out = 40 * ids[0] + second;
    return true;
}

// Rewrites the four-octet header at `at` with the contents up to `end`.
void fillSequence(TrapContext* ctx, int at, uint8_t type, int end) {
    int room = kLongHeader;
    asn_build_sequence(ctx->buffer + at, &room, type, end - (at + kLongHeader));
}

int offset(const TrapContext* ctx, const uint8_t* p) {
    return static_cast<int>(p - ctx->buffer);
}

bool positionsSet(const TrapContext* ctx) {
    return ctx->versionPos >= 0 && ctx->pduPos >= 0 && ctx->requestIdPos >= 0 &&
           ctx->bindingsPos >= 0 && ctx->firstBindingPos >= 0 && ctx->writePos >= 0;
}

uint8_t* buildValue(uint8_t* p, int* room, uint8_t type, const void* value, int length) {
    int32_t i = 0;
    uint32_t u = 0;
    switch (type) {
        case kInteger:
            if (value && length == 4) std::memcpy(&i, value, 4);
            return value ? asn_build_int(p, room, type, &i, length) : nullptr;
        case kBitString:
            return asn_build_bitstring(p, room, type, static_cast<const uint8_t*>(value), length);
        case kOctetString:
        case kIpAddress:
        case kOpaque:
        case kNsapAddress:
            return asn_build_string(p, room, type, static_cast<const uint8_t*>(value), length);
        case kNull:
            return asn_build_null(p, room, type);
        case kObjectId: {
            if (length < 0 || (length > 0 && !value)) return nullptr;
            int count = length / 4;
            if (count > kMaxSubidentifiers) return nullptr;
            oid ids[kMaxSubidentifiers];
            if (count > 0) std::memcpy(ids, value, static_cast<size_t>(count) * 4);
            return asn_build_objid(p, room, type, ids, count);
        }
        case kCounter32:
        case kGauge32:
        case kTimeTicks:
        case kUInteger32:
            if (value && length == 4) std::memcpy(&u, value, 4);
            return value ? asn_build_unsigned_int(p, room, type, &u, length) : nullptr;
        default:
            return nullptr;
    }
}

}  // namespace

// ---- encoders ---------------------------------------------------------------------

uint8_t* asn_build_length(uint8_t* data, int* room, int length) {
    if (!data || length < 0 || length > 0xFFFF) return nullptr;
    int need = length < 0x80 ? 1 : length < 0x100 ? 2 : 3;
    if (*room < need) return nullptr;
    if (need == 2) *data++ = 0x81;
    if (need == 3) {
        *data++ = 0x82;
        *data++ = static_cast<uint8_t>(length >> 8);
    }
    *data++ = static_cast<uint8_t>(length);
    *room -= need;
    return data;
}

uint8_t* asn_build_header(uint8_t* data, int* room, uint8_t type, int length) {
    if (!data || *room < 1) return nullptr;
    *data++ = type;
    --*room;
    return asn_build_length(data, room, length);
}

uint8_t* asn_build_sequence(uint8_t* data, int* room, uint8_t type, int length) {
    if (!data || *room < kLongHeader || length < 0 || length > 0xFFFF) return nullptr;
    data[0] = type;
    data[1] = 0x82;
    data[2] = static_cast<uint8_t>(length >> 8);
    data[3] = static_cast<uint8_t>(length);
    *room -= kLongHeader;
    return data + kLongHeader;
}

uint8_t* asn_build_int(uint8_t* data, int* room, uint8_t type, const int32_t* value, int size) {
    if (!value || size != 4) return nullptr;
    uint32_t v = static_cast<uint32_t>(*value);
    int n = 4;
    // Leading octets go while the top nine bits agree.
    while (n > 1) {
        uint32_t top9 = (v >> (8 * n - 9)) & 0x1FF;
        if (top9 != 0 && top9 != 0x1FF) break;
        --n;
    }
    data = _asn_build_header_check(data, room, type, n);
    if (!data) return nullptr;
    for (int k = n - 1; k >= 0; --k) *data++ = static_cast<uint8_t>(v >> (8 * k));
    *room -= n;
    return data;
}

uint8_t* asn_build_unsigned_int(uint8_t* data, int* room, uint8_t type, const uint32_t* value,
                                int size) {
    if (!value || size != 4) return nullptr;
    if (!(*value & 0x80000000u)) {
        int32_t v = static_cast<int32_t>(*value);
        return asn_build_int(data, room, type, &v, 4);
    }
    data = _asn_build_header_check(data, room, type, 5);
    if (!data) return nullptr;
    *data++ = 0;
    for (int k = 3; k >= 0; --k) *data++ = static_cast<uint8_t>(*value >> (8 * k));
    *room -= 5;
    return data;
}

uint8_t* asn_build_null(uint8_t* data, int* room, uint8_t type) {
    return asn_build_header(data, room, type, 0);
}

uint8_t* asn_build_string(uint8_t* data, int* room, uint8_t type, const uint8_t* str, int length) {
    data = _asn_build_header_check(data, room, type, length);
    if (!data) return nullptr;
    if (str)
        std::memcpy(data, str, static_cast<size_t>(length));
    else
        std::memset(data, 0, static_cast<size_t>(length));
    *room -= length;
    return data + length;
}

uint8_t* asn_build_bitstring(uint8_t* data, int* room, uint8_t type, const uint8_t* str,
                             int length) {
    if (!str || length <= 0) return nullptr;
    return asn_build_string(data, room, type, str, length);
}

uint8_t* asn_build_objid(uint8_t* data, int* room, uint8_t type, const oid* ids, int count) {
    if (count < 0 || count > kMaxSubidentifiers || (count > 0 && !ids)) return nullptr;
    uint32_t first;
    if (!firstSubidentifier(ids, count, first)) return nullptr;
    int length = base128Length(first);
    for (int k = 2; k < count; ++k) length += base128Length(ids[k]);
    data = _asn_build_header_check(data, room, type, length);
    if (!data) return nullptr;
    data = putBase128(data, first);
    for (int k = 2; k < count; ++k) data = putBase128(data, ids[k]);
    *room -= length;
    return data;
}

uint8_t* snmp_build_var_op(uint8_t* data, int* room, const oid* name, int nameLength,
                           uint8_t type, const void* value, int valueLength) {
    uint8_t* start = data;
    data = asn_build_sequence(data, room, kSequence, 0);
    data = asn_build_objid(data, room, kObjectId, name, nameLength);
    if (!data) return nullptr;
    data = buildValue(data, room, type, value, valueLength);
    if (!data) return nullptr;
    int header = kLongHeader;
    asn_build_sequence(start, &header, kSequence, static_cast<int>(data - start) - kLongHeader);
    return data;
}

// ---- the trap ---------------------------------------------------------------------

int trap_init(TrapContext* ctx, const TrapParams* params) {
    if (!ctx) return 0;
    ctx->version = kVersion2c;
    ctx->pduTag = kTrapPdu;
    uint32_t id = static_cast<uint32_t>(ctx->requestId) * 850009u + 991873u;
    ctx->requestId = static_cast<int>((id & 0x7FFFFFFFu) | 1u);
    ctx->errorStatus = 0;
    ctx->errorIndex = 0;
    std::memset(ctx->community, 0, sizeof ctx->community);
    if (params) {
        std::memcpy(ctx->community, params->community, sizeof ctx->community);
        ctx->param16 = params->param16;
        ctx->param8 = params->param8;
    } else {
        std::memcpy(ctx->community, "vomrek", 6);
        ctx->param16 = 0;
        ctx->param8 = 0;
    }
    std::memset(ctx->buffer, 0, sizeof ctx->buffer);
    ctx->room = kTrapBufferSize;
    ctx->length = 0;
    ctx->state = 0;
    ctx->versionPos = ctx->pduPos = ctx->requestIdPos = -1;
    ctx->bindingsPos = ctx->firstBindingPos = ctx->writePos = -1;
    return 0;
}

int snmp_session_seed(TrapContext* ctx, int seed) {
    if (ctx) ctx->requestId = seed;
    return 0;
}

int trap_pack_begin(TrapContext* ctx) {
    if (!ctx || ctx->state != 0) return -1;
    ctx->state = 1;
    int* room = &ctx->room;
    // A community given in all 28 characters carries no NUL.
    int communityLength = static_cast<int>(strnlen(ctx->community, sizeof ctx->community));
    uint8_t* p = asn_build_sequence(ctx->buffer, room, kSequence, 0);
    if (p) ctx->versionPos = offset(ctx, p);
    p = asn_build_int(p, room, 0x02, &ctx->version, 4);
    p = asn_build_string(p, room, 0x04, reinterpret_cast<const uint8_t*>(ctx->community),
                         communityLength);
    if (p) ctx->pduPos = offset(ctx, p);
    p = asn_build_sequence(p, room, static_cast<uint8_t>(ctx->pduTag), 0);
    if (p) ctx->requestIdPos = offset(ctx, p);
    p = asn_build_int(p, room, 0x02, &ctx->requestId, 4);
    p = asn_build_int(p, room, 0x02, &ctx->errorStatus, 4);
    p = asn_build_int(p, room, 0x02, &ctx->errorIndex, 4);
    if (p) ctx->bindingsPos = offset(ctx, p);
    p = asn_build_sequence(p, room, kSequence, 0);
    if (p) ctx->firstBindingPos = offset(ctx, p);
    ctx->writePos = p ? offset(ctx, p) : -1;
    return p ? 0 : -1;
}

int trap_pack_add(TrapContext* ctx, const oid* name, int nameLength, int type, const void* value,
                  int valueLength) {
    if (!ctx || (ctx->state != 1 && ctx->state != 2) || ctx->writePos < 0) return -1;
    if (type < 0 || type > 0xFF) {
        ctx->writePos = -1;
        return -1;
    }
    uint8_t* p = snmp_build_var_op(ctx->buffer + ctx->writePos, &ctx->room, name, nameLength,
                                   static_cast<uint8_t>(type), value, valueLength);
    ctx->writePos = p ? offset(ctx, p) : -1;
    ctx->state = 2;
    return p ? 0 : -1;
}

int trap_pack_end(TrapContext* ctx) {
    if (!ctx || (ctx->state != 1 && ctx->state != 2) || !positionsSet(ctx)) return -1;
    fillSequence(ctx, ctx->bindingsPos, kSequence, ctx->writePos);
    fillSequence(ctx, ctx->pduPos, static_cast<uint8_t>(ctx->pduTag), ctx->writePos);
    fillSequence(ctx, 0, kSequence, ctx->writePos);
    ctx->length = ctx->writePos;
    ctx->state = 3;
    return 0;
}

// ---- helpers ----------------------------------------------------------------------

uint32_t get_uptime() {
    struct sysinfo info;
    if (sysinfo(&info) != 0) return 0;
    timeval now;
    gettimeofday(&now, nullptr);
    return static_cast<uint32_t>(info.uptime) * 100u + static_cast<uint32_t>(now.tv_usec / 10000);
}

int parse_oid(oid* out, int max, const char* text) {
    if (!out || !text || max <= 0) return 0;
    char buf[128];
    std::strncpy(buf, text, sizeof buf - 1);
    buf[sizeof buf - 1] = '\0';
    int count = 0;
    for (char* p = buf; *p && count < max;) {
        if (*p == '.') {
            ++p;
            continue;
        }
        char* end = std::strchr(p, '.');
        if (end) *end = '\0';
        out[count++] = static_cast<oid>(std::strtoul(p, nullptr, 10));
        if (!end) break;
        p = end + 1;
    }
    return count;
}

}  // namespace Snmp
