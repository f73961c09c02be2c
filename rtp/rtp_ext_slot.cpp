#include "rtp/rtp_ext_slot.h"

using namespace RTPSignalling;

RtpExtSlot::RtpExtSlot(int channel, Fd session, const rtp_connection_params& params)
    : RtpSlot(channel, session, params) {}

void RtpExtSlot::Adopt(RadioControl* c) {
    controller.reset(c);
    c->SetNotify(this);
    c->SetTrace(false);
    c->SetRefreshHold(0);
}

void RtpExtSlot::IAfterCreate() {
    RtpSlot::IAfterCreate();
    if (!controller) return;
    controller->SendASNToChan(radioStatus);
    // The radio may start with its squelch open.
    FollowSquelch();
}

bool RtpExtSlot::IBeforeDestroy() {
    if (controller) controller->RtpExtStop();
    return RtpSlot::IBeforeDestroy();
}

bool RtpExtSlot::Ioctl(const LGCP::IoctlParams& p) {
    if (!controller) return RtpSlot::Ioctl(p);
    bool done;
    switch (p.currentSelection()) {
        case LGCP::IoctlParams::e_rtpExt: done = controller->SendASNToChan(p.get_rtpExt()); break;
        case LGCP::IoctlParams::e_encoder_mode:
        case LGCP::IoctlParams::e_decoder_mode: done = ChangePayload(p); break;
        default: done = RtpSlot::Ioctl(p); break;
    }
    FollowSquelch();
    return done;
}

// The extension session attaches to the session the slot runs on now, not
// to the descriptor number the factory opened, which the restart closed.
bool RtpExtSlot::ChangePayload(const LGCP::IoctlParams& p) {
    bool stopped = controller->RtpExtStop();
    controller->ReleaseRtpSession();
    if (!RtpSlot::Ioctl(p) || !stopped) return false;
    controller->SetRtpSession(session);
    return controller->RtpExtStart(false);
}

void RtpExtSlot::FollowSquelch() {
    if (!squelchGated || !controller) return;
    bool open = controller->GetSQU();
    if (open != inputOn) SwitchInput(open);
}

// ---- the kinds -----------------------------------------------------------------------

RtpLEMZRadioGWSlot::RtpLEMZRadioGWSlot(int channel, Fd session, const rtp_connection_params& params,
                                       const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init,
                                       bool timer)
    : RtpLEMZSlot(channel, session, params) {
    Adopt(new LemzRadioGWControl(channel, attach, init));
    GetController()->SetTimerEnable(timer);
}

RtpLEMZRadioGWSlot::RtpLEMZRadioGWSlot(int channel, Fd session, const rtp_connection_params& params,
                                       const rtp_attach_session_params& attach)
    : RtpLEMZSlot(channel, session, params) {
    Adopt(new LemzRadioGWControl(channel, session, attach));
}

RtpED137RadioGWSlot::RtpED137RadioGWSlot(int channel, Fd session, const rtp_connection_params& params,
                                         const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init,
                                         const ED137RadioParams& radio)
    : RtpED137Slot(channel, session, params) {
    auto* c = new ED137RadioGWControl(channel, attach, init);
    c->SetParams(radio);
    Adopt(c);
    c->SetTimerInterval(radio.keepalivePeriod * radio.keepaliveMultiplier / 2);
    c->SetTimerEnable(true);
    squelchGated = radio.transmissionDependsOnSqu != 0;
}
