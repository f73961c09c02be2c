// The printed form of a LEMZ packet, used in traces and by the comparisons.

#include <arpa/inet.h>

#include <cstdarg>
#include <cstdio>

#include "rtp/sig_proto.h"

namespace {

// Appends formatted text to a caller's buffer, never past its size; the
// text stays terminated and `written` counts what it holds.
class TextOut {
public:
    TextOut(char* text, long size) : text_(text), size_(size) { text_[0] = '\0'; }

    void add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        long room = size_ - written_;
        if (room <= 1) return;
        va_list args;
        va_start(args, format);
        int n = std::vsnprintf(text_ + written_, static_cast<size_t>(room), format, args);
        va_end(args);
        if (n > 0) written_ += n < room ? n : room - 1;
    }
    int written() const { return static_cast<int>(written_); }

private:
    char* text_;
    long size_;
    long written_ = 0;
};

void putAddress(TextOut& out, const char* format, uint32_t address) {
    char dotted[INET_ADDRSTRLEN];
    in_addr a;
    a.s_addr = address;
    out.add(format, inet_ntop(AF_INET, &a, dotted, sizeof dotted));
}

void putCallerId(TextOut& out, const char* prefix, const unsigned char* id, uint8_t length) {
    out.add("%s.callerID_length: %d,\n", prefix, length);
    out.add("%s.callerID : \n", prefix);
    for (int i = 0; i < length; ++i) out.add("[%d] : 0x%02X,\n", i, id[i]);
}

void printBase(TextOut& out, const sig_proto& p, int mode) {
    const char* name = sig_proto_find_name_by_id(sig_proto_packet_const_name, static_cast<int>(p.type));
    if ((mode & SIG_PROTO_PRINT_NAME) && name)
        out.add("type      : %s,\n", name);
    else if (mode & (SIG_PROTO_PRINT_HEX | SIG_PROTO_PRINT_NAME))
        out.add("type      : 0x%08lX,\n", static_cast<unsigned long>(p.type));
    const struct {
        const char* format;
        uint32_t value;
    } flags[] = {{"flag_t   : %lu,\n", p.flag_t},   {"flag_p   : %lu,\n", p.flag_p},   {"flag_r   : %lu,\n", p.flag_r},
                 {"flag_s   : %lu,\n", p.flag_s},   {"flag_b   : %lu,\n", p.flag_b},   {"flag_rv  : %lu,\n", p.flag_rv},
                 {"flag_sh  : %lu,\n", p.flag_sh},  {"flag_rs  : %lu,\n", p.flag_rs},  {"flag_pw  : %lu,\n", p.flag_pw},
                 {"flag_c   : %lu,\n", p.flag_c}};
    for (const auto& f : flags) out.add(f.format, static_cast<unsigned long>(f.value));
    if (mode & SIG_PROTO_PRINT_FLAGS) return;
    out.add("priority : %lu,\n", static_cast<unsigned long>(p.priority));
    out.add("status   : %lu,\n", static_cast<unsigned long>(p.status));
}

void printGwAdjustChan(TextOut& out, const sig_proto& p) {
    out.add("gw_adjust_chan.id   : %lu,\n", static_cast<unsigned long>(p.gw_adjust_chan.id));
    out.add("gw_adjust_chan.freq : %4.4f,\n", double(p.gw_adjust_chan.freq));
}

void printGwSelCall(TextOut& out, const sig_proto& p) {
    putCallerId(out, "gw_sel_call", p.gw_sel_call.callerID, p.gw_sel_call.callerID_length);
}

void printGwSelectRcChan(TextOut& out, const sig_proto& p) {
    out.add("gw_select_rc_chan.interface : %d,\n", p.gw_select_rc_chan.interface);
    out.add("gw_select_rc_chan.channel   : %d,\n", p.gw_select_rc_chan.channel);
}

void printGwAdjustSquelsh(TextOut& out, const sig_proto& p) {
    out.add("gw_adjust_squelsh.squelsh   : %d,\n", p.gw_adjust_squelsh.squelsh);
}

void printGwAdjustRte(TextOut& out, const sig_proto& p) {
    out.add("gw_adjust_rte.rte   : %d,\n", p.gw_adjust_rte.rte);
}

void printGwAdjustStandby(TextOut& out, const sig_proto& p) {
    out.add("gw_adjust_standby.state   : %d,\n", p.gw_adjust_standby.state);
}

void printWmTrans(TextOut& out, const sig_proto& p) {
    putAddress(out, "wm_trans.session_addr : %s,\n", p.wm_trans.session_addr);
    out.add("wm_trans.ssrc         : 0x%08lX,\n", static_cast<unsigned long>(p.wm_trans.ssrc));
}

void printWmRadioQuality(TextOut& out, const sig_proto& p) {
    out.add("wm_radio_quality.radio_quality : %4.5f,\n", double(p.wm_radio_quality.radio_quality));
}

void printWmChan(TextOut& out, const sig_proto& p) {
    out.add("wm_chan.id   : %lu,\n", static_cast<unsigned long>(p.wm_chan.id));
    out.add("wm_chan.freq : %4.4f,\n", double(p.wm_chan.freq));
    out.add("wm_chan.squelsh : %d,\n", p.wm_chan.squelsh);
    out.add("wm_chan.rte     : %d,\n", p.wm_chan.rte);
}

void printWmSelCallTrans(TextOut& out, const sig_proto& p) {
    putAddress(out, "wm_sel_call_trans.session_addr : %s,\n", p.wm_sel_call_trans.session_addr);
    out.add("wm_sel_call_trans.ssrc         : 0x%08lX,\n", static_cast<unsigned long>(p.wm_sel_call_trans.ssrc));
    putCallerId(out, "wm_sel_call_trans", p.wm_sel_call_trans.callerID, p.wm_sel_call_trans.callerID_length);
}

void printWmSelectRcChan(TextOut& out, const sig_proto& p) {
    out.add("wm_select_rc_chan.interface : %d,\n", p.wm_select_rc_chan.interface);
    out.add("wm_select_rc_chan.channel   : %d,\n", p.wm_select_rc_chan.channel);
}

void printWmStandby(TextOut& out, const sig_proto& p) {
    out.add("wm_standby.state           : %d,\n", p.wm_standby.state);
    out.add("wm_standby.group           : %d,\n", p.wm_standby.group);
    out.add("wm_standby.receiver_state  : %d,\n", p.wm_standby.receiver_state);
}

// The print table: type 0 and the types without a body print the header
// alone (printer null), the others add their members.
struct PrintRow {
    uint32_t type;
    void (*members)(TextOut&, const sig_proto&);
};

const PrintRow kPrinters[21] = {
    {0, nullptr},
    {GW_FLAG, nullptr},
    {GW_ADJUST_CHAN, printGwAdjustChan},
    {GW_FLAG_PTT, nullptr},
    {GW_FLAG_BSS, nullptr},
    {GW_FLAG_RV, nullptr},
    {GW_FLAG_SH, nullptr},
    {GW_FLAG_PW, nullptr},
    {GW_FLAG_RS, nullptr},
    {GW_SEL_CALL, printGwSelCall},
    {GW_SELECT_RC_CHAN, printGwSelectRcChan},
    {GW_ADJUST_SQUELSHE, printGwAdjustSquelsh},
    {GW_ADJUST_RTE, printGwAdjustRte},
    {GW_ADJUST_STANDBY, printGwAdjustStandby},
    {WM_FLAG, nullptr},
    {WM_TRANS, printWmTrans},
    {WM_RADIO_QUALITY, printWmRadioQuality},
    {WM_CHAN, printWmChan},
    {WM_SEL_CALL_TRANS, printWmSelCallTrans},
    {WM_SELECT_RC_CHAN, printWmSelectRcChan},
    {WM_STANDBY, printWmStandby},
};

}  // namespace

int sprintf_sig_proto(char* text, long size, const sig_proto* p, int mode) {
    if (!text || !p || size < 1) return 0;
    text[0] = '\0';
    for (const PrintRow& row : kPrinters) {
        if (row.type != p->type) continue;
        TextOut out(text, size);
        printBase(out, *p, mode);
        if (row.members && !(mode & SIG_PROTO_PRINT_FLAGS)) row.members(out, *p);
        return out.written();
    }
    return 0;
}
