#include "rtp/lemz_radio_control.h"

#include <iostream>

#include "runtime/mux_clock.h"

namespace RTPSignalling {

LemzRadioControl::LemzRadioControl(int slotId, const rtp_ext_attach_session_params& attach,
                                   const rtp_ext_init_params& init)
    : RadioProtoControl(slotId, attach, init) {
    Init();
}

LemzRadioControl::LemzRadioControl(int slotId, Fd rtp, const rtp_attach_session_params& attach)
    : RadioProtoControl(slotId, rtp, attach) {
    Init();
}

LemzRadioControl::LemzRadioControl(const rtp_ext_init_params& init) : RadioProtoControl(init) {
    Init();
}

void LemzRadioControl::Init() {
    uint32_t now = Mux::milliseconds();
    lastStatusTime = now;
    for (uint32_t& t : resendTime) t = now;
    sig_proto_init(&current);
    sig_proto_init(&previous);
}

int LemzRadioControl::GroupOf(int32_t command) {
    switch (command) {
        case WM_FLAG: case WM_TRANS: case WM_SEL_CALL_TRANS: return kFlags;
        case WM_CHAN: return kChan;
        case WM_SELECT_RC_CHAN: return kRemote;
        case WM_STANDBY: return kStandby;
        default: return -1;
    }
}

// ---- from the controller -----------------------------------------------------------

// The channel state with the message's fields over it goes to the channel;
// a modifier with an address text that is no dotted quad is refused whole.
bool LemzRadioControl::SendASNToChan(const TERM::RadioStatus& status) {
    if (!status.is_lemz()) return false;
    LemzRadioState state = channelState;
    DecodeASN(status.get_lemz(), state);
    SendRadioStateToChan(state);
    return true;
}

bool LemzRadioControl::SendASNToChan(const TERM::RadioModifier& modifier) {
    if (!modifier.is_lemz()) return false;
    LemzRadioState state = channelState;
    if (!DecodeASN(modifier.get_lemz(), state)) return RefuseAddress(modifier);
    SendRadioStateToChan(state);
    return true;
}

void LemzRadioControl::SendRadioStateToChan(const LemzRadioState& state) {
    sig_proto p;
    if (PutProtoFromRadioToChan(state) == 0 && EncodeProto(state, p) == 0) {
        SendProtoToChan(p);
        uint32_t now = Mux::milliseconds();
        lastStatusTime = now;
        int group = GroupOf(state.command);
        if (!refreshHold && group >= 0) resendTime[group] = now;
    }
    if (trace) {
        TERM::LemzRadioStatus status;
        EncodeStatusASN(channelState, status);
        Log() << "command=0x" << std::hex << state.command << std::dec << " receive extension from controller: " << status
              << std::endl;
    }
    UpdateHolder();
}

void LemzRadioControl::UpdateHolder() {
    in_addr holder;
    holder.s_addr = channelState.sessionAddr;
    UpdateAccess(channelState.ptt != 0, holder);
}

// ---- from the channel --------------------------------------------------------------

void LemzRadioControl::OnRtpProtoRXEvent(const sig_proto& p) {
    LemzRadioState state;
    DecodeProto(p, state, RangeNote());
    if (AccessFormChanToRadio(state)) {
        PutProtoFromChanToRadio(state);
        TERM::RtpRadioRequest request;
        EncodeStatusASN(channelState, request.set_status().set_lemz());
        TERM::LemzRadioModifier& modifier = request.set_request().set_lemz();
        modifier.set_addr().set_session_addr(DottedAddr(state.sourceAddr));
        modifier.set_addr().set_session_ssrc(state.sourceId);
        EncodeParamsASN(state, modifier.set_params());
        if (trace)
            Log() << "command=0x" << std::hex << state.command << std::dec << " send extension to controller: " << request
                  << std::endl;
        Notify(request);
    }
    UpdateHolder();
}

// ---- the gateway -------------------------------------------------------------------

int LemzRadioGWControl::PutProtoFromRadioToChan(const LemzRadioState& state) {
    return MergeWMCommands(state, channelState, true);
}

int LemzRadioGWControl::PutProtoFromChanToRadio(const LemzRadioState& state) {
    radioState.sessionAddr = state.sourceAddr;
    radioState.sessionSsrc = state.sourceId;
    return MergeGWCommands(state, radioState);
}

// While a transmitter holds the radio, another source is heard only with a
// push-to-talk of higher priority (a lower number).
bool LemzRadioGWControl::AccessFormChanToRadio(const LemzRadioState& state) {
    if (!channelState.ptt || channelState.sessionAddr == GetLocalAddr().address()) return true;
    if (isPTTCommand(state.command) && state.ptt && state.priority < channelState.priority) return true;
    return state.sourceAddr == channelState.sessionAddr;
}

int LemzRadioGWControl::EncodeProto(const LemzRadioState& state, sig_proto& p) {
    return RTPSignalling::EncodeProto(state, p, LemzSide::Gateway);
}

bool LemzRadioGWControl::Announce(int32_t command, uint32_t now) {
    channelState.command = command;
    sig_proto p;
    if (EncodeProto(channelState, p) != 0) return false;
    SendProtoToChan(p);
    resendTime[GroupOf(command)] = now;
    return true;
}

unsigned long LemzRadioGWControl::ProcessRadioStatus(unsigned long now_, unsigned long interval) {
    uint32_t now = uint32_t(now_);
    for (uint32_t& t : resendTime) KeepRecent(t, now);
    const LemzRadioState& c = channelState;
    if (Elapsed(now, resendTime[kFlags]) > 999) Announce(c.ptt ? WM_TRANS : WM_FLAG, now);
    if (Elapsed(now, resendTime[kChan]) > 999 && c.channelId >= 0 && c.frequency >= 0.0f) Announce(WM_CHAN, now);
    if (c.remoteNo >= 0 && c.remoteCh >= 0) Announce(WM_SELECT_RC_CHAN, now);
    if (Elapsed(now, resendTime[kStandby]) > 999 && c.standbyChannel >= 0 && c.standbyGroup >= 0 &&
        c.standbyReceiver >= 0)
        Announce(WM_STANDBY, now);
    // The oldest by signed difference, so that the wrap of the clock changes
    // nothing.
    uint32_t oldest = resendTime[0];
    for (uint32_t t : resendTime)
        if (int32_t(t - oldest) < 0) oldest = t;
    return NextStatusDelay(Elapsed(now, oldest), interval);
}

// ---- the workstation ---------------------------------------------------------------

int LemzRadioWSControl::PutProtoFromRadioToChan(const LemzRadioState& state) {
    return MergeGWCommands(state, channelState);
}

int LemzRadioWSControl::PutProtoFromChanToRadio(const LemzRadioState& state) {
    radioState.sessionAddr = state.sourceAddr;
    radioState.sessionSsrc = state.sourceId;
    return MergeWMCommands(state, radioState, false);
}

int LemzRadioWSControl::EncodeProto(const LemzRadioState& state, sig_proto& p) {
    return RTPSignalling::EncodeProto(state, p, LemzSide::Workstation);
}

}  // namespace RTPSignalling
