#ifndef KORVAND_RTP_RTP_RADIO_FACTORY_H
#define KORVAND_RTP_RTP_RADIO_FACTORY_H

#include "rtp/rtp_factory.h"

class RtpExtSlot;

// Builds radio gateway slots from the create command `rtp` with a radio
// request: the RTP session as RtpFactory sets it up (the add-channel
// record carrying the request's BSS switch), the slot with its controller,
// then the request's DSP settings on the channel. The kinds say which
// requests are theirs and build the slot.
class RtpRadioFactory : public RtpFactory {
public:
    Slot* INewSlot(const LGCP::CreateParams& params) override;

protected:
    explicit RtpRadioFactory(const char* kind);

    virtual bool Accepts(const TERM::RadioStatus& status) const = 0;
    // False declines, silently and before anything is opened.
    virtual bool CanBuild(const TERM::RtpParams&) const { return true; }
    // The slot on the session `s`, whose descriptor it takes over.
    virtual RtpExtSlot* MakeSlot(const LGCP::CreateRtpParams& p, Session& s) = 0;

private:
    // The delays, BSS, noise gate and SELCAL shaper the request sets.
    static void ApplyRadioDsp(RtpSlot& slot, const TERM::RtpRadioRequest& radio);
};

// LEMZ radio gateways: the extension session attached to the slot's RTP
// session, or, for `rtp-e2m` mode `only-rtp`, the RTP session attached for
// the process named.
class RtpLEMZFactory : public RtpRadioFactory {
public:
    RtpLEMZFactory() : RtpRadioFactory("rtp ext LEMZ") {}
    const char* GetName() const override { return "RTP Ext LEMZ"; }

protected:
    bool Accepts(const TERM::RadioStatus& status) const override { return status.is_lemz(); }
    bool CanBuild(const TERM::RtpParams& p) const override;
    RtpExtSlot* MakeSlot(const LGCP::CreateRtpParams& p, Session& s) override;
};

// ED-137 radio gateways, with the keep-alive of the create command's radio
// response.
class RtpED137Factory : public RtpRadioFactory {
public:
    RtpED137Factory() : RtpRadioFactory("rtp ext ED137") {}
    const char* GetName() const override { return "RTP Ext ED137"; }

protected:
    bool Accepts(const TERM::RadioStatus& status) const override { return status.is_ed_137(); }
    RtpExtSlot* MakeSlot(const LGCP::CreateRtpParams& p, Session& s) override;
};

#endif
