#include "rtp/radio_control.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <list>

#include "board/board_io.h"
#include "runtime/inet4_addr.h"
#include "runtime/mux_clock.h"
#include "runtime/net.h"

namespace RTPSignalling {

using namespace Rtp;

const char* GetRtpExtDevName() {
    return "/dev/rtp_ext";
}

std::string DottedAddr(uint32_t networkOrder) {
    char text[INET_ADDRSTRLEN];
    in_addr a;
    a.s_addr = networkOrder;
    return inet_ntop(AF_INET, &a, text, sizeof text) ? text : "0.0.0.0";
}

bool ParseAddr(const std::string& dotted, uint32_t& networkOrder) {
    if (INet4::ParseDottedQuad(dotted, networkOrder)) return true;
    networkOrder = 0;
    return false;
}

RadioControl::RadioControl(int slotId, const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init)
    : extInit(init), extAttach(attach), slotId(static_cast<unsigned long>(slotId)) {
    Init(ExtAttached);
}

RadioControl::RadioControl(int slotId, Fd rtp, const rtp_attach_session_params& attach)
    : rtpFd(rtp.dup()), rtpAttach(attach), slotId(static_cast<unsigned long>(slotId)) {
    Init(RtpAttached);
}

RadioControl::RadioControl(const rtp_ext_init_params& init) : extInit(init) {
    Init(ExtStandalone);
}

RadioControl::~RadioControl() {
    statusTimer.reset();
    event.Release();
    extFd.close();
    rtpFd.close();
}

void RadioControl::Init(RadioControlType kind) {
    type = kind;
    lastStatusTime = Mux::milliseconds();
    statusInterval = 1000;
    accessHeld = timerEnabled = trace = false;
    notify = nullptr;
    // The virtual callback, so that the subclass's receive loop is called.
    event.Bind("RadioControl::OnRtpExtEvent", &RadioControl::OnRtpExtEvent, this);
    RtpExtStart(true);
    localAddr = ChooseLocalAddr();
}

// The first private address of the host's interfaces, in the system's order.
INet4::Addr RadioControl::ChooseLocalAddr() {
    std::list<INet4::Addr> addresses;
    INet4::Addr chosen;
    if (Net::ifconfig(addresses, Net::IF_PRIVATE) > 0)
        chosen = addresses.front();
    else
        chosen.Assign("127.0.0.1");
    return chosen;
}

std::string RadioControl::GetPrefix() const {
    Mux::timeval now;
    Mux::gettimeval(now);
    std::string time = Mux::timevaltostring(now);
    char prefix[254];
    if (type == ExtStandalone)
        std::snprintf(prefix, sizeof prefix, "rtp_ext %s:", time.c_str());
    else
        std::snprintf(prefix, sizeof prefix, "rtp_ext[%lu] %s:", slotId, time.c_str());
    return prefix;
}

std::ostream& RadioControl::Log() const {
    return std::clog << GetPrefix();
}

std::ostream& RadioControl::Err() const {
    return std::cerr << GetPrefix();
}

// ---- the session -------------------------------------------------------------------

// Non-blocking: a wake-up reads what the driver announced and a write the
// driver cannot take fails instead of holding the loop.
bool RadioControl::OpenExt(bool attach) {
    Fd fd = boardIo().open(GetRtpExtDevName(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (!fd) {
        Err() << "create rtp_ext session fail !!!" << std::endl;
        return false;
    }
    rtp_ext_init_params init = extInit;
    if (boardIo().ioctl(fd.get(), RTP_EXT_INIT, &init) < 0) {
        Err() << "init rtp_ext session fail !!!" << std::endl;
        fd.close();
        return false;
    }
    rtp_ext_attach_session_params a = extAttach;
    if (attach && boardIo().ioctl(fd.get(), RTP_EXT_ATTACH, &a) < 0) {
        Err() << "attach rtp_ext session fail !!!" << std::endl;
        fd.close();
        return false;
    }
    // A session begun again keeps out the same senders as the one before.
    rtp_ext_source_filter f = filter;
    if (accessHeld && boardIo().ioctl(fd.get(), RTP_EXT_SET_FILTER, &f) < 0)
        Err() << "set filer rtp_ext session fail !!!" << std::endl;
    event.Release();
    extFd.close();
    extFd = fd;
    event.Schedule(extFd, POLLIN);
    return true;
}

bool RadioControl::RtpExtStart(bool open_standalone) {
    switch (type) {
        case ExtAttached:
            return OpenExt(true);
        case RtpAttached: {
            rtp_attach_session_params a = rtpAttach;
            if (boardIo().ioctl(rtpFd.get(), RTP_ATTACH, &a) < 0) {
                Err() << "attach rtp session fail !!!" << std::endl;
                return false;
            }
            return true;
        }
        case ExtStandalone:
            return !open_standalone || OpenExt(false);
    }
    return false;
}

bool RadioControl::RtpExtStop() {
    if (type != ExtAttached) return true;
    if (extFd) {
        rtp_ext_attach_session_params a = extAttach;
        if (boardIo().ioctl(extFd.get(), RTP_EXT_DETACH, &a) < 0) Err() << "detach rtp_ext session fail !!!" << std::endl;
    }
    event.Release();
    extFd.close();
    return true;
}

void RadioControl::SetRtpSession(Fd session) {
    if (type == ExtAttached) extAttach.fd_rtp = session.get();
    if (type == RtpAttached) {
        rtpFd.close();
        rtpFd = session.dup();
    }
}

// A session whose descriptor failed is polled no more, or poll would report
// it on every pass.
void RadioControl::Lose(const std::string& why) {
    Err() << "read rtp_ext session fail: " << why << " !!!" << std::endl;
    event.Release();
}

// ---- payloads --------------------------------------------------------------------

bool RadioControl::BeginReceive(short revents) {
    if (!(revents & POLLIN)) {
        if (revents & (POLLERR | POLLHUP | POLLNVAL)) Lose(PollEventAsText(revents));
        return false;
    }
    if (trace) Log() << "receive extension packet(s)!" << std::endl;
    return true;
}

void RadioControl::OnRtpExtEvent(int, short revents) {
    BeginReceive(revents);
}

int RadioControl::ReadPacket(unsigned char* buf, short revents) {
    // Cleared first: a failed request must not leave the last sender's
    // address to pass the access rules.
    packetInfo = rtp_ext_packet_info{};
    // Whatever it answers, the read follows: a driver may answer 0 for
    // success as well as the payloads waiting, and only the read tells
    // that nothing more is there.
    int waiting = boardIo().ioctl(extFd.get(), RTP_EXT_PACKET_INFO, &packetInfo);
    if (waiting > 0)
        ++stats.announced;
    else if (waiting < 0)
        stats.infoErrno = errno;
    ssize_t n = boardIo().read(extFd.get(), buf, kRtpExtPayloadMax);
    if (n > 0) {
        stats.bytesRead += uint32_t(n);
        return int(n);
    }
    int err = errno;
    if (n < 0) stats.readErrno = err;
    bool later = n == 0 || err == EAGAIN || err == EWOULDBLOCK || err == EINTR;
    if (!later || (revents & (POLLERR | POLLHUP | POLLNVAL)))
        Lose(n == 0 ? "end of file" : n < 0 && !later ? std::strerror(err) : PollEventAsText(revents));
    return 0;
}

ssize_t RadioControl::WritePacket(const unsigned char* buf, int len) {
    ssize_t n = boardIo().write(extFd.get(), buf, size_t(len));
    if (n > 0) {
        stats.bytesWritten += uint32_t(n);
        ++stats.written;
    } else if (n < 0) {
        stats.writeErrno = errno;
    }
    return n;
}

void RadioControl::Notify(const TERM::RtpRadioRequest& request) {
    if (notify) notify->RadioControlNotify(request);
}

void RadioControl::Notify(int code) {
    if (notify) notify->RadioControlNotify(code);
}

bool RadioControl::RefuseAddress(const TERM::RadioModifier& modifier) const {
    Err() << "radio request refused, an address is no dotted quad: " << modifier << std::endl;
    return false;
}

OutOfRange RadioControl::RangeNote() const {
    return [this](const char* field, unsigned raw, const char* taken) {
        Err() << field << " " << raw << " from the radio lies beyond the controller's range, taken as " << taken
              << std::endl;
    };
}

// ---- the status timer -------------------------------------------------------------

void RadioControl::SetTimerEnable(bool on) {
    timerEnabled = on;
    if (on)
        SetTimer(statusInterval);
    else
        statusTimer.reset();
}

void RadioControl::SetTimer(unsigned long ms) {
    statusTimer.set(unsigned(ms), &RadioControl::OnProcessStatus, this);
}

void RadioControl::OnProcessStatus(Timer*) {
    unsigned long interval = statusInterval;
    uint32_t now = Mux::milliseconds();
    lastStatusTime = now;
    unsigned long next = ProcessRadioStatus(now, interval);
    if (timerEnabled) SetTimer(next);
}

unsigned long RadioControl::ProcessRadioStatus(unsigned long, unsigned long interval) {
    return interval;
}

// ---- the access holder ------------------------------------------------------------

int RadioControl::UpdateAccess(bool take, const in_addr& holder) {
    if (take) {
        if (accessHeld && filter.addr == holder.s_addr) return 0;
        filter = rtp_ext_source_filter{holder.s_addr, 0};
        accessHeld = true;
        rtp_ext_source_filter f = filter;
        if (boardIo().ioctl(extFd.get(), RTP_EXT_SET_FILTER, &f) < 0) Err() << "set filer rtp_ext session fail !!!" << std::endl;
        return 0;
    }
    if (!accessHeld) return 0;
    filter = rtp_ext_source_filter{};
    accessHeld = false;
    rtp_ext_source_filter f = filter;
    if (boardIo().ioctl(extFd.get(), RTP_EXT_RESET_FILTER, &f) < 0) Err() << "reset filer rtp_ext session fail !!!" << std::endl;
    return 0;
}

}  // namespace RTPSignalling
