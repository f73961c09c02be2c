#include "slots/pstn_slot.h"

#include <iostream>

#include "runtime/mux_clock.h"
#include "slots/signalling_support.h"

namespace {

const char* const kPrefix = "pstn-slot: ";

// The parameter less one, without overflowing for any INTEGER.
int minusOne(int value) {
    return int(unsigned(value) - 1u);
}

}  // namespace

const TimerSpec<PstnSlot>::Record PstnSlot::TUpdateRecord = {&PstnSlot::OnUpdateTimer, 3000};

// ---- construction -----------------------------------------------------------------

PstnSlot::PstnSlot(const LGCP::PstnParams& params) {
    hdlc.bind(*this);
    if (params.is_ss7())
        BuildSs7(params.get_ss7());
    else if (params.is_isdn())
        BuildIsdn(params.get_isdn());
    // So that an activation before any connection opens the right kind.
    hdlc.params.mode = mode < 2 ? mode : 2;
    created = Mux::milliseconds();
    update.set(this);
}

void PstnSlot::BuildSs7(const LGCP::SS7Params& p) {
    ss7 = new SS7::SLC;
    ss7->hdlc = &hdlc;
    ss7->trunk = unsigned(p.get_trunk().getValue());
    ss7->slc = unsigned(p.get_slc().getValue());
    ss7->dpc = unsigned(p.get_dpc().getValue());
    ss7->opc = unsigned(p.get_opc().getValue());
    ss7->emergency = p.get_emergency().getValue();
    add_protocol_tail(ss7);
    linkListener = ss7;
    hdlc.trace_id = p.get_trunk().getValue();
    trunkIndex = minusOne(p.get_trunk().getValue());
}

void PstnSlot::BuildIsdn(const LGCP::IsdnParams& p) {
    bool bri = p.get_type().getValue() == LGCP::IsdnType::bri;
    bool network = p.get_side().is_network();
    uint32_t log = uint32_t(p.get_log().getValue());
    if (bri && network) {
        // Its frames go down the stack (transmit) and come up through it.
        ISDN::LAPD_NT* nt = new ISDN::LAPD_NT;
        nt->set_log(log);
        add_protocol_tail(nt);
        mode = 3;
        return;
    }
    lapd = new ISDN::LAPD(ISDN::Side::user, 0);
    lapd->hdlc = &hdlc;
    lapd->side = network ? ISDN::Side::network : ISDN::Side::user;
    lapd->trunk = uint32_t(p.get_trunk().getValue());
    lapd->log = log;
    lapd->notify = this;
    hdlc.trace_level = log;
    hdlc.trace_id = p.get_trunk().getValue();
    trunkIndex = minusOne(p.get_trunk().getValue());
    if (bri) lapd->change_to_bri();
    mode = bri ? 2 : 1;
    add_protocol_tail(lapd);
    linkListener = lapd;
}

PstnSlot::~PstnSlot() {
    update.reset();
    DropLinks();
    hdlc.unbind();
    hdlc.deactivate();
}

void PstnSlot::DropLinks() {
    linkListener = nullptr;
    ss7 = nullptr;
    lapd = nullptr;
    while (Protocol* layer = top()) delete layer;
}

// ---- hardware links ---------------------------------------------------------------

bool PstnSlot::IHwConnectReceiver(Slot& src) {
    HDLC::Params p = hdlc.params;
    if (mode < 2) {
        p.trunk = src.GetTrunk();
        if (unsigned(p.trunk) > 3) {
            std::cerr << kPrefix << "invalid trunk number: " << unsigned(p.trunk) << std::endl;
            return false;
        }
        p.timeslot = src.GetTrunkTimeSlot();
        if (unsigned(p.timeslot) > 31) {
            std::cerr << kPrefix << "invalid timeslot: " << unsigned(p.timeslot) << std::endl;
            return false;
        }
    }
    p.rxChannel = src.IGetTransmitChannel();
    hdlc.params = p;
    // A BRI D channel needs both directions before it can open.
    if (mode >= 2 && p.txChannel == -1) return true;
    iactivate();
    return true;
}

bool PstnSlot::IHwConnectTransmitter(Slot& dst) {
    if (mode < 2) return true;  // the channel sends into the time slot it receives
    hdlc.params.txChannel = dst.IGetReceiveChannel();
    if (hdlc.params.rxChannel != -1) iactivate();
    return true;
}

bool PstnSlot::IHwDisconnectTransmitter(Slot& dst) {
    if (mode >= 2) deactivate();
    Slot::IHwDisconnectTransmitter(dst);
    return true;
}

bool PstnSlot::IHwDisconnectReceiver(Slot& src) {
    deactivate();
    Slot::IHwDisconnectReceiver(src);
    return true;
}

void PstnSlot::iactivate() {
    if (hdlc.activate())
        activate();
    else
        OnDeactivated();
}

// ---- controller requests ----------------------------------------------------------

bool PstnSlot::IActivate(const TERM::TermActivateParams&) {
    if (!top()) return false;
    iactivate();
    return true;
}

bool PstnSlot::IDeactivate() {
    deactivate();
    return true;
}

bool PstnSlot::IUserData(const std::vector<char>& data) {
    const char* why = ControllerData::SendDown(*this, data);
    if (!why) return true;
    std::cerr << kPrefix << "user data refused, " << why << " (" << ++refused << " refused)" << std::endl;
    return false;
}

bool PstnSlot::Ioctl(const LGCP::IoctlParams& params) {
    if (!ss7) return false;
    if (params.is_ss7RqBSN()) {
        LGCP::IoctlResponse r;
        r.set_ss7BSN(int(ss7->BSN()));
        OnIoctlResponse(r);
        return true;
    }
    if (!params.is_ss7Log()) return false;
    const LGCP::SS7L2Log& l = params.get_ss7Log();
    SS7::SLC::Traces& t = ss7->trace;
    t.state = l.get_state().getValue();
    t.raw_receive = l.get_raw_receive().getValue();
    t.raw_transmit = l.get_raw_transmit().getValue();
    t.mtp_transmit = l.get_mtp_transmit().getValue();
    t.mtp_receive = l.get_mtp_receive().getValue();
    t.mtp_activate = l.get_mtp_activate().getValue();
    t.timers = l.get_timers().getValue();
    t.msu_processing = l.get_msu_processing().getValue();
    return true;
}

void PstnSlot::OnTrunkStatus(unsigned trunk, const ACP::TrunkState::NamedNumber& state) {
    if (int(trunk) != trunkIndex || !ss7 || int(state) == lastTrunkState) return;
    ss7->OnTrunkHardStatus(state == ACP::TrunkState::normal);
    lastTrunkState = state;
}

// ---- channel events ---------------------------------------------------------------

void PstnSlot::on_hdlc_receive(Packet& frame) {
    if (linkListener)
        linkListener->on_hdlc_receive(frame);
    else
        receive(frame);
}

void PstnSlot::on_hdlc_error(HDLC::Notify::Cause::Type cause) {
    if (linkListener) linkListener->on_hdlc_error(cause);
    deactivate();
}

void PstnSlot::on_hdlc_ready() {
    if (linkListener) linkListener->on_hdlc_ready();
}

bool PstnSlot::transmit(Packet& frame) {
    return hdlc.hdlc_transmit(frame);
}

// ---- link events ------------------------------------------------------------------

void PstnSlot::on_activated(Protocol*) {
    SendIsdnInfo();
    SendSs7Info();
    OnActivated();
}

void PstnSlot::on_deactivated(Protocol*, Protocol_status_ptr) {
    SendIsdnInfo();
    SendSs7Info();
    OnUpdateTimer();
    OnDeactivated();
}

void PstnSlot::on_message(Packet& p) {
    p.passert(bool(p), "null packet");
    const char* bytes = reinterpret_cast<const char*>(p.data());
    OnUserData(std::vector<char>(bytes, bytes + p.length()));
}

void PstnSlot::OnLAPD_FlowStatusChange(ISDN::LAPD* link) {
    LGCP::IoctlResponse r;
    r.set_isdnLinkStatus(link->flow_status == ISDN::LAPD::FlowStatus::congested ? LGCP::IsdnLinkStatus::congested
                                                                                 : LGCP::IsdnLinkStatus::normal);
    OnIoctlResponse(r);
}

// ---- statistics -------------------------------------------------------------------

void PstnSlot::OnUpdateTimer() {
    update.set(this);
    OnIoctlResponse(HdlcLinkInfo(hdlc));
    SendIsdnInfo();
    SendSs7Info();
}

void PstnSlot::SendIsdnInfo() {
    if (!lapd) return;
    LGCP::IoctlResponse r;
    if (lapd->GetInfo(r.set_isdnLinkInfo())) OnIoctlResponse(r);
}

void PstnSlot::SendSs7Info() {
    if (!ss7) return;
    SS7::SLC::Statistics s = ss7->statistics();
    LGCP::IoctlResponse r;
    ACP::SS7LinkInfo& info = r.set_ss7LinkInfo();
    info.set_msuTxCount(int(s.msuTxCount));
    info.set_msuRxCount(int(s.msuRxCount));
    info.set_octetsTx(int(s.octetsTx));
    info.set_octetsRx(int(s.octetsRx));
    info.set_speedRx(0);
    info.set_speedTx(0);
    info.set_overflowCntr(int(s.overflowCntr));
    info.set_rtbSize(int(s.rtbSize));
    info.set_repeatCntr(int(s.repeatCntr));
    info.set_badSeqCntr(int(s.badSeqCntr));
    info.set_ss7state(ACP::SS7State::NamedNumber(ss7->get_state_id()));
    lastOctetsTx = s.octetsTx;
    lastOctetsRx = s.octetsRx;
    OnIoctlResponse(r);
}

// ---- factory ----------------------------------------------------------------------

Slot* PstnFactory::INewSlot(const LGCP::CreateParams& params) {
    return params.is_pstn() ? new PstnSlot(params.get_pstn()) : nullptr;
}

void PstnFactory::SelfSignal(const LGCP::Signal& signal) {
    ForwardTrunkStatus(*this, signal);
}
