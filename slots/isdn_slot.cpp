#include "slots/isdn_slot.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "board/dsp_data_driver.h"
#include "board/mcc_driver.h"
#include "core/trace_ctl.h"
#include "hardware/driver_read.h"
#include "hardware/mcc_channel.h"
#include "slots/signalling_support.h"

namespace {

const char* const kFactoryPrefix = "mcc/isdn: ";
const char* const kBPrefix = "ats-qsig-b: ";

// A new link of the parameters' side and log level, on the user side
// until told otherwise.
ISDN::LAPD* NewLink(bool network, int log) {
    ISDN::LAPD* link = new ISDN::LAPD(ISDN::Side::user, 0);
    link->log = uint32_t(log);
    link->side = network ? ISDN::Side::network : ISDN::Side::user;
    return link;
}

}  // namespace

// ---- ISDN slot --------------------------------------------------------------------

IsdnSlot::IsdnSlot(ISDN::LAPD* link) : lapd(link) {
    lapd->notify = this;
    lapd->hdlc = this;
    add_protocol_tail(lapd);
}

IsdnSlot::IsdnSlot(Fd fd, ISDN::LAPD* link) : IsdnSlot(link) {
    channel = boardIo().ioctl(fd.get(), Mcc::MCC_TIMESLOT, 0L);
    Schedule(fd, "IsdnSlot::OnEvent");
}

void IsdnSlot::Schedule(Fd fd, const char* eventName) {
    m_event.Bind(eventName, &IsdnSlot::OnEvent, this);
    m_event.Schedule(fd, POLLIN | POLLOUT);
    ready = false;
}

IsdnSlot::~IsdnSlot() {
    while (Protocol* layer = top()) delete layer;
}

void IsdnSlot::PutHeader(std::ostream& os) const {
    os << "isdn-slot[" << channel << "]: ";
}

// Once the channel has ended nothing can be sent: the link could never
// come up.
bool IsdnSlot::IActivate(const TERM::TermActivateParams&) {
    if (!is_open()) return false;
    activate();
    return true;
}

bool IsdnSlot::IDeactivate() {
    deactivate();
    return true;
}

bool IsdnSlot::IUserData(const std::vector<char>& data) {
    const char* why = is_open() ? ControllerData::SendDown(*this, data) : "channel closed";
    if (!why) return true;
    PutHeader(std::cerr);
    std::cerr << "user data refused, " << why << " (" << ++refused << " refused)" << std::endl;
    return false;
}

// ---- the device -------------------------------------------------------------------

void IsdnSlot::OnEvent(int, short revents) {
    if (revents & kDriverReadEvents) ReadFrame(revents);
    if ((revents & POLLOUT) && is_open() && !ready) {
        ready = true;
        m_event.events = POLLIN;
        lapd->on_hdlc_ready();
    }
}

void IsdnSlot::ReadFrame(short revents) {
    Packet frame;
    std::string failure;
    DriverRead outcome = Mcc::ReadFrame(m_event.fd.get(), revents, frame, failure);
    if (outcome == DriverRead::kLater) return;
    if (outcome == DriverRead::kFailed) {
        PutHeader(std::cerr);
        std::cerr << "device lost, " << failure << std::endl;
        m_event.Release();
        ready = false;
        OnDeactivated();
        return;
    }
    if (!frame) {
        PutHeader(std::cerr);
        std::cerr << "rx frame dropped: no free packet" << std::endl;
        return;
    }
    if (traces.isdn) {
        PutHeader(std::clog);
        std::clog << ": rx " << frame.text() << std::endl;
    }
    receive(frame);
}

bool IsdnSlot::hdlc_transmit(Packet& frame) {
    if (frame.length() == 0) return true;
    if (!is_open()) return false;
    Mcc::FrameWrite written = Mcc::WriteFrame(m_event.fd.get(), frame);
    if (written == Mcc::FrameWrite::kFull) {
        ready = false;
        m_event.events = POLLIN | POLLOUT;
    }
    if (written != Mcc::FrameWrite::kSent) return false;
    if (traces.isdn) {
        PutHeader(std::clog);
        std::clog << ": tx " << frame.text() << std::endl;
    }
    return true;
}

// ---- link events ------------------------------------------------------------------

void IsdnSlot::SendInfo() {
    LGCP::IoctlResponse r;
    if (lapd->GetInfo(r.set_isdnLinkInfo())) OnIoctlResponse(r);
}

void IsdnSlot::on_activated(Protocol*) {
    SendInfo();
    OnActivated();
}

void IsdnSlot::on_deactivated(Protocol*, Protocol_status_ptr) {
    SendInfo();
    OnDeactivated();
}

void IsdnSlot::on_message(Packet& p) {
    p.passert(bool(p), "null packet");
    const char* bytes = reinterpret_cast<const char*>(p.data());
    OnUserData(std::vector<char>(bytes, bytes + p.length()));
}

// ---- ATS Q.SIG --------------------------------------------------------------------

AtsQsigSlot::AtsQsigSlot(Fd fd, ISDN::LAPD* link) : IsdnSlot(link) {
    channel = boardIo().ioctl(fd.get(), DspData::DSPDATA_SIGNALLING, 0L);
    Schedule(fd, "AtsQsigSlot::OnEvent");
}

AtsQsigSlot::~AtsQsigSlot() {
    for (AtsQsigBSlot* b : bSlots) b->signalling = nullptr;
}

bool AtsQsigSlot::IBeforeDestroy() {
    m_event.Release();
    return true;
}

AtsQsigBSlot* AtsQsigSlot::NewBChannel(unsigned number) {
    DspData::BChannel r{int32_t(number), -1};
    if (!is_open() || boardIo().ioctl(m_event.fd.get(), DspData::DSPDATA_ADD_B, static_cast<void*>(&r)) < 0) {
        std::cerr << "ats-qsig: add B channel fail !!!" << std::endl;
        return nullptr;
    }
    AtsQsigBSlot* b = new AtsQsigBSlot(*this, int(number), r.tdm);
    bSlots.push_back(b);
    return b;
}

void AtsQsigSlot::RemoveBChannel(AtsQsigBSlot& b) {
    DspData::BChannel r{b.number, b.channel};
    if (is_open()) boardIo().ioctl(m_event.fd.get(), DspData::DSPDATA_REMOVE_B, static_cast<void*>(&r));
    bSlots.erase(std::remove(bSlots.begin(), bSlots.end(), &b), bSlots.end());
    b.signalling = nullptr;
}

AtsQsigBSlot::AtsQsigBSlot(AtsQsigSlot& signalling, int number, int channel)
    : signalling(&signalling), number(number), channel(channel) {}

AtsQsigBSlot::~AtsQsigBSlot() {
    if (signalling) signalling->RemoveBChannel(*this);
}

bool AtsQsigBSlot::IBeforeDestroy() {
    if (signalling)
        signalling->RemoveBChannel(*this);
    else
        std::clog << kBPrefix << "Can't find signalling slot" << std::endl;
    return true;
}

// ---- factory ----------------------------------------------------------------------

Slot* IsdnFactory::INewSlot(const LGCP::CreateParams& params) {
    if (params.is_isdn()) return NewIsdnSlot(params.get_isdn());
    if (params.is_ats_qsig()) return NewAtsQsigSlot(params.get_ats_qsig());
    if (params.is_ats_qsig_b()) return NewAtsQsigBSlot(params.get_ats_qsig_b());
    return nullptr;
}

Slot* IsdnFactory::FindSlot(unsigned id) const {
    for (Slot* slot : GetSlots())
        if (slot->GetId() == int(id)) return slot;
    return nullptr;
}

Slot* IsdnFactory::NewIsdnSlot(const LGCP::IsdnParams& p) {
    int fd = Mcc::OpenDevice();
    if (fd < 0) {
        std::cerr << kFactoryPrefix << "fail to open MCC device: " << std::strerror(errno) << std::endl;
        return nullptr;
    }
    bool bri = p.get_type().getValue() == LGCP::IsdnType::bri;
    ISDN::LAPD* link = NewLink(p.get_side().is_network(), p.get_log().getValue());
    if (bri) link->change_to_bri();
    link->trunk = uint32_t(p.get_trunk().getValue());
    if (!Mcc::AllocateChannel(fd, Mcc::byteChannel(bri ? Mcc::kBri : Mcc::kData))) {
        std::cerr << kFactoryPrefix << "MCC_ALLOCATE fail: " << std::strerror(errno) << std::endl;
        delete link;
        boardIo().close(fd);
        return nullptr;
    }
    IsdnSlot* slot = new IsdnSlot(fd, link);
    boardIo().close(fd);
    return slot;
}

Slot* IsdnFactory::NewAtsQsigSlot(const LGCP::AtsQsigParams& p) {
    int fd = boardIo().open(DspData::kDevice, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::cerr << kFactoryPrefix << "fail to open dsp-data device: " << std::strerror(errno) << std::endl;
        return nullptr;
    }
    AtsQsigSlot* slot = new AtsQsigSlot(fd, NewLink(p.get_side().is_network(), p.get_log().getValue()));
    boardIo().close(fd);
    if (slot->IGetReceiveChannel() < 0) {
        std::cerr << kFactoryPrefix << "no signalling channel on the dsp-data device" << std::endl;
        delete slot;
        return nullptr;
    }
    slot->Link()->trunk = uint32_t(slot->IGetReceiveChannel());
    return slot;
}

Slot* IsdnFactory::NewAtsQsigBSlot(const LGCP::AtsQsigBParams& p) {
    AtsQsigSlot* signalling = dynamic_cast<AtsQsigSlot*>(FindSlot(unsigned(p.get_slot().getValue())));
    int subslot = p.get_subslot().getValue();
    if (!signalling || subslot < 1 || subslot > 3) return nullptr;
    return signalling->NewBChannel(unsigned(subslot - 1));
}
