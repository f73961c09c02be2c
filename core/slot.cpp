#include "core/slot.h"

#include <algorithm>
#include <functional>
#include <iomanip>
#include <iostream>

#include "core/slot_connection.h"
#include "core/slot_factory.h"
#include "core/slot_table.h"

// ---- default hardware links -------------------------------------------------------

bool Slot::IHwConnectTransmitter(Slot& receiver) {
    return MuxConnect(*this, receiver);
}

bool Slot::IHwConnectReceiver(Slot& src) {
    return MuxConnect(src, *this);
}

bool Slot::IHwDisconnectTransmitter(Slot& receiver) {
    return MuxDisconnect(receiver);
}

bool Slot::IHwDisconnectReceiver(Slot&) {
    return MuxDisconnect(*this);
}

// ---- log name and signals ---------------------------------------------------------

void Slot::Put(std::ostream& os) const {
    if (id >= 0 && id < int(Slots::kSlots)) {
        char fill = os.fill('0');
        os << std::setw(2) << id;
        os.fill(fill);
    } else if (id == -1) {
        os << "na";
    } else {
        os << 'i' << unsigned(id);
    }
    os << ':' << GetName();
}

std::ostream& operator<<(std::ostream& os, const Slot& slot) {
    slot.Put(os);
    return os;
}

void Slot::SendSignal(const LGCP::Signal& signal) {
    Slots::instance()->SendSignal(unsigned(id), signal);
}

void Slot::OnTonecEvent(const LGCP::TonecEvent& e) {
    Emit(&LGCP::Signal::set_tonec, e);
}

void Slot::OnNumber(const std::string& number) {
    Emit(&LGCP::Signal::set_number, number);
}

void Slot::OnModem(const TERM::ModemProceeding& m) {
    Emit(&LGCP::Signal::set_modemProceeding, m);
}

void Slot::OnModem(const TERM::ModemInformation& m) {
    Emit(&LGCP::Signal::set_modemInformation, m);
}

void Slot::OnActivated() {
    LGCP::Signal s;
    s.set_activated();
    SendSignal(s);
}

void Slot::OnDeactivated() {
    Emit(&LGCP::Signal::set_deactivated, LGCP::DeactivateCause(LGCP::DeactivateCause::networkError));
}

void Slot::OnAbort(int code) {
    Emit(&LGCP::Signal::set_abort, ASN1::INTEGER(code));
}

void Slot::OnUserData(const std::vector<char>& data) {
    Emit(&LGCP::Signal::set_userData, data);
}

void Slot::OnIoctlResponse(const LGCP::IoctlResponse& r) {
    Emit(&LGCP::Signal::set_ioctl, r);
}

void Slot::OnRtpRadioEvent(const TERM::RtpRadioRequest& r) {
    Emit(&LGCP::Signal::set_rtpExt, r);
}

void Slot::OnVADEvent(const LGCP::VADEvent& e) {
    Emit(&LGCP::Signal::set_vad, e);
}

void Slot::OnProtoLemzEvent(const LEMZGW::ProtoLemzPackets& p) {
    Emit(&LGCP::Signal::set_protoLemz, p);
}

void Slot::OnSDEvent(const LGCP::SDEvent& e) {
    Emit(&LGCP::Signal::set_sd, e);
}

void Slot::OnRtpEvent(const LGCP::RtpEvent& e) {
    Emit(&LGCP::Signal::set_rtp, e);
}

// ---- stream states ----------------------------------------------------------------

// The flag is set before the unlinking: a kind that reports the same state
// again from its release hook then sends nothing twice.
void Slot::OnChangeInputStream(bool on) {
    if (on == inputActive) return;
    inputActive = on;
    LGCP::Signal s;
    if (on) {
        s.set_receiver().set_active(IGetReceiveChannel());
    } else {
        s.set_receiver().set_inactive();
        Disconnect(*this);
    }
    SendSignal(s);
}

void Slot::OnChangeOutputStream(bool on) {
    if (on == outputActive) return;
    outputActive = on;
    LGCP::Signal s;
    if (on) {
        s.set_transmitter().set_active(IGetTransmitChannel());
    } else {
        s.set_transmitter().set_inactive();
        DisconnectReceivers(*this, "mux: internal error: expected slots not exists.");
    }
    SendSignal(s);
}

// ---- links and destruction --------------------------------------------------------

void Slot::LogicalConnect(Slot& src) {
    source = &src;
    auto at = std::lower_bound(src.receivers.begin(), src.receivers.end(), this, std::less<Slot*>());
    if (at == src.receivers.end() || *at != this) src.receivers.insert(at, this);
}

void Slot::LogicalDisconnect() {
    if (!source) return;
    std::vector<Slot*>& list = source->receivers;
    auto at = std::lower_bound(list.begin(), list.end(), this, std::less<Slot*>());
    if (at != list.end() && *at == this) list.erase(at);
    source = nullptr;
}

bool Slot::BeforeDestroy() {
    if (!IBeforeDestroy()) return false;
    if (factory)
        factory->Remove(this);
    else
        std::cerr << "slot: internal error!!! BeforeDestroy() not connected to factory" << std::endl;
    return true;
}

void Slot::on_release() {
    if (!destroying || released) return;
    if (factory) factory->Remove(this);
    Slots::instance()->on_release(this);
}
