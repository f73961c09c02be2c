#include "rtp/ed137_radio_control.h"

#include <iostream>

#include "runtime/mux_clock.h"

namespace RTPSignalling {

ED137RadioControl::ED137RadioControl(int slotId, const rtp_ext_attach_session_params& attach,
                                     const rtp_ext_init_params& init)
    : RadioProtoControl(slotId, attach, init) {
    Init();
}

ED137RadioControl::ED137RadioControl(int slotId, Fd rtp, const rtp_attach_session_params& attach)
    : RadioProtoControl(slotId, rtp, attach) {
    Init();
}

ED137RadioControl::ED137RadioControl(const rtp_ext_init_params& init) : RadioProtoControl(init) {
    Init();
}

void ED137RadioControl::Init() {
    lastStatusTime = lastKeepAlive = lastReport = lastDecoded = Mux::milliseconds();
    r2s_proto_init(&current, 0);
    r2s_proto_init(&previous, 0);
}

// ---- from the controller -----------------------------------------------------------

// The channel state with the message's fields over it goes to the channel;
// a modifier with an address text that is no dotted quad is refused whole.
bool ED137RadioControl::SendASNToChan(const TERM::RadioStatus& status) {
    if (!status.is_ed_137()) return false;
    ED137RadioState state = channelState;
    state.DecodeASN(status.get_ed_137());
    SendRadioStateToChan(state);
    return true;
}

bool ED137RadioControl::SendASNToChan(const TERM::RadioModifier& modifier) {
    if (!modifier.is_ed_137()) return false;
    ED137RadioState state = channelState;
    if (!state.DecodeASN(modifier.get_ed_137())) return RefuseAddress(modifier);
    SendRadioStateToChan(state);
    return true;
}

bool ED137RadioControl::NeedSendProto(const ED137RadioState& state) const {
    if (extInit.param[2] < 1 || extInit.param[3] < 1) return true;
    return !state.IsEqual(channelState);
}

void ED137RadioControl::SendRadioStateToChan(const ED137RadioState& state) {
    if (!NeedSendProto(state)) return;
    r2s_proto p;
    if (PutProtoFromRadioToChan(state) == 0 && EncodeProto(state, p) == 0) {
        SendProtoToChan(p);
        uint32_t now = Mux::milliseconds();
        lastStatusTime = now;
        if (!refreshHold && state.IsRx()) lastKeepAlive = now;
    }
    if (trace) {
        TERM::ED137RadioStatus status;
        channelState.EncodeStatusASN(status);
        Log() << "command=0x" << std::hex << state.flags << std::dec << " receive extension from controller: " << status
              << std::endl;
    }
    in_addr holder;
    holder.s_addr = channelState.sessionAddr;
    UpdateAccess(channelState.pttType != 0, holder);
}

// ---- from the ground side ----------------------------------------------------------

void ED137RadioControl::OnRtpProtoRXEvent(const r2s_proto& p) {
    ED137RadioState state;
    state.DecodeProto(p, RangeNote());
    if (!AccessFormChanToRadio(state)) return;
    KeepRecent(lastReport, lastStatusTime);
    if (state.IsEqual(radioState) && Elapsed(lastStatusTime, lastReport) < GetTimerInterval()) return;
    PutProtoFromChanToRadio(state);
    TERM::RtpRadioRequest report;
    EncodeASN(channelState, state, report);
    if (trace)
        Log() << " command=0x" << std::hex << state.flags << std::dec << " send extension to controller: " << report
              << std::endl;
    lastReport = lastStatusTime;
    Notify(report);
}

// ---- the gateway -------------------------------------------------------------------

int ED137RadioGWControl::PutProtoFromRadioToChan(const ED137RadioState& state) {
    channelState.Merge(state);
    return 0;
}

int ED137RadioGWControl::PutProtoFromChanToRadio(const ED137RadioState& state) {
    radioState.Merge(state);
    return 0;
}

// A radio that cannot transmit never takes push-to-talk from the ground.
bool ED137RadioGWControl::AccessFormChanToRadio(const ED137RadioState&) {
    bool transmitter = params.radioType >= 2 && params.radioType <= 4;  // radio-txrx, radio, coupling
    bool txMode = params.txrxMode == 0 || params.txrxMode == 2;        // tx, txrx
    return transmitter && txMode;
}

int ED137RadioGWControl::EncodeProto(const ED137RadioState& state, r2s_proto& p) {
    return state.EncodeProto(p);
}

unsigned long ED137RadioGWControl::ProcessRadioStatus(unsigned long now_, unsigned long interval) {
    uint32_t now = uint32_t(now_);
    KeepRecent(lastDecoded, now);
    KeepRecent(lastKeepAlive, now);
    uint32_t timeout = params.keepalivePeriod * params.keepaliveMultiplier;
    if (timeout != 0 && int32_t(now - lastDecoded) >= 0 && now - lastDecoded >= timeout) Notify(kKeepAliveLost);
    if (Elapsed(now, lastKeepAlive) >= interval) {
        channelState.flags = (channelState.flags & ED137RadioState::kSqi) | ED137RadioState::kRx | ED137RadioState::kHeader;
        r2s_proto p;
        if (EncodeProto(channelState, p) == 0) {
            SendProtoToChan(p);
            lastKeepAlive = now;
        }
    }
    return NextStatusDelay(Elapsed(now, lastKeepAlive), interval);
}

}  // namespace RTPSignalling
