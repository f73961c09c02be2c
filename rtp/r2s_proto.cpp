#include "rtp/r2s_proto.h"

#include <cstring>

#include "rtp/wire_bytes.h"

using namespace WireBytes;

// ---- record ------------------------------------------------------------------------

int r2s_proto_init(r2s_proto* p, unsigned long type) {
    if (!p) return 0;
    std::memset(p, 0, sizeof *p);
    p->type = static_cast<uint32_t>(type);
    return 0;
}

int r2s_proto_set_type(r2s_proto* p, unsigned long type) {
    if (p) p->type = static_cast<uint32_t>(type);
    return 0;
}

int r2s_proto_set_tx_header(r2s_proto* p, unsigned long ptt_type, unsigned long ptt_id, unsigned long pm,
                            unsigned long ptts) {
    if (!p) return 0;
    p->type = R2S_PROTO_TX;
    p->tx = r2s_proto_tx_header{uint32_t(ptt_type), uint32_t(ptt_id), uint32_t(pm), uint32_t(ptts), {0, 0}};
    return 0;
}

int r2s_proto_set_rx_header(r2s_proto* p, unsigned long ptt_type, unsigned long squ, unsigned long ptt_id,
                            unsigned long pm, unsigned long ptts, unsigned long sct) {
    if (!p) return 0;
    p->type = R2S_PROTO_RX;
    p->rx = r2s_proto_rx_header{uint32_t(ptt_type), uint32_t(squ), uint32_t(ptt_id),
                                uint32_t(pm),       uint32_t(ptts), uint32_t(sct)};
    return 0;
}

int r2s_proto_reset_additionals(r2s_proto* p) {
    if (p) p->count = 0;
    return 0;
}

namespace {

// The next free element, or null when 16 are held.
r2s_proto_additional* nextElement(r2s_proto* p, uint32_t type) {
    if (!p || p->count >= uint32_t(R2S_PROTO_MAX_ADDITIONALS)) return nullptr;
    r2s_proto_additional* e = &p->additional[p->count++];
    std::memset(e, 0, sizeof *e);
    e->type = type;
    return e;
}

template <class Value>
int addElement(r2s_proto* p, uint32_t type, const Value* value, Value r2s_proto_additional::*member) {
    if (!value) return 0;
    if (r2s_proto_additional* e = nextElement(p, type)) e->*member = *value;
    return 0;
}

}  // namespace

int r2s_proto_add_rx_sqi(r2s_proto* p, const r2s_proto_rx_additional_sqi* sqi) {
    return addElement(p, R2S_RX_SQI, sqi, &r2s_proto_additional::rx_sqi);
}

int r2s_proto_add_rx_sqi(r2s_proto* p, unsigned long quality, unsigned long method) {
    const r2s_proto_rx_additional_sqi sqi{uint32_t(quality), uint32_t(method)};
    return r2s_proto_add_rx_sqi(p, &sqi);
}

int r2s_proto_add_rx_rrc(r2s_proto* p, const r2s_proto_rx_additional_rrc* rrc) {
    return addElement(p, R2S_RRC, rrc, &r2s_proto_additional::rx_rrc);
}

int r2s_proto_add_rx_mam(r2s_proto* p, const r2s_proto_rx_additional_mam* mam) {
    return addElement(p, R2S_RX_MAM, mam, &r2s_proto_additional::rx_mam);
}

int r2s_proto_add_tx_time_delay(r2s_proto* p, const r2s_proto_tx_additional_climax_time_delay* delay) {
    return addElement(p, R2S_TX_TIME_DELAY, delay, &r2s_proto_additional::tx_time_delay);
}

int r2s_proto_add_tx_rrc(r2s_proto* p, const r2s_proto_tx_additional_rrc* rrc) {
    return addElement(p, R2S_RRC, rrc, &r2s_proto_additional::tx_rrc);
}

int r2s_proto_add_tx_rrm(r2s_proto* p, const r2s_proto_tx_additional_rrm* rrm) {
    return addElement(p, R2S_TX_RRM, rrm, &r2s_proto_additional::tx_rrm);
}

int cmp_r2s_proto_source(const r2s_proto* a, const r2s_proto* b) {
    if (!a || !b) return -1;
    if (int d = difference(a->type, b->type)) return d;
    if (int d = difference(a->source_id, b->source_id)) return d;
    return difference(a->source_addr, b->source_addr);
}

// ---- pack --------------------------------------------------------------------------

namespace {

const unsigned char kXBit = 0x01;

unsigned char idByte(uint32_t type, uint32_t length) {
    return static_cast<unsigned char>(type << 4 | length);
}

unsigned char flagsByte(const uint32_t (&flag)[8]) {
    unsigned v = 0;
    for (uint32_t f : flag) v = v << 1 | (f & 1);
    return static_cast<unsigned char>(v);
}

// A flag and a 23-bit value in three bytes.
void putFlagged23(unsigned char* b, uint32_t flag, uint32_t value) {
    b[0] = static_cast<unsigned char>((flag & 1) << 7 | ((value >> 16) & 0x7F));
    b[1] = static_cast<unsigned char>(value >> 8);
    b[2] = static_cast<unsigned char>(value);
}

// The bytes element `e` takes on the wire in direction `type`: 0 for an
// element of a type the direction does not have (it is left out), -8 for
// an rx RRC of an unknown form.
int elementLength(uint32_t type, const r2s_proto_additional& e) {
    if (type == R2S_PROTO_RX) {
        switch (e.type) {
            case R2S_RX_SQI: return 2;
            case R2S_RRC: return e.rx_rrc.form == 0 ? 2 : e.rx_rrc.form == 1 ? 5 : R2S_PROTO_ERR_TYPE;
            case R2S_RX_MAM: return 13;
            default: return 0;
        }
    }
    switch (e.type) {
        case R2S_TX_TIME_DELAY: return 2;
        case R2S_RRC: return 2;
        case R2S_TX_RRM: return 4;
        default: return 0;
    }
}

void putRxElement(unsigned char* b, const r2s_proto_additional& e) {
    switch (e.type) {
        case R2S_RX_SQI:
            b[0] = idByte(R2S_RX_SQI, 1);
            b[1] = static_cast<unsigned char>((e.rx_sqi.quality & 31) << 3 | (e.rx_sqi.method & 7));
            break;
        case R2S_RRC:
            b[0] = idByte(R2S_RRC, e.rx_rrc.form ? 4 : 1);
            b[1] = flagsByte(e.rx_rrc.flag);
            if (!e.rx_rrc.form) break;
            b[2] = static_cast<unsigned char>((e.rx_rrc.ext_flag[0] & 1) << 7 | (e.rx_rrc.ext_flag[1] & 1) << 6);
            b[3] = static_cast<unsigned char>(e.rx_rrc.ext_value[0]);
            b[4] = static_cast<unsigned char>(e.rx_rrc.ext_value[1]);
            break;
        case R2S_RX_MAM:
            b[0] = idByte(R2S_RX_MAM, 12);
            putFlagged23(b + 1, e.rx_mam.flag1, e.rx_mam.value1);
            putFlagged23(b + 4, e.rx_mam.flag2, e.rx_mam.value2);
            for (int i = 0; i < 3; ++i) put16(b + 7 + 2 * i, e.rx_mam.word[i] & 0xFFFF);
            break;
    }
}

void putTxElement(unsigned char* b, const r2s_proto_additional& e) {
    switch (e.type) {
        case R2S_TX_TIME_DELAY:
            b[0] = idByte(R2S_TX_TIME_DELAY, 1);
            b[1] = static_cast<unsigned char>(e.tx_time_delay.delay);
            break;
        case R2S_RRC:
            b[0] = idByte(R2S_RRC, 1);
            b[1] = flagsByte(e.tx_rrc.flag);
            break;
        case R2S_TX_RRM:
            b[0] = idByte(R2S_TX_RRM, 3);
            putFlagged23(b + 1, e.tx_rrm.flag, e.tx_rrm.value);
            break;
    }
}

// The two header bytes; the rx header carries SQU and SCT, the tx header
// leaves their bits zero.
void putHeader(const r2s_proto& p, unsigned char* b, bool x) {
    uint32_t pttType, pttId, pm, ptts, squ = 0, sct = 0;
    if (p.type == R2S_PROTO_RX) {
        pttType = p.rx.ptt_type, squ = p.rx.squ, pttId = p.rx.ptt_id, pm = p.rx.pm, ptts = p.rx.ptts, sct = p.rx.sct;
    } else {
        pttType = p.tx.ptt_type, pttId = p.tx.ptt_id, pm = p.tx.pm, ptts = p.tx.ptts;
    }
    b[0] = static_cast<unsigned char>((pttType & 7) << 5 | (squ & 1) << 4 | ((pttId >> 2) & 15));
    b[1] = static_cast<unsigned char>((pttId & 3) << 6 | (pm & 1) << 5 | (ptts & 1) << 4 | (sct & 1) << 3 |
                                      (x ? kXBit : 0));
}

}  // namespace

int r2s_proto_pack(const r2s_proto* p, unsigned char* buf, int len) {
    if (!p) return R2S_PROTO_ERR_NULL;
    if (p->type != R2S_PROTO_TX && p->type != R2S_PROTO_RX) return R2S_PROTO_ERR_TYPE;
    if (!buf) return R2S_PROTO_ERR_NULL;
    if (len < 2) return R2S_PROTO_ERR_LENGTH;
    std::memset(buf, 0, static_cast<size_t>(len));
    uint32_t count = p->count < uint32_t(R2S_PROTO_MAX_ADDITIONALS) ? p->count : R2S_PROTO_MAX_ADDITIONALS;
    putHeader(*p, buf, count > 0);
    if (count == 0) return len < 4 ? R2S_PROTO_ERR_LENGTH : 4;  // the header and a zero pad
    int at = 2;
    for (uint32_t i = 0; i < count; ++i) {
        const r2s_proto_additional& e = p->additional[i];
        int n = elementLength(p->type, e);
        if (n < 0) return n;
        if (n == 0) continue;
        if (at + n > len) return R2S_PROTO_ERR_LENGTH;
        if (p->type == R2S_PROTO_RX)
            putRxElement(buf + at, e);
        else
            putTxElement(buf + at, e);
        at += n;
    }
    return at;
}

// ---- unpack ------------------------------------------------------------------------

namespace {

void getFlags(uint32_t (&flag)[8], unsigned char b) {
    for (int i = 0; i < 8; ++i) flag[i] = (b >> (7 - i)) & 1;
}

void getFlagged23(const unsigned char* b, uint32_t& flag, uint32_t& value) {
    flag = b[0] >> 7;
    value = uint32_t(b[0] & 0x7F) << 16 | uint32_t(b[1]) << 8 | b[2];
}

// Decodes the element of `type` and `length` at `d` into `e`; false for a
// pair the direction does not know.
bool getRxElement(uint32_t type, uint32_t length, const unsigned char* d, r2s_proto_additional& e) {
    if (type == R2S_RX_SQI && length == 1) {
        e.rx_sqi.quality = d[0] >> 3;
        e.rx_sqi.method = d[0] & 7;
    } else if (type == R2S_RRC && (length == 1 || length == 4)) {
        getFlags(e.rx_rrc.flag, d[0]);
        e.rx_rrc.form = length == 4;
        if (length == 4) {
            e.rx_rrc.ext_flag[0] = d[1] >> 7;
            e.rx_rrc.ext_flag[1] = (d[1] >> 6) & 1;
            e.rx_rrc.ext_value[0] = d[2];
            e.rx_rrc.ext_value[1] = d[3];
        }
    } else if (type == R2S_RX_MAM && length == 12) {
        getFlagged23(d, e.rx_mam.flag1, e.rx_mam.value1);
        getFlagged23(d + 3, e.rx_mam.flag2, e.rx_mam.value2);
        for (int i = 0; i < 3; ++i) e.rx_mam.word[i] = get16(d + 6 + 2 * i);
    } else {
        return false;
    }
    return true;
}

bool getTxElement(uint32_t type, uint32_t length, const unsigned char* d, r2s_proto_additional& e) {
    if (type == R2S_TX_TIME_DELAY && length == 1)
        e.tx_time_delay.delay = d[0];
    else if (type == R2S_RRC && length == 1)
        getFlags(e.tx_rrc.flag, d[0]);
    else if (type == R2S_TX_RRM && length == 3)
        getFlagged23(d, e.tx_rrm.flag, e.tx_rrm.value);
    else
        return false;
    return true;
}

void getHeader(r2s_proto& p, const unsigned char* b) {
    uint32_t pttType = b[0] >> 5, pttId = uint32_t(b[0] & 15) << 2 | b[1] >> 6;
    uint32_t pm = (b[1] >> 5) & 1, ptts = (b[1] >> 4) & 1;
    if (p.type == R2S_PROTO_RX)
        p.rx = r2s_proto_rx_header{pttType, uint32_t(b[0] >> 4) & 1, pttId, pm, ptts, uint32_t(b[1] >> 3) & 1};
    else
        p.tx = r2s_proto_tx_header{pttType, pttId, pm, ptts, {0, 0}};
}

int unpack(r2s_proto* p, const unsigned char* buf, int len, uint32_t direction) {
    if (!p || !buf) return R2S_PROTO_ERR_NULL;
    if (len < 2) return R2S_PROTO_ERR_LENGTH;
    p->type = direction;
    getHeader(*p, buf);
    p->count = 0;
    if (!(buf[1] & kXBit)) return 0;
    int result = 0;
    uint32_t count = 0;
    for (int at = 2; at < len && count < uint32_t(R2S_PROTO_MAX_ADDITIONALS);) {
        uint32_t type = buf[at] >> 4, length = buf[at] & 15;
        if (at + 1 + int(length) > len) {
            result = R2S_PROTO_ERR_LENGTH;
            break;
        }
        r2s_proto_additional& e = p->additional[count];
        std::memset(&e, 0, sizeof e);
        e.type = type;
        bool known = direction == R2S_PROTO_RX ? getRxElement(type, length, buf + at + 1, e)
                                               : getTxElement(type, length, buf + at + 1, e);
        if (known) ++count;
        at += 1 + int(length);
    }
    p->count = count;
    return result;
}

}  // namespace

int r2s_proto_unpack_tx(r2s_proto* p, const unsigned char* buf, int len) {
    return unpack(p, buf, len, R2S_PROTO_TX);
}

int r2s_proto_unpack_rx(r2s_proto* p, const unsigned char* buf, int len) {
    return unpack(p, buf, len, R2S_PROTO_RX);
}
