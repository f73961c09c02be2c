#include "slots/hdlc_slot.h"

#include <algorithm>
#include <iostream>

#include "core/trace_ctl.h"
#include "slots/signalling_support.h"

namespace {

// Address and control octet.
const unsigned kHeader = 3;

}  // namespace

const TimerSpec<HdlcSlot>::Record HdlcSlot::TUpdateRecord = {&HdlcSlot::OnUpdateTimer, 3000};

HdlcSlot::HdlcSlot(const LGCP::HdlcParams& params)
    : trunkIndex(int(unsigned(params.get_trunk().getValue()) - 1u)),
      address(uint16_t(params.get_address().getValue())) {
    hdlc.bind(*this);
    hdlc.trace_id = params.get_trunk().getValue();
    hdlc.trace_level = uint32_t(params.get_log().getValue());
    if (traces.hdlc) line(std::clog) << "trunk=" << unsigned(trunkIndex) << ", address=" << address << std::endl;
    update.set(this);
    startPending();
}

HdlcSlot::~HdlcSlot() {
    update.reset();
    flush.reset();
    hdlc.unbind();
    hdlc.deactivate();
}

std::ostream& HdlcSlot::line(std::ostream& os) const {
    return os << "HdlcSlot[" << unsigned(trunkIndex) << "/*]: ";
}

void HdlcSlot::trace(const char* text) const {
    if (traces.hdlc) line(std::clog) << text << std::endl;
}

// ---- activation and connections ---------------------------------------------------

bool HdlcSlot::IActivate(const TERM::TermActivateParams&) {
    trace("IActivate");
    iactivate();
    return true;
}

bool HdlcSlot::IDeactivate() {
    OnUpdateTimer();
    return true;
}

void HdlcSlot::iactivate() {
    if (traces.hdlc) line(std::clog) << "Try to activate HDCL, params.tdm = " << hdlc.params.rxChannel << std::endl;
    if (!hdlc.activate()) {
        OnDeactivated();
        return;
    }
    trace("HDLC activated successfully");
}

void HdlcSlot::connect(int tdm) {
    hdlc.params.rxChannel = tdm;
    hdlc.params.mode = 1;
    if (tdm != -1) iactivate();
}

bool HdlcSlot::IHwConnectTransmitter(Slot& dst) {
    trace("IHwConnectTransmitter");
    connect(dst.IGetReceiveChannel());
    return true;
}

bool HdlcSlot::IHwConnectReceiver(Slot& src) {
    trace("IHwConnectReceiver");
    connect(src.IGetTransmitChannel());
    return true;
}

bool HdlcSlot::IHwDisconnectTransmitter(Slot& dst) {
    trace("IHwDisconnectTransmitter");
    Slot::IHwDisconnectTransmitter(dst);
    hdlc.deactivate();
    return true;
}

bool HdlcSlot::IHwDisconnectReceiver(Slot& src) {
    trace("IHwDisconnectReceiver");
    Slot::IHwDisconnectReceiver(src);
    hdlc.deactivate();
    return true;
}

// ---- sending ----------------------------------------------------------------------

bool HdlcSlot::Ioctl(const LGCP::IoctlParams& params) {
    return params.is_hdlcPackages() && enqueue(params.get_hdlcPackages());
}

bool HdlcSlot::enqueue(const ASN1::SEQUENCE_OF<LGCP::HdlcPackage>& packages) {
    unsigned wanted = unsigned(std::min<size_t>(packages.size(), kRing - ring.count()));
    const char* why = nullptr;
    for (const LGCP::HdlcPackage& p : packages)
        if (p.get_body().size() > packet_max_size - kHeader) why = "a package too long for one frame";
    if (!why && !ControllerData::PoolAllows(wanted)) why = "packet pool low";
    if (why) {
        dropped += unsigned(packages.size());
        line(std::cerr) << "packages refused, " << why << " (" << dropped << " dropped)" << std::endl;
        return false;
    }
    unsigned overflow = 0;
    for (const LGCP::HdlcPackage& package : packages) {
        const std::vector<char>& body = package.get_body();
        Packet frame;
        frame.reserve_head(0);
        frame.put16_b(address);
        frame.put(uint8_t(((sendCounter * 32) & 224) | lastReceived));
        ++sendCounter;
        frame.put(body.data(), unsigned(body.size()));
        if (traces.hdlc) line(std::clog) << "enqueue package: " << frame.text() << std::endl;
        if (!ring.put(frame)) ++overflow;
        if (!ring.empty() && hdlc.is_ready()) on_hdlc_ready();
    }
    if (overflow) {
        dropped += overflow;
        line(std::cerr) << "transmit ring full, " << overflow << " packages dropped (" << dropped << " dropped)"
                        << std::endl;
    }
    return true;
}

void HdlcSlot::on_hdlc_ready() {
    Packet next;
    while (ring.preview(&next)) {
        if (!hdlc.hdlc_transmit(next)) return;
        ring.get(nullptr);
        if (traces.hdlc) line(std::clog) << "on_hdlc_ready " << next.text() << std::endl;
    }
}

// ---- reception --------------------------------------------------------------------

void HdlcSlot::startPending() {
    pending.set_hdlcPackages().clear();
    pendingOctets = 0;
}

void HdlcSlot::on_hdlc_receive(Packet& frame) {
    if (traces.hdlc) line(std::clog) << "on_hdlc_receive " << frame.text() << std::endl;
    enqResponce(frame);
    if (frame.length() < 5) return;
    if (!(frame[4] & 0x80)) {
        flush.reset();
        flushResponce();
    } else if (!flush.armed()) {
        flush.set(kFlushMs, &HdlcSlot::flushResponce, this);
    }
}

namespace {

// Octet `i` of a frame; 0 beyond its end.
unsigned octet(const Packet& frame, unsigned i) {
    return i < frame.length() ? frame[i] : 0;
}

}  // namespace

void HdlcSlot::enqResponce(Packet& frame) {
    unsigned to = octet(frame, 0) << 8 | octet(frame, 1);
    unsigned control = octet(frame, 2);
    if (to != address) return;
    lastReceived = uint8_t(control >> 5);
    const uint8_t* body = frame.data() + std::min(frame.length(), kHeader);
    const uint8_t* end = frame.data() + frame.length();
    LGCP::HdlcPackage package;
    package.set_body(std::vector<char>(body, end));
    ASN1::SEQUENCE_OF<LGCP::HdlcPackage>& list = pending.set_hdlcPackages();
    list.push_back(package);
    pendingOctets += size_t(end - body);
    if (list.size() < kFlushPackages && pendingOctets < kFlushOctets) return;
    flush.reset();
    flushResponce();
}

void HdlcSlot::flushResponce() {
    size_t n = pending.get_hdlcPackages().size();
    if (traces.hdlc) line(std::clog) << "flushResponce: " << n << std::endl;
    if (n > 0) OnIoctlResponse(pending);
    startPending();
}

void HdlcSlot::on_hdlc_error(HDLC::Notify::Cause::Type) {
    line(std::clog) << "on_hdlc_error" << std::endl;
}

// ---- statistics -------------------------------------------------------------------

void HdlcSlot::OnUpdateTimer() {
    update.set(this);
    OnIoctlResponse(HdlcLinkInfo(hdlc));
}

// ---- factory ----------------------------------------------------------------------

Slot* HdlcSlotFactory::INewSlot(const LGCP::CreateParams& params) {
    if (traces.hdlc) std::clog << "\n\nHdlcSlotFactory.INewSlot\n\n" << std::endl;
    return params.is_hdlcParams() ? new HdlcSlot(params.get_hdlcParams()) : nullptr;
}

void HdlcSlotFactory::SelfSignal(const LGCP::Signal& signal) {
    ForwardTrunkStatus(*this, signal);
}
