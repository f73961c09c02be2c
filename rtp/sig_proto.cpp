#include "rtp/sig_proto.h"

#include <arpa/inet.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "rtp/wire_bytes.h"

using namespace WireBytes;

const s_sig_proto_table_name sig_proto_packet_const_name[SIG_PROTO_NAME_ROWS] = {
    {GW_FLAG, "GW_FLAG"},
    {GW_ADJUST_CHAN, "GW_ADJUST_CHAN"},
    {GW_FLAG_PTT, "GW_FLAG_PTT"},
    {GW_FLAG_BSS, "GW_FLAG_BSS"},
    {GW_FLAG_RV, "GW_FLAG_RV"},
    {GW_FLAG_SH, "GW_FLAG_SH"},
    {GW_FLAG_PW, "GW_FLAG_PW"},
    {GW_FLAG_RS, "GW_FLAG_RS"},
    {GW_SEL_CALL, "GW_SEL_CALL"},
    {GW_SELECT_RC_CHAN, "GW_SELECT_RC_CHAN"},
    {GW_ADJUST_SQUELSHE, "GW_ADJUST_SQUELSHE"},
    {GW_ADJUST_RTE, "GW_ADJUST_RTE"},
    {GW_ADJUST_STANDBY, "GW_ADJUST_STANDBY"},
    {WM_FLAG, "WM_FLAG"},
    {WM_TRANS, "WM_TRANS"},
    {WM_RADIO_QUALITY, "WM_RADIO_QUALITY"},
    {WM_CHAN, "WM_CHAN"},
    {WM_SEL_CALL_TRANS, "WM_SEL_CALL_TRANS"},
    {WM_SELECT_RC_CHAN, "WM_SELECT_RC_CHAN"},
    {WM_STANDBY, "WM_STANDBY"},
    {-1, ""},
};

namespace {

// ---- wire layout ---------------------------------------------------------------

// The bytes a packet of `type` takes on the wire before any caller id: 4
// for the header alone, 5 and 13 for the two caller-id types (header and
// the fields before the id); 0 for a type the protocol does not have.
int fixedLength(uint32_t type) {
    switch (type) {
        case GW_FLAG: case GW_FLAG_PTT: case GW_FLAG_BSS: case GW_FLAG_RV:
        case GW_FLAG_SH: case GW_FLAG_PW: case GW_FLAG_RS: case WM_FLAG:
            return 4;
        case GW_SEL_CALL:
            return 5;
        case GW_SELECT_RC_CHAN: case GW_ADJUST_SQUELSHE: case GW_ADJUST_RTE:
        case GW_ADJUST_STANDBY: case WM_RADIO_QUALITY: case WM_SELECT_RC_CHAN:
        case WM_STANDBY:
            return 8;
        case GW_ADJUST_CHAN: case WM_TRANS:
            return 12;
        case WM_SEL_CALL_TRANS:
            return 13;
        case WM_CHAN:
            return 16;
        default:
            return 0;
    }
}

bool hasCallerId(uint32_t type) {
    return type == GW_SEL_CALL || type == WM_SEL_CALL_TRANS;
}

int roundUp4(int n) {
    return (n + 3) & ~3;
}

void putHeader(const sig_proto& p, unsigned char* b) {
    b[0] = static_cast<unsigned char>(p.type);
    b[1] = static_cast<unsigned char>((p.priority & 15) << 4 | (p.flag_t & 1) << 3 | (p.flag_p & 1) << 2 |
                                      (p.flag_r & 1) << 1 | (p.flag_s & 1));
    b[2] = static_cast<unsigned char>((p.flag_b & 1) << 7 | (p.flag_rv & 1) << 6 | (p.flag_sh & 1) << 5 |
                                      (p.flag_pw & 1) << 4 | ((p.status >> 5) & 15));
    b[3] = static_cast<unsigned char>((p.status & 31) << 3 | (p.flag_c & 3) << 1 | (p.flag_rs & 1));
}

void getHeader(sig_proto& p, const unsigned char* b) {
    p.type = b[0];
    p.priority = b[1] >> 4;
    p.flag_t = (b[1] >> 3) & 1;
    p.flag_p = (b[1] >> 2) & 1;
    p.flag_r = (b[1] >> 1) & 1;
    p.flag_s = b[1] & 1;
    p.flag_b = b[2] >> 7;
    p.flag_rv = (b[2] >> 6) & 1;
    p.flag_sh = (b[2] >> 5) & 1;
    p.flag_pw = (b[2] >> 4) & 1;
    p.status = uint32_t(b[2] & 15) << 5 | b[3] >> 3;
    p.flag_c = (b[3] >> 1) & 3;
    p.flag_rs = b[3] & 1;
}

// The session address travels with its octets reversed: the last octet of
// the dotted form first. The stored address is in network order, so its
// bytes in memory are the dotted octets whatever the processor.
void putReversedAddress(unsigned char* b, uint32_t address) {
    unsigned char octets[4];
    std::memcpy(octets, &address, 4);
    for (int i = 0; i < 4; ++i) b[i] = octets[3 - i];
}

uint32_t getReversedAddress(const unsigned char* b) {
    unsigned char octets[4] = {b[3], b[2], b[1], b[0]};
    uint32_t address;
    std::memcpy(&address, octets, 4);
    return address;
}

// Writes the body of `p` from byte 4; the buffer was cleared and holds at
// least what the type needs.
void putBody(const sig_proto& p, unsigned char* b) {
    switch (p.type) {
        case GW_ADJUST_CHAN:
            put32(b + 4, p.gw_adjust_chan.id);
            putFloat(b + 8, p.gw_adjust_chan.freq);
            break;
        case GW_SEL_CALL:
            b[4] = p.gw_sel_call.callerID_length;
            std::memcpy(b + 5, p.gw_sel_call.callerID, p.gw_sel_call.callerID_length);
            break;
        case GW_SELECT_RC_CHAN:
        case WM_SELECT_RC_CHAN:  // the same layout
            b[4] = p.gw_select_rc_chan.interface;
            b[5] = p.gw_select_rc_chan.channel;
            break;
        case GW_ADJUST_SQUELSHE: b[4] = p.gw_adjust_squelsh.squelsh; break;
        case GW_ADJUST_RTE: b[4] = p.gw_adjust_rte.rte; break;
        case GW_ADJUST_STANDBY: b[4] = p.gw_adjust_standby.state; break;
        case WM_TRANS:
            putReversedAddress(b + 4, p.wm_trans.session_addr);
            put32(b + 8, p.wm_trans.ssrc);
            break;
        case WM_RADIO_QUALITY: putFloat(b + 4, p.wm_radio_quality.radio_quality); break;
        case WM_CHAN:
            put32(b + 4, p.wm_chan.id);
            putFloat(b + 8, p.wm_chan.freq);
            b[12] = p.wm_chan.squelsh;
            b[13] = p.wm_chan.rte;
            break;
        case WM_SEL_CALL_TRANS:
            putReversedAddress(b + 4, p.wm_sel_call_trans.session_addr);
            put32(b + 8, p.wm_sel_call_trans.ssrc);
            b[12] = p.wm_sel_call_trans.callerID_length;
            std::memcpy(b + 13, p.wm_sel_call_trans.callerID, p.wm_sel_call_trans.callerID_length);
            break;
        case WM_STANDBY:
            b[4] = p.wm_standby.state;
            b[5] = p.wm_standby.group;
            b[6] = p.wm_standby.receiver_state;
            break;
        default:
            break;
    }
}

// The caller id of `n` bytes, the rest of its 256 bytes cleared.
void storeCallerId(unsigned char* id, uint8_t& length, const unsigned char* from, int n) {
    length = static_cast<uint8_t>(n);
    std::memcpy(id, from, static_cast<size_t>(n));
    std::memset(id + n, 0, static_cast<size_t>(SIG_PROTO_CALLER_ID_SIZE - n));
}

void getBody(sig_proto& p, const unsigned char* b) {
    switch (p.type) {
        case GW_ADJUST_CHAN:
            p.gw_adjust_chan.id = get32(b + 4);
            p.gw_adjust_chan.freq = getFloat(b + 8);
            break;
        case GW_SEL_CALL:
            storeCallerId(p.gw_sel_call.callerID, p.gw_sel_call.callerID_length, b + 5, b[4]);
            break;
        case GW_SELECT_RC_CHAN:
        case WM_SELECT_RC_CHAN:
            p.gw_select_rc_chan.interface = b[4];
            p.gw_select_rc_chan.channel = b[5];
            break;
        case GW_ADJUST_SQUELSHE: p.gw_adjust_squelsh.squelsh = b[4]; break;
        case GW_ADJUST_RTE: p.gw_adjust_rte.rte = b[4]; break;
        case GW_ADJUST_STANDBY: p.gw_adjust_standby.state = b[4]; break;
        case WM_TRANS:
            p.wm_trans.session_addr = getReversedAddress(b + 4);
            p.wm_trans.ssrc = get32(b + 8);
            break;
        case WM_RADIO_QUALITY: p.wm_radio_quality.radio_quality = getFloat(b + 4); break;
        case WM_CHAN:
            p.wm_chan.id = get32(b + 4);
            p.wm_chan.freq = getFloat(b + 8);
            p.wm_chan.squelsh = b[12];
            p.wm_chan.rte = b[13];
            break;
        case WM_SEL_CALL_TRANS:
            p.wm_sel_call_trans.session_addr = getReversedAddress(b + 4);
            p.wm_sel_call_trans.ssrc = get32(b + 8);
            storeCallerId(p.wm_sel_call_trans.callerID, p.wm_sel_call_trans.callerID_length, b + 13, b[12]);
            break;
        case WM_STANDBY:
            p.wm_standby.state = b[4];
            p.wm_standby.group = b[5];
            p.wm_standby.receiver_state = b[6];
            break;
        default:
            break;
    }
}

}  // namespace

// ---- pack and unpack -------------------------------------------------------------

int sig_proto_pack(const sig_proto* p, unsigned char* buffer, int size) {
    if (!p || !buffer) return 0;
    if (size < 4) return SIG_PROTO_ERR_LENGTH;
    std::memset(buffer, 0, static_cast<size_t>(size));
    putHeader(*p, buffer);
    int fixed = fixedLength(p->type);
    if (fixed == 0) return 4;  // an unknown type goes as its header
    int need = fixed, written = fixed;
    if (hasCallerId(p->type)) {
        int idLength = p->type == GW_SEL_CALL ? p->gw_sel_call.callerID_length
                                              : p->wm_sel_call_trans.callerID_length;
        // Room for the id and a padding word, as the receiving side expects.
        need = fixed + 7 + idLength;
        written = roundUp4(fixed + idLength);
    }
    if (size < need) return SIG_PROTO_ERR_LENGTH;
    putBody(*p, buffer);
    return written;
}

int sig_proto_unpack(sig_proto* p, const unsigned char* data, int length) {
    if (!p || !data) return SIG_PROTO_ERR_NULL;
    if (length < 4) return SIG_PROTO_ERR_LENGTH;
    int need = fixedLength(data[0]);
    if (need == 0) {
        p->type = data[0];
        return SIG_PROTO_ERR_TYPE;
    }
    if (length < need) return SIG_PROTO_ERR_LENGTH;
    if (hasCallerId(data[0])) {
        need += data[need - 1];  // the length byte stands just before the id
        if (length < need) return SIG_PROTO_ERR_LENGTH;
    }
    getHeader(*p, data);
    getBody(*p, data);
    return 0;
}

int sig_proto_init(sig_proto* p) {
    if (p) std::memset(p, 0, sizeof *p);
    return 0;
}

int init_sig_proto_queue(sig_proto_queue* q) {
    static const int init_sig_proto_type[] = {GW_FLAG,        GW_FLAG_PTT,       GW_FLAG_BSS,      GW_FLAG_RV,
                                              GW_FLAG_SH,     GW_FLAG_PW,        GW_FLAG_RS,       GW_ADJUST_CHAN,
                                              GW_SEL_CALL,    GW_SELECT_RC_CHAN, GW_ADJUST_STANDBY, WM_FLAG,
                                              WM_TRANS,       WM_CHAN,           WM_RADIO_QUALITY, WM_SEL_CALL_TRANS,
                                              WM_STANDBY};
    if (!q) return 0;
    std::memset(q, 0, sizeof *q);
    const int known = sizeof init_sig_proto_type / sizeof init_sig_proto_type[0];
    for (int i = 0; i < 32; ++i) q->slot[i].type = i < known ? uint32_t(init_sig_proto_type[i]) : uint32_t(-1);
    return 0;
}

bool sig_proto_is_ptt_command(const sig_proto* p) {
    if (!p) return false;
    switch (p->type) {
        case GW_FLAG: case GW_FLAG_PTT: case GW_SEL_CALL: case WM_FLAG: case WM_TRANS: case WM_SEL_CALL_TRANS:
            return true;
        default:
            return false;
    }
}

bool is_little_endian() {
    const uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// ---- comparison ------------------------------------------------------------------

namespace {

const int kCompareText = 8192;

int comparePrinted(const sig_proto* a, const sig_proto* b, int mode) {
    if (!a || !b) return -1;
    char ta[kCompareText], tb[kCompareText];
    int la = sprintf_sig_proto(ta, kCompareText, a, mode);
    int lb = sprintf_sig_proto(tb, kCompareText, b, mode);
    if (la != lb) return lb - la;
    return std::strncmp(ta, tb, kCompareText);
}

}  // namespace

int cmp_sig_proto_header(const sig_proto* a, const sig_proto* b) {
    if (!a || !b) return -1;
    if (int d = difference(a->type, b->type)) return d;
    if (int d = difference(a->source_id, b->source_id)) return d;
    return difference(a->source_addr, b->source_addr);
}

int cmp_sig_proto(const sig_proto* a, const sig_proto* b) {
    return comparePrinted(a, b, SIG_PROTO_PRINT_HEX);
}

int cmp_sig_proto_flags(const sig_proto* a, const sig_proto* b) {
    return comparePrinted(a, b, SIG_PROTO_PRINT_FLAGS);
}

// ---- names -------------------------------------------------------------------------

const char* sig_proto_find_name_by_id(const s_sig_proto_table_name* table, int id) {
    if (!table) return nullptr;
    for (int i = 0; i < SIG_PROTO_NAME_ROWS && table[i].id >= 0; ++i)
        if (table[i].id == id) return table[i].name;
    return nullptr;
}

int sig_proto_find_id_by_name(const s_sig_proto_table_name* table, const char* name) {
    if (!table || !name) return -1;
    for (int i = 0; i < SIG_PROTO_NAME_ROWS && table[i].id >= 0; ++i)
        if (table[i].name && std::strcmp(table[i].name, name) == 0) return table[i].id;
    return -1;
}

// ---- setters -----------------------------------------------------------------------

namespace {

void setIf(uint32_t& field, long value, uint32_t mask) {
    if (value >= 0) field = static_cast<uint32_t>(value) & mask;
}

// At most 255 bytes of `text`, never past `length`; a null text is empty.
void setCallerId(unsigned char* id, uint8_t& idLength, const char* text, int length) {
    int n = 0;
    if (text && length > 0) n = static_cast<int>(strnlen(text, static_cast<size_t>(length < 255 ? length : 255)));
    storeCallerId(id, idLength, reinterpret_cast<const unsigned char*>(text ? text : ""), n);
}

}  // namespace

int sig_proto_set_base(sig_proto* p, long priority, long t, long flag_p, long r, long s, long b, long rv, long sh,
                       long pw, long rs, long c, long status) {
    if (!p) return 0;
    setIf(p->priority, priority, 15);
    setIf(p->flag_t, t, 1);
    setIf(p->flag_p, flag_p, 1);
    setIf(p->flag_r, r, 1);
    setIf(p->flag_s, s, 1);
    setIf(p->flag_b, b, 1);
    setIf(p->flag_rv, rv, 1);
    setIf(p->flag_sh, sh, 1);
    setIf(p->flag_pw, pw, 1);
    setIf(p->flag_rs, rs, 1);
    setIf(p->flag_c, c, 3);
    setIf(p->status, status, 511);
    return 0;
}

int sig_proto_set_ptt(sig_proto* p, long value) {
    if (p) setIf(p->flag_p, value, 1);
    return 0;
}

int sig_proto_set_gw_adjust_standby(sig_proto* p, uint8_t state) {
    if (p) p->gw_adjust_standby.state = state;
    return 0;
}

int sig_proto_set_gw_adjust_chan(sig_proto* p, uint32_t id, float freq) {
    if (p) p->gw_adjust_chan = sig_proto_gw_adjust_chan{id, freq};
    return 0;
}

int sig_proto_set_gw_adjust_squelsh(sig_proto* p, uint8_t squelsh) {
    if (p) p->gw_adjust_squelsh.squelsh = squelsh;
    return 0;
}

int sig_proto_set_gw_adjust_rte(sig_proto* p, uint8_t rte) {
    if (p) p->gw_adjust_rte.rte = rte;
    return 0;
}

int sig_proto_set_gw_selcall(sig_proto* p, const char* text, int length) {
    if (p) setCallerId(p->gw_sel_call.callerID, p->gw_sel_call.callerID_length, text, length);
    return 0;
}

int sig_proto_set_gw_select_rc_chan(sig_proto* p, uint8_t interface, uint8_t channel) {
    if (p) p->gw_select_rc_chan = sig_proto_select_rc_chan{interface, channel};
    return 0;
}

int sig_proto_set_wm_radio_quality(sig_proto* p, float value) {
    if (p) p->wm_radio_quality.radio_quality = value;
    return 0;
}

int sig_proto_set_wm_transmite(sig_proto* p, uint32_t address, uint32_t ssrc) {
    if (p) p->wm_trans = sig_proto_wm_trans{address, ssrc};
    return 0;
}

int sig_proto_set_wm_selcall_transmite(sig_proto* p, uint32_t address, uint32_t ssrc, const char* text,
                                       int length) {
    if (!p) return 0;
    p->wm_sel_call_trans.session_addr = address;
    p->wm_sel_call_trans.ssrc = ssrc;
    setCallerId(p->wm_sel_call_trans.callerID, p->wm_sel_call_trans.callerID_length, text, length);
    return 0;
}

int sig_proto_set_wm_select_rc_chan(sig_proto* p, uint8_t interface, uint8_t channel) {
    if (p) p->wm_select_rc_chan = sig_proto_select_rc_chan{interface, channel};
    return 0;
}

int sig_proto_set_wm_chan(sig_proto* p, uint32_t id, float freq, uint8_t squelsh, uint8_t rte) {
    if (p) p->wm_chan = sig_proto_wm_chan{id, freq, squelsh, rte};
    return 0;
}

int sig_proto_set_wm_standby(sig_proto* p, uint8_t state, uint8_t group, uint8_t receiver_state) {
    if (p) p->wm_standby = sig_proto_wm_standby{state, group, receiver_state};
    return 0;
}
