#include "rtp/lemz_radio_state.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "rtp/radio_control.h"

namespace RTPSignalling {

namespace {

using Params = TERM::LemzRadioModifierParams;

// Each packet type and the modifier alternative that carries it.
const struct {
    int32_t command;
    int alternative;
} kAlternatives[] = {
    {GW_FLAG, Params::e_gw_set_flags},
    {GW_ADJUST_CHAN, Params::e_gw_set_freq},
    {GW_FLAG_PTT, Params::e_gw_set_ptt},
    {GW_FLAG_BSS, Params::e_gw_set_bss},
    {GW_FLAG_RV, Params::e_gw_set_rv},
    {GW_FLAG_SH, Params::e_gw_set_sh},
    {GW_FLAG_PW, Params::e_gw_set_pwr},
    {GW_FLAG_RS, Params::e_gw_set_resv},
    {GW_SEL_CALL, Params::e_gw_set_selcall},
    {GW_SELECT_RC_CHAN, Params::e_gw_set_remote},
    {GW_ADJUST_SQUELSHE, Params::e_gw_set_squelshe},
    {GW_ADJUST_RTE, Params::e_gw_set_rte},
    {GW_ADJUST_STANDBY, Params::e_gw_set_standby},
    {WM_FLAG, Params::e_wm_flags},
    {WM_TRANS, Params::e_wm_trans},
    {WM_RADIO_QUALITY, Params::e_wm_quality},
    {WM_CHAN, Params::e_wm_chan},
    {WM_SEL_CALL_TRANS, Params::e_wm_selcall},
    {WM_SELECT_RC_CHAN, Params::e_wm_remote},
    {WM_STANDBY, Params::e_wm_standby},
};

int alternativeOf(int32_t command) {
    for (const auto& a : kAlternatives)
        if (a.command == command) return a.alternative;
    return -1;
}

int32_t commandOf(int alternative) {
    for (const auto& a : kAlternatives)
        if (a.alternative == alternative) return a.command;
    return 0;
}

// Command 0 takes every field; otherwise the field goes with the commands
// listed.
bool with(int32_t command, std::initializer_list<int32_t> commands) {
    if (command == 0) return true;
    for (int32_t c : commands)
        if (c == command) return true;
    return false;
}

// ---- TERM pieces --------------------------------------------------------------------

void decodeFlags(const TERM::RadioFlags& f, LemzRadioState& s) {
    s.priority = f.get_prio().getValue();
    s.ptt = f.get_ptt().getValue();
    s.bss = f.get_bss().getValue();
    s.vadRx = f.get_vad_rx().getValue();
    s.vadTx = f.get_vad_tx().getValue();
    s.sql = f.get_sql().getValue();
    s.sh = f.get_sh().getValue();
    s.pwr = f.get_pwr().getValue();
    s.rv = f.get_rv().getValue();
    s.resv = f.get_resv().getValue();
    s.selcall = int32_t(f.get_selcall().getValue());
    s.li = int32_t(f.get_li().getValue());
}

void encodeFlags(const LemzRadioState& s, TERM::RadioFlags& f) {
    f.set_prio(s.priority);
    f.set_ptt(s.ptt != 0);
    f.set_bss(s.bss != 0);
    f.set_vad_rx(s.vadRx != 0);
    f.set_vad_tx(s.vadTx != 0);
    f.set_sql(s.sql != 0);
    f.set_sh(s.sh != 0);
    f.set_pwr(s.pwr != 0);
    f.set_rv(s.rv != 0);
    f.set_resv(s.resv != 0);
    f.set_selcall(unsigned(s.selcall));
    f.set_li(unsigned(s.li));
}

void decodeFrequency(const TERM::RadioFrequency& f, LemzRadioState& s) {
    s.channelId = f.get_channel().getValue();
    s.frequency = ParseDecimal(f.get_frequency());
}

void encodeFrequency(const LemzRadioState& s, TERM::RadioFrequency& f) {
    f.set_channel(s.channelId);
    f.set_frequency(FormatDecimal(s.frequency));
}

void decodeRemote(const TERM::RadioRemote& r, LemzRadioState& s) {
    s.remoteNo = int32_t(r.get_no().getValue());
    s.remoteCh = int32_t(r.get_ch().getValue());
}

void encodeRemote(const LemzRadioState& s, TERM::RadioRemote& r) {
    r.set_no(unsigned(s.remoteNo));
    r.set_ch(unsigned(s.remoteCh));
}

// The three commands of a transmission: flags, session and, for a selective
// call, the caller id.
template <class Command>
bool decodeTransmission(const Command& c, LemzRadioState& s) {
    decodeFlags(c.get_flags(), s);
    s.sessionSsrc = c.get_ssrc().getValue();
    return ParseAddr(c.get_ip(), s.sessionAddr);
}

template <class Command>
void encodeTransmission(const LemzRadioState& s, Command& c) {
    encodeFlags(s, c.set_flags());
    c.set_ip(DottedAddr(s.sessionAddr));
    c.set_ssrc(s.sessionSsrc);
}

template <class Command>
bool decodeSelCall(const Command& c, LemzRadioState& s) {
    s.SetCallerId(c.get_cid().data(), c.get_cid().size());
    return decodeTransmission(c, s);
}

template <class Command>
void encodeSelCall(const LemzRadioState& s, Command& c) {
    encodeTransmission(s, c);
    c.set_cid(std::string(s.callerId));
}

template <class T>
const T& as(const ASN1::AbstractData* value) {
    return *boost::polymorphic_downcast<const T*>(value);
}

template <class T>
T& as(ASN1::AbstractData* value) {
    return *boost::polymorphic_downcast<T*>(value);
}

}  // namespace

void LemzRadioState::SetCallerId(const char* text, size_t length) {
    std::memset(callerId, 0, sizeof callerId);
    if (!text) return;
    size_t n = 0;
    while (n < length && n < sizeof callerId - 1 && text[n]) ++n;
    std::memcpy(callerId, text, n);
}

bool isPTTCommand(int32_t c) {
    return c == GW_FLAG || c == GW_FLAG_PTT || c == GW_SEL_CALL || c == WM_FLAG || c == WM_TRANS ||
           c == WM_SEL_CALL_TRANS;
}

bool isDefaultInitCommand(int32_t command) {
    return command <= 0;
}

// ---- decimal texts ------------------------------------------------------------------

std::string FormatDecimal(float value) {
    char text[64];  // the widest float in "%4.6f" takes 47 characters
    std::snprintf(text, sizeof text, "%4.6f", std::isfinite(value) ? double(value) : 0.0);
    return text;
}

float ParseDecimal(const std::string& text) {
    float value = std::strtof(text.c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0f;
}

// ---- packets ----------------------------------------------------------------------

namespace {

// The controller's enumerations that a byte of the wire can exceed, and what
// a byte beyond one is taken as: for squelch and RTE "no-config", the byte
// naming no setting; for a standby state "standby", as it is not 0, active.
// Passed on as it came, such a byte would make the whole report unencodable.
const struct Range {
    const char* field;
    uint8_t largest;
    int32_t beyond;
    const char* beyondName;
} kSquelshe{"squelshe", 103, 0, "no-config"}, kRte{"rte", 7, 0, "no-config"},
    kStandbyChannel{"standby-state-channel", 1, 1, "standby"},
    kStandbyReceiver{"standby-state-receiver", 1, 1, "standby"};

int32_t within(uint8_t raw, const Range& r, const OutOfRange& note) {
    if (raw <= r.largest) return raw;
    if (note) note(r.field, raw, r.beyondName);
    return r.beyond;
}

// The caller id goes to the controller as an IA5String, whose characters
// are 0 to 127: any other octet is taken as '?', so that the text keeps
// its length. The first such octet is told, one line a caller id.
void keepIA5(char* text, const OutOfRange& note) {
    bool told = false;
    for (char* c = text; *c; ++c) {
        unsigned octet = static_cast<unsigned char>(*c);
        if (octet <= 0x7F) continue;
        if (note && !told) note("cid octet", octet, "?");
        told = true;
        *c = '?';
    }
}

}  // namespace

int DecodeProto(const sig_proto& p, LemzRadioState& s, const OutOfRange& note) {
    s.command = int32_t(p.type);
    s.priority = int32_t(p.priority);
    s.vadTx = int32_t(p.flag_t);
    s.ptt = int32_t(p.flag_p);
    s.vadRx = int32_t(p.flag_r);
    s.sql = int32_t(p.flag_s);
    s.bss = int32_t(p.flag_b);
    s.rv = int32_t(p.flag_rv);
    s.sh = int32_t(p.flag_sh);
    s.resv = int32_t(p.flag_rs);
    s.pwr = int32_t(p.flag_pw);
    s.selcall = int32_t(p.flag_c);
    s.li = int32_t(p.status);
    s.sourceAddr = p.source_addr;
    s.sourceId = p.source_id;
    switch (p.type) {
        case GW_FLAG: case GW_FLAG_PTT: case GW_FLAG_BSS: case GW_FLAG_RV: case GW_FLAG_SH: case GW_FLAG_PW:
        case GW_FLAG_RS: case WM_FLAG:
            return 0;
        case GW_ADJUST_CHAN:
            s.channelId = int32_t(p.gw_adjust_chan.id);
            s.frequency = p.gw_adjust_chan.freq;
            return 0;
        case GW_SEL_CALL:
            s.SetCallerId(reinterpret_cast<const char*>(p.gw_sel_call.callerID), p.gw_sel_call.callerID_length);
            keepIA5(s.callerId, note);
            return 0;
        case GW_SELECT_RC_CHAN:
        case WM_SELECT_RC_CHAN:
            s.remoteNo = p.gw_select_rc_chan.interface;
            s.remoteCh = p.gw_select_rc_chan.channel;
            return 0;
        case GW_ADJUST_SQUELSHE: s.squelshe = within(p.gw_adjust_squelsh.squelsh, kSquelshe, note); return 0;
        case GW_ADJUST_RTE: s.rte = within(p.gw_adjust_rte.rte, kRte, note); return 0;
        case GW_ADJUST_STANDBY:
            s.standbyChannel = within(p.gw_adjust_standby.state, kStandbyChannel, note);
            return 0;
        case WM_TRANS:
            s.sessionAddr = p.wm_trans.session_addr;
            s.sessionSsrc = p.wm_trans.ssrc;
            return 0;
        case WM_RADIO_QUALITY: s.radioQuality = p.wm_radio_quality.radio_quality; return 0;
        case WM_CHAN:
            s.channelId = int32_t(p.wm_chan.id);
            s.frequency = p.wm_chan.freq;
            s.squelshe = within(p.wm_chan.squelsh, kSquelshe, note);
            s.rte = within(p.wm_chan.rte, kRte, note);
            return 0;
        case WM_SEL_CALL_TRANS: {
            const sig_proto_wm_sel_call_trans& t = p.wm_sel_call_trans;
            s.sessionAddr = t.session_addr;
            s.sessionSsrc = t.ssrc;
            s.SetCallerId(reinterpret_cast<const char*>(t.callerID), t.callerID_length);
            keepIA5(s.callerId, note);
            return 0;
        }
        case WM_STANDBY:
            s.standbyChannel = within(p.wm_standby.state, kStandbyChannel, note);
            s.standbyGroup = p.wm_standby.group;
            s.standbyReceiver = within(p.wm_standby.receiver_state, kStandbyReceiver, note);
            return 0;
        default:
            return -1;
    }
}

namespace {

void encodeHeader(const LemzRadioState& s, sig_proto& p) {
    sig_proto_init(&p);
    p.type = uint32_t(s.command);
    sig_proto_set_base(&p, s.priority & 15, s.vadTx & 1, s.ptt & 1, s.vadRx & 1, s.sql & 1, s.bss & 1, s.rv & 1,
                       s.sh & 1, s.pwr & 1, s.resv & 1, s.selcall & 3, s.li & 511);
    p.source_addr = s.sourceAddr;
    p.source_id = s.sourceId;
}

int encodeGWBody(const LemzRadioState& s, sig_proto& p) {
    switch (s.command) {
        case GW_FLAG: case GW_FLAG_PTT: case GW_FLAG_BSS: case GW_FLAG_RV: case GW_FLAG_SH: case GW_FLAG_PW:
        case GW_FLAG_RS:
            return 0;
        case GW_ADJUST_CHAN: return sig_proto_set_gw_adjust_chan(&p, uint32_t(s.channelId), s.frequency);
        case GW_SEL_CALL: return sig_proto_set_gw_selcall(&p, s.callerId, int(std::strlen(s.callerId)));
        case GW_SELECT_RC_CHAN: return sig_proto_set_gw_select_rc_chan(&p, uint8_t(s.remoteNo), uint8_t(s.remoteCh));
        case GW_ADJUST_SQUELSHE: return sig_proto_set_gw_adjust_squelsh(&p, uint8_t(s.squelshe));
        case GW_ADJUST_RTE: return sig_proto_set_gw_adjust_rte(&p, uint8_t(s.rte));
        case GW_ADJUST_STANDBY: return sig_proto_set_gw_adjust_standby(&p, uint8_t(s.standbyChannel));
        default: return -1;
    }
}

int encodeWMBody(const LemzRadioState& s, sig_proto& p) {
    switch (s.command) {
        case WM_FLAG: return 0;
        case WM_TRANS: return sig_proto_set_wm_transmite(&p, s.sessionAddr, s.sessionSsrc);
        case WM_RADIO_QUALITY: return sig_proto_set_wm_radio_quality(&p, s.radioQuality);
        case WM_CHAN:
            return sig_proto_set_wm_chan(&p, uint32_t(s.channelId), s.frequency, uint8_t(s.squelshe), uint8_t(s.rte));
        case WM_SEL_CALL_TRANS:
            return sig_proto_set_wm_selcall_transmite(&p, s.sessionAddr, s.sessionSsrc, s.callerId,
                                                      int(std::strlen(s.callerId)));
        case WM_SELECT_RC_CHAN: return sig_proto_set_wm_select_rc_chan(&p, uint8_t(s.remoteNo), uint8_t(s.remoteCh));
        case WM_STANDBY:
            return sig_proto_set_wm_standby(&p, uint8_t(s.standbyChannel), uint8_t(s.standbyGroup),
                                            uint8_t(s.standbyReceiver));
        default: return -1;
    }
}

}  // namespace

int EncodeProto(const LemzRadioState& s, sig_proto& p, LemzSide side) {
    encodeHeader(s, p);
    return side == LemzSide::Gateway ? encodeWMBody(s, p) : encodeGWBody(s, p);
}

// ---- merges -----------------------------------------------------------------------

int MergeGWCommands(const LemzRadioState& from, LemzRadioState& into) {
    int32_t c = from.command;
    into.command = c;
    into.priority = from.priority;
    if (with(c, {GW_FLAG, GW_FLAG_PTT})) into.ptt = from.ptt;
    if (with(c, {GW_FLAG, GW_FLAG_BSS})) into.bss = from.bss;
    if (with(c, {GW_FLAG, GW_FLAG_SH})) into.sh = from.sh;
    if (with(c, {GW_FLAG, GW_FLAG_RV})) into.rv = from.rv;
    if (with(c, {GW_FLAG, GW_FLAG_PW})) into.pwr = from.pwr;
    if (with(c, {GW_FLAG, GW_FLAG_RS})) into.resv = from.resv;
    if (with(c, {GW_ADJUST_CHAN})) {
        into.channelId = from.channelId;
        into.frequency = from.frequency;
    }
    if (with(c, {GW_SEL_CALL})) std::memcpy(into.callerId, from.callerId, sizeof into.callerId);
    if (with(c, {GW_SELECT_RC_CHAN})) {
        into.remoteNo = from.remoteNo;
        into.remoteCh = from.remoteCh;
    }
    if (with(c, {GW_ADJUST_SQUELSHE})) into.squelshe = from.squelshe;
    if (with(c, {GW_ADJUST_RTE})) into.rte = from.rte;
    if (with(c, {GW_ADJUST_STANDBY})) into.standbyChannel = from.standbyChannel;
    return c == 0 ? -1 : 0;
}

int MergeWMCommands(const LemzRadioState& from, LemzRadioState& into, bool transCarriesSession) {
    int32_t c = from.command;
    into.command = c;
    into.priority = from.priority;
    into.li = from.li;
    into.ptt = from.ptt;
    into.bss = from.bss;
    into.vadRx = from.vadRx;
    into.vadTx = from.vadTx;
    into.sql = from.sql;
    into.sh = from.sh;
    into.pwr = from.pwr;
    into.rv = from.rv;
    into.resv = from.resv;
    into.selcall = from.selcall;
    if (with(c, {WM_CHAN})) {
        into.channelId = from.channelId;
        into.frequency = from.frequency;
        into.rte = from.rte;
        into.squelshe = from.squelshe;
    }
    if (with(c, {WM_SELECT_RC_CHAN})) {
        into.remoteNo = from.remoteNo;
        into.remoteCh = from.remoteCh;
    }
    if (with(c, {WM_SEL_CALL_TRANS}) || (transCarriesSession && c == WM_TRANS)) {
        into.sessionAddr = from.sessionAddr;
        into.sessionSsrc = from.sessionSsrc;
    }
    if (with(c, {WM_RADIO_QUALITY})) into.radioQuality = from.radioQuality;
    if (with(c, {WM_STANDBY})) {
        into.standbyChannel = from.standbyChannel;
        into.standbyGroup = from.standbyGroup;
        into.standbyReceiver = from.standbyReceiver;
    }
    return c == 0 ? -1 : 0;
}

// ---- the controller's messages -----------------------------------------------------

void DecodeASN(const TERM::LemzRadioStatus& status, LemzRadioState& s) {
    s.command = 0;
    decodeFlags(status.get_flags(), s);
    decodeFrequency(status.get_freq(), s);
    decodeRemote(status.get_remote(), s);
    s.squelshe = status.get_squelshe().getValue();
    s.rte = status.get_rte().getValue();
    s.standbyChannel = status.get_standby_state_channel().getValue();
    s.standbyGroup = int32_t(status.get_standby_group().getValue());
    s.standbyReceiver = status.get_standby_state_receiver().getValue();
}

bool DecodeASN(const TERM::LemzRadioModifier& modifier, LemzRadioState& s) {
    s.command = 0;
    bool addressesConvert = ParseAddr(modifier.get_addr().get_session_addr(), s.sourceAddr);
    s.sourceId = modifier.get_addr().get_session_ssrc().getValue();
    const Params& params = modifier.get_params();
    const ASN1::AbstractData* value = params.getSelection();
    s.command = commandOf(params.currentSelection());
    switch (params.currentSelection()) {
        case Params::e_gw_set_flags: case Params::e_gw_set_ptt: case Params::e_gw_set_bss: case Params::e_gw_set_sh:
        case Params::e_gw_set_pwr: case Params::e_gw_set_rv: case Params::e_gw_set_resv:
            decodeFlags(as<TERM::RadioCommandGWSetFlags>(value).get_flags(), s);
            break;
        case Params::e_gw_set_freq: decodeFrequency(params.get_gw_set_freq().get_freq(), s); break;
        case Params::e_gw_set_selcall: addressesConvert &= decodeSelCall(params.get_gw_set_selcall(), s); break;
        case Params::e_gw_set_remote: decodeRemote(params.get_gw_set_remote().get_remote(), s); break;
        case Params::e_gw_set_squelshe: s.squelshe = params.get_gw_set_squelshe().get_squelshe().getValue(); break;
        case Params::e_gw_set_rte: s.rte = params.get_gw_set_rte().get_rte().getValue(); break;
        case Params::e_gw_set_standby: s.standbyChannel = params.get_gw_set_standby().get_state().getValue(); break;
        case Params::e_wm_flags: decodeFlags(params.get_wm_flags().get_flags(), s); break;
        case Params::e_wm_trans: addressesConvert &= decodeTransmission(params.get_wm_trans(), s); break;
        case Params::e_wm_quality: s.radioQuality = ParseDecimal(params.get_wm_quality().get_bss_val()); break;
        case Params::e_wm_chan: {
            const TERM::RadioCommandWMChan& c = params.get_wm_chan();
            decodeFrequency(c.get_freq(), s);
            s.squelshe = c.get_squelshe().getValue();
            s.rte = c.get_rte().getValue();
            break;
        }
        case Params::e_wm_selcall: addressesConvert &= decodeSelCall(params.get_wm_selcall(), s); break;
        case Params::e_wm_remote: decodeRemote(params.get_wm_remote().get_remote(), s); break;
        case Params::e_wm_standby: {
            const TERM::RadioCommandWMStandby& c = params.get_wm_standby();
            s.standbyChannel = c.get_state_channel().getValue();
            s.standbyGroup = int32_t(c.get_group().getValue());
            s.standbyReceiver = c.get_state_receiver().getValue();
            break;
        }
        default: break;
    }
    return addressesConvert;
}

void EncodeStatusASN(const LemzRadioState& s, TERM::LemzRadioStatus& status) {
    encodeFlags(s, status.set_flags());
    encodeFrequency(s, status.set_freq());
    encodeRemote(s, status.set_remote());
    status.set_squelshe().setValue(s.squelshe);
    status.set_rte().setValue(s.rte);
    status.set_standby_state_channel().setValue(s.standbyChannel);
    status.set_standby_group(unsigned(s.standbyGroup));
    status.set_standby_state_receiver().setValue(s.standbyReceiver);
}

bool EncodeParamsASN(const LemzRadioState& s, Params& params) {
    int alternative = alternativeOf(s.command);
    if (alternative < 0 || !params.select(alternative)) return false;
    ASN1::AbstractData* value = params.getSelection();
    switch (alternative) {
        case Params::e_gw_set_flags: case Params::e_gw_set_ptt: case Params::e_gw_set_bss: case Params::e_gw_set_sh:
        case Params::e_gw_set_pwr: case Params::e_gw_set_rv: case Params::e_gw_set_resv:
            encodeFlags(s, as<TERM::RadioCommandGWSetFlags>(value).set_flags());
            break;
        case Params::e_gw_set_freq: encodeFrequency(s, params.set_gw_set_freq().set_freq()); break;
        case Params::e_gw_set_selcall: encodeSelCall(s, params.set_gw_set_selcall()); break;
        case Params::e_gw_set_remote: encodeRemote(s, params.set_gw_set_remote().set_remote()); break;
        case Params::e_gw_set_squelshe: params.set_gw_set_squelshe().set_squelshe().setValue(s.squelshe); break;
        case Params::e_gw_set_rte: params.set_gw_set_rte().set_rte().setValue(s.rte); break;
        case Params::e_gw_set_standby: params.set_gw_set_standby().set_state().setValue(s.standbyChannel); break;
        case Params::e_wm_flags: encodeFlags(s, params.set_wm_flags().set_flags()); break;
        case Params::e_wm_trans: encodeTransmission(s, params.set_wm_trans()); break;
        case Params::e_wm_quality: params.set_wm_quality().set_bss_val(FormatDecimal(s.radioQuality)); break;
        case Params::e_wm_chan: {
            TERM::RadioCommandWMChan& c = params.set_wm_chan();
            encodeFrequency(s, c.set_freq());
            c.set_squelshe().setValue(s.squelshe);
            c.set_rte().setValue(s.rte);
            break;
        }
        case Params::e_wm_selcall: encodeSelCall(s, params.set_wm_selcall()); break;
        case Params::e_wm_remote: encodeRemote(s, params.set_wm_remote().set_remote()); break;
        case Params::e_wm_standby: {
            TERM::RadioCommandWMStandby& c = params.set_wm_standby();
            c.set_state_channel().setValue(s.standbyChannel);
            c.set_group(unsigned(s.standbyGroup));
            c.set_state_receiver().setValue(s.standbyReceiver);
            break;
        }
    }
    return true;
}

}  // namespace RTPSignalling
