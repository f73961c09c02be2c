#ifndef KORVAND_RTP_RTP_EXT_SLOT_H
#define KORVAND_RTP_RTP_EXT_SLOT_H

#include <memory>

#include "rtp/ed137_radio_control.h"
#include "rtp/lemz_radio_control.h"
#include "rtp/radio_control.h"
#include "rtp/rtp_slot.h"

// An RTP slot whose session also carries radio signalling in RTP header
// extensions. It owns the radio controller, hands it the controller's
// radio requests (the `rtpExt` ioctl and the status of the create command)
// and reports what it tells back as the signals `rtpExt` and `abort`.
class RtpExtSlot : public RtpSlot, public RTPSignalling::IRadioControlNotify {
public:
    RtpExtSlot(int channel, Fd session, const rtp_connection_params& params);

    // Reports both streams, then gives the controller the create
    // command's radio status.
    void IAfterCreate() override;
    bool IBeforeDestroy() override;
    bool Ioctl(const LGCP::IoctlParams& p) override;
    const char* GetName() const override { return "rtp ext"; }

    void RadioControlNotify(const TERM::RtpRadioRequest& request) override { OnRtpRadioEvent(request); }
    void RadioControlNotify(int code) override { OnAbort(code); }

    void SetRadioStatus(const TERM::RadioStatus& status) { radioStatus = status; }
    RTPSignalling::RadioControl* GetController() const { return controller.get(); }
    bool IsSquelchGated() const { return squelchGated; }

protected:
    // Takes the controller a kind built and makes this slot its listener.
    void Adopt(RTPSignalling::RadioControl* c);

private:
    // A payload change begins the RTP session again: the extension session
    // goes down before and comes up on the new session after.
    bool ChangePayload(const LGCP::IoctlParams& p);
    // With the input gated on squelch, the driver input follows the radio's.
    void FollowSquelch();

    TERM::RadioStatus radioStatus;
    // As a member it goes before the base's RTP session (its goodbye).
    std::unique_ptr<RTPSignalling::RadioControl> controller;
};

class RtpLEMZSlot : public RtpExtSlot {
public:
    using RtpExtSlot::RtpExtSlot;
    const char* GetName() const override { return "rtp ext LEMZ"; }
};

// The gateway side of a LEMZ radio link.
class RtpLEMZRadioGWSlot : public RtpLEMZSlot {
public:
    // The extension session attached to this slot's RTP session; `timer`
    // runs the periodic announcements.
    RtpLEMZRadioGWSlot(int channel, Fd session, const rtp_connection_params& params,
                       const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init, bool timer);
    // The RTP session attached for another process, which handles the
    // extensions itself.
    RtpLEMZRadioGWSlot(int channel, Fd session, const rtp_connection_params& params,
                       const rtp_attach_session_params& attach);
    const char* GetName() const override { return "rtp ext LEMZ (GW)"; }
};

class RtpED137Slot : public RtpExtSlot {
public:
    using RtpExtSlot::RtpExtSlot;
    const char* GetName() const override { return "rtp ext ed137"; }
};

// The radio side of an ED-137 radio-to-system link.
class RtpED137RadioGWSlot : public RtpED137Slot {
public:
    // The status timer runs every keep-alive period × multiplier / 2 ms;
    // with the transmission depending on squelch the input is gated.
    RtpED137RadioGWSlot(int channel, Fd session, const rtp_connection_params& params,
                        const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init,
                        const RTPSignalling::ED137RadioParams& radio);
    const char* GetName() const override { return "rtp ext ED137 (GW)"; }
};

#endif
