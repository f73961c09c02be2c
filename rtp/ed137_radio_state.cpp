#include "rtp/ed137_radio_state.h"

#include <algorithm>

#include "rtp/radio_control.h"

namespace RTPSignalling {

namespace {

// A value of the schema's range; a message that broke it gets the nearest.
uint32_t within(uint32_t value, uint32_t low, uint32_t high) {
    return std::min(std::max(value, low), high);
}

void decodeHeader(const TERM::ED137RadioHeader& h, ED137RadioState& s) {
    s.pttType = uint32_t(h.get_ptt().getValue());
    s.squ = uint32_t(h.get_squ().getValue());
    s.pttId = h.get_ptt_id().getValue();
    s.pttMute = h.get_ptt_mute().getValue();
    s.pttSummation = h.get_ptt_summation().getValue();
    s.sct = h.get_sct().getValue();
}

void encodeHeader(const ED137RadioState& s, TERM::ED137RadioHeader& h) {
    h.set_ptt().setValue(int(s.pttType));
    h.set_squ().setValue(int(s.squ));
    h.set_ptt_id(s.pttId & 63);
    h.set_ptt_mute(s.pttMute != 0);
    h.set_ptt_summation(s.pttSummation != 0);
    h.set_sct(s.sct != 0);
}

void decodeSqi(const TERM::ED137RadioExtensionSQI& sqi, ED137RadioState& s) {
    s.flags |= ED137RadioState::kRx | ED137RadioState::kSqi;
    s.bssMethod = uint32_t(sqi.get_bss_method().getValue());
    s.bssQuality = sqi.get_bss_quality().getValue();
}

void encodeSqi(const ED137RadioState& s, TERM::ED137RadioExtensionSQI& sqi) {
    sqi.set_bss_method().setValue(int(s.bssMethod));
    sqi.set_bss_quality(s.bssQuality & 31);
}

}  // namespace

void ED137RadioParams::Init(const TERM::ED137RadioResponse& r) {
    if (r.has_transmission_depend_on_squ()) transmissionDependsOnSqu = r.get_transmission_depend_on_squ().getValue();
    if (r.has_sigtime()) sigtime = within(r.get_sigtime().getValue(), 1, 50);
    if (r.has_r2s_keepalive_period()) keepalivePeriod = within(r.get_r2s_keepalive_period().getValue(), 20, 1000);
    if (r.has_r2s_keepalive_multiplier())
        keepaliveMultiplier = within(r.get_r2s_keepalive_multiplier().getValue(), 2, 50);
    radioType = uint32_t(r.get_type().getValue());
    txrxMode = uint32_t(r.get_txrxmode().getValue());
}

bool ED137RadioState::IsEqual(const ED137RadioState& o) const {
    return flags == o.flags && pttType == o.pttType && squ == o.squ && pttId == o.pttId && pttMute == o.pttMute &&
           pttSummation == o.pttSummation && sct == o.sct && bssMethod == o.bssMethod && bssQuality == o.bssQuality &&
           sessionAddr == o.sessionAddr && sessionSsrc == o.sessionSsrc;
}

void ED137RadioState::Merge(const ED137RadioState& from) {
    uint32_t method = bssMethod, quality = bssQuality;
    *this = from;
    if ((from.flags & (kRx | kSqi)) != (kRx | kSqi)) {
        bssMethod = method;
        bssQuality = quality;
    }
}

bool ED137RadioState::DecodeASN(const TERM::ED137RadioModifier& m) {
    flags = 0;
    bool addressConverts = ParseAddr(m.get_addr().get_session_addr(), sessionAddr);
    sessionSsrc = m.get_addr().get_session_ssrc().getValue();
    const TERM::ED137RadioModifierParams& p = m.get_params();
    if (p.is_tx()) {
        flags = kTx | kHeader;
        decodeHeader(p.get_tx().get_header(), *this);
    } else if (p.is_rx()) {
        flags = kRx | kHeader;
        decodeHeader(p.get_rx().get_header(), *this);
        if (p.get_rx().has_sqi()) decodeSqi(p.get_rx().get_sqi(), *this);
    }
    return addressConverts;
}

void ED137RadioState::DecodeASN(const TERM::ED137RadioStatus& status) {
    flags = kRx | kHeader;
    decodeHeader(status.get_header(), *this);
    if (status.has_sqi()) decodeSqi(status.get_sqi(), *this);
}

void ED137RadioState::EncodeASN(TERM::ED137RadioModifierParams& params) const {
    if (IsRx()) {
        TERM::ED137RadioRxCommand& rx = params.set_rx();
        encodeHeader(*this, rx.set_header());
        if (flags & kSqi) encodeSqi(*this, rx.set_sqi());
    } else if (IsTx()) {
        encodeHeader(*this, params.set_tx().set_header());
    }
}

void ED137RadioState::EncodeStatusASN(TERM::ED137RadioStatus& status) const {
    encodeHeader(*this, status.set_header());
    encodeSqi(*this, status.set_sqi());
}

// The header's three bits name PTT types 5 to 7 that the controller's
// enumeration lacks, and an extension value of it no decoder there reads:
// such a type is some push-to-talk, taken as the plain one.
void ED137RadioState::DecodeProto(const r2s_proto& p, const OutOfRange& note) {
    *this = ED137RadioState();
    sessionAddr = p.source_addr;
    sessionSsrc = p.source_id;
    if (p.type != R2S_PROTO_TX) return;
    flags = kTx | kHeader;
    pttType = p.tx.ptt_type;
    if (pttType > TERM::ED137RadioPTT::emergency_ptt_on) {
        if (note) note("ptt", pttType, "normal-ptt-on");
        pttType = TERM::ED137RadioPTT::normal_ptt_on;
    }
    pttId = p.tx.ptt_id;
    pttMute = p.tx.pm;
    pttSummation = p.tx.ptts;
}

int ED137RadioState::EncodeProto(r2s_proto& p) const {
    if (IsRx()) {
        r2s_proto_init(&p, R2S_PROTO_RX);
        r2s_proto_set_rx_header(&p, pttType, squ, pttId, pttMute, pttSummation, sct);
        if (flags & kSqi) r2s_proto_add_rx_sqi(&p, bssQuality, bssMethod);
    } else if (IsTx()) {
        r2s_proto_init(&p, R2S_PROTO_TX);
        r2s_proto_set_tx_header(&p, pttType, pttId, pttMute, pttSummation);
    } else {
        return -1;
    }
    p.source_addr = sessionAddr;
    p.source_id = sessionSsrc;
    return 0;
}

void EncodeASN(const ED137RadioState& channel, const ED137RadioState& state, TERM::RtpRadioRequest& request) {
    channel.EncodeStatusASN(request.set_status().set_ed_137());
    TERM::ED137RadioModifier& modifier = request.set_request().set_ed_137();
    modifier.set_addr().set_session_addr(DottedAddr(state.sessionAddr));
    modifier.set_addr().set_session_ssrc(state.sessionSsrc);
    state.EncodeASN(modifier.set_params());
}

}  // namespace RTPSignalling
