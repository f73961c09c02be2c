#include "hardware/hdlc.h"

#include <errno.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "board/mcc_driver.h"
#include "hardware/mcc_channel.h"
#include "core/trace_ctl.h"
#include "hardware/driver_read.h"
#include "hardware/hw_mux.h"

namespace {

// The listener of a channel nobody listens to.
class NoListener : public HDLC::Notify {
public:
    void on_hdlc_receive(Packet&) override {}
    void on_hdlc_error(Cause::Type) override {}
    void on_hdlc_ready() override {}
};

HDLC::Notify& noListener() {
    static NoListener listener;
    return listener;
}

}  // namespace

HDLC::HDLC() : listener_(&noListener()) {
    m_event.Bind("HDLC::OnEvent", &HDLC::on_event, this);
}

HDLC::~HDLC() = default;

void HDLC::unbind() {
    listener_ = &noListener();
}

void HDLC::PutHeader(std::ostream& os) const {
    os << "hdlc"
       << " [" << trace_id << "/" << params.timeslot << "]: ";
}

int64_t HDLC::modeCode(int32_t mode) {
    static const uint32_t kCodes[] = {3, 0, 1};
    return mode >= 0 && mode < 3 ? int64_t(kCodes[mode]) : -1;
}

bool HDLC::activationFailed(int fd, const char* what, int err) {
    if (fd >= 0) boardIo().close(fd);
    PutHeader(std::cerr);
    std::cerr << what << std::strerror(err) << std::endl;
    return false;
}

bool HDLC::activate() {
    deactivate();
    counters_ = Counters();
    int64_t code = modeCode(params.mode);
    if (code < 0) {
        PutHeader(std::cerr);
        std::cerr << "activate fail: no controller mode " << params.mode << std::endl;
        return false;
    }
    int fd = Mcc::OpenDevice();
    if (fd < 0) return activationFailed(fd, "fail to open MCC device: ", errno);
    Mcc::Allocate a{static_cast<uint32_t>(code), kRxPacketSize, 0, kRxThreshold, kTxThreshold};
    if (!Mcc::AllocateChannel(fd, a)) return activationFailed(fd, "MCC_ALLOCATE fail: ", errno);
    int controller = boardIo().ioctl(fd, Mcc::MCC_TIMESLOT, 0L);
    if (controller < 0) return activationFailed(fd, "MCC_TIMESLOT fail: ", errno);
    connectSwitch(controller);
    m_event.Schedule(fd, POLLIN | POLLOUT);
    boardIo().close(fd);
    ready = false;
    if (traces.hdlc) {
        PutHeader(std::clog);
        std::clog << "activated" << std::endl;
    }
    return is_open();
}

// The controller listens to the receive channel (in mode 2 it sends into
// the transmit channel instead of the receive one); a channel of -1 is none.
void HDLC::connectSwitch(int controller) {
    HwMux& mux = HwMux::instance();
    int output = params.mode == 2 ? params.txChannel : params.rxChannel;
    if (output >= 0) mux.Connect(controller, output);
    if (params.rxChannel >= 0) mux.Connect(params.rxChannel, controller);
}

void HDLC::deactivate() {
    m_event.Release();
    ready = false;
    if (traces.hdlc) {
        PutHeader(std::clog);
        std::clog << "deactivated" << std::endl;
    }
}

bool HDLC::hdlc_transmit(Packet& frame) {
    if (frame.length() == 0) return true;
    if (!is_open()) {
        ++counters_.txDiscard;
        return false;
    }
    if (traces.hdlc) std::clog << "HDLC[" << trace_id << "]: tx " << frame.text() << std::endl;
    switch (Mcc::WriteFrame(m_event.fd.get(), frame)) {
        case Mcc::FrameWrite::kSent:
            ++counters_.txSU;
            return true;
        case Mcc::FrameWrite::kFull:
            // The controller's queue is full: wait until it takes frames.
            ready = false;
            m_event.events = POLLIN | POLLOUT;
            return false;
        case Mcc::FrameWrite::kFailed:
            break;
    }
    ++counters_.txError;
    return false;
}

void HDLC::on_event(int, short revents) {
    if (revents & kDriverReadEvents) do_read(revents);
    if ((revents & POLLOUT) && is_open() && !ready) {
        ready = true;
        m_event.events = POLLIN;
        listener_->on_hdlc_ready();
    }
}

void HDLC::do_read(short revents) {
    if (traces.hdlc) {
        PutHeader(std::clog);
        std::clog << "do_read" << std::endl;
    }
    if (!is_open()) {
        PutHeader(std::clog);
        std::clog << "do_read: !m_event.IsActive()" << std::endl;
        return;
    }
    Packet frame;
    std::string failure;
    DriverRead outcome = Mcc::ReadFrame(m_event.fd.get(), revents, frame, failure);
    if (outcome == DriverRead::kLater) return;
    if (outcome == DriverRead::kData && !frame) {
        PutHeader(std::cerr);
        std::cerr << "rx frame dropped: no free packet" << std::endl;
        return;
    }
    if (outcome == DriverRead::kData) {
        if (traces.hdlc) std::clog << "HDLC[" << trace_id << "]: rx " << frame.text() << std::endl;
        ++counters_.rxSU;
        listener_->on_hdlc_receive(frame);
        return;
    }
    PutHeader(std::cerr);
    std::cerr << "read error: " << failure << std::endl;
    deactivate();
    listener_->on_hdlc_error(Notify::Cause::ReadError);
}
