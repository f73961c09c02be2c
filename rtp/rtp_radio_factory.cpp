#include "rtp/rtp_radio_factory.h"

#include <unistd.h>

#include <iostream>

#include "rtp/rtp_ext_slot.h"

using namespace RTPSignalling;

RtpRadioFactory::RtpRadioFactory(const char* kind) {
    prefix = kind;
}

Slot* RtpRadioFactory::INewSlot(const LGCP::CreateParams& cp) {
    if (!cp.is_rtp()) return nullptr;
    const LGCP::CreateRtpParams& p = cp.get_rtp();
    const TERM::RtpParams& c = p.get_codecRTP();
    if (!c.has_radio() || !Accepts(c.get_radio().get_status())) return nullptr;
    std::clog << *this << "do create " << prefix << ": " << c << std::endl;
    if (!CanBuild(c)) return nullptr;
    const TERM::RtpRadioRequest& radio = c.get_radio();
    Session s;
    if (!OpenSession(p, radio.has_bss_enable() && radio.get_bss_enable().getValue(), s)) return nullptr;
    RtpExtSlot* slot = MakeSlot(p, s);
    s.device = Fd();  // the slot owns it now
    slot->SetRadioStatus(radio.get_status());
    StartSlot(*slot, c, s);
    ApplyRadioDsp(*slot, radio);
    return slot;
}

void RtpRadioFactory::ApplyRadioDsp(RtpSlot& slot, const TERM::RtpRadioRequest& r) {
    Hardware::DSProcReceiver& dsp = slot.dsp();
    if (r.has_rx_delay() || r.has_tx_delay() || r.has_selcal_delay()) {
        auto delay = [](bool has, const ASN1::INTEGER& v) { return has ? unsigned(v.getValue()) : 0u; };
        dsp.configureDelays(delay(r.has_rx_delay(), r.get_rx_delay()), delay(r.has_tx_delay(), r.get_tx_delay()),
                            delay(r.has_selcal_delay(), r.get_selcal_delay()));
    }
    if (r.has_bss_enable()) dsp.enableBSS(r.get_bss_enable().getValue());
    if (r.has_ng_enable()) dsp.enableNG(r.get_ng_enable().getValue());
    if (r.has_selcal_sh_enable()) dsp.enableSelcalSh(r.get_selcal_sh_enable().getValue());
}

// ---- LEMZ ----------------------------------------------------------------------------

namespace {

// The `rtp-e2m` mode `only-rtp`, or null.
const TERM::RtpExtDescription* onlyRtp(const TERM::RtpParams& p) {
    if (!p.has_rtp_e2m() || !p.get_rtp_e2m().has_mode() || !p.get_rtp_e2m().get_mode().is_only_rtp()) return nullptr;
    return &p.get_rtp_e2m().get_mode().get_only_rtp();
}

}  // namespace

// Without a mode, or with one of the two known, the factory builds a slot.
bool RtpLEMZFactory::CanBuild(const TERM::RtpParams& p) const {
    if (!p.has_rtp_e2m() || !p.get_rtp_e2m().has_mode()) return true;
    const TERM::RtpExtMode& mode = p.get_rtp_e2m().get_mode();
    return mode.is_both_rtp_and_rtp_ext() || mode.is_only_rtp();
}

RtpExtSlot* RtpLEMZFactory::MakeSlot(const LGCP::CreateRtpParams& p, Session& s) {
    if (const TERM::RtpExtDescription* d = onlyRtp(p.get_codecRTP())) {
        rtp_attach_session_params attach{d->get_fd().getValue(), d->get_pid().getValue()};
        return new RtpLEMZRadioGWSlot(s.channel, s.device, s.params, attach);
    }
    rtp_ext_init_params init{};
    init.etype = kRtpExtLemz;
    rtp_ext_attach_session_params attach{s.device.get(), ::getpid()};
    return new RtpLEMZRadioGWSlot(s.channel, s.device, s.params, attach, init, true);
}

// ---- ED-137 --------------------------------------------------------------------------

// The driver counts the keep-alive period in packets of the session (its
// packet factor times 10 ms; 2 when the session names none) and, with a
// signalling period, in signalling periods.
RtpExtSlot* RtpED137Factory::MakeSlot(const LGCP::CreateRtpParams& p, Session& s) {
    ED137RadioParams radio;
    const TERM::ED137RadioStatus& status = p.get_codecRTP().get_radio().get_status().get_ed_137();
    if (status.has_radio_response()) radio.Init(status.get_radio_response());
    uint32_t factor = s.params.packet_factor ? s.params.packet_factor : 2;
    rtp_ext_init_params init{};
    init.etype = kRtpExtEd137;
    init.param[0] = 1;
    init.param[1] = 123;
    init.param[2] = radio.keepalivePeriod / (factor * 10);
    init.param[3] = 1;
    if (radio.sigtime != 0) {
        init.param[2] *= radio.sigtime;
        init.param[3] = radio.sigtime;
    }
    rtp_ext_attach_session_params attach{s.device.get(), -1};
    return new RtpED137RadioGWSlot(s.channel, s.device, s.params, attach, init, radio);
}
