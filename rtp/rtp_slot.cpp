#include "rtp/rtp_slot.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>

#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "hardware/driver_read.h"
#include "hardware/dsp_device.h"
#include "hardware/hw_mux.h"

using namespace Rtp;

const char* const kRtcpCname = "Vastrel Tramwick";
const char* const kRtcpEmail = "gateway-support@vastrel-tramwick.com";
const char* const kRtcpPhone = "+44 20 7946 0018";

RtpSlot::RtpSlot(int channel, Fd session, const rtp_connection_params& params)
    : SlotDspEvents(*this, Hardware::kAllDspEvents & ~Hardware::kToneGenComplete),
      channel(channel),
      session(session),
      params(params),
      lbrcPayload(params.rx_pt) {
    std::memset(&rtcpPeer, 0, sizeof rtcpPeer);
    event.Bind("RtpSlot::OnRtpEvent", &RtpSlot::OnRtpEvent, this);
    event.Schedule(session, POLLIN);
}

RtpSlot::~RtpSlot() {
    send(goodbye(params.ssrc));
    rtcpSocket.close();
    CleanBeforeDestroy();
    event.Release();
    session.close();
}

std::ostream& RtpSlot::header(std::ostream& os) const {
    return os << "rtp[" << channel << "]: ";
}

void RtpSlot::IAfterCreate() {
    OnChangeOutputStream(true);
    OnChangeInputStream(true);
}

bool RtpSlot::Request(unsigned long code) {
    return boardIo().ioctl(session.get(), code, 0L) >= 0;
}

bool RtpSlot::IBeforeDestroy() {
    Request(RTP_TEARDOWN_0);
    Request(RTP_TEARDOWN_1);
    Request(RTP_TEARDOWN_2);
    int32_t one = 1;
    boardIo().ioctl(session.get(), RTP_RESET_PD, &one);
    session.close();
    HwMux::instance().Disable(channel);
    return true;
}

bool RtpSlot::SwitchInput(bool on) {
    bool done = Request(on ? RTP_INPUT_ON : RTP_INPUT_OFF);
    if (done) inputOn = on;
    return done;
}

bool RtpSlot::IOnInputStream() {
    if (!squelchGated) SwitchInput(true);
    return true;
}

void RtpSlot::IOnInputRelease() {
    SwitchInput(false);
}

// ---- RTCP ------------------------------------------------------------------------

void RtpSlot::startRTPC(Fd& socket, const sockaddr_in& peer) {
    rtcpPeer = peer;
    if (socket != rtcpSocket) {
        rtcpSocket.close();
        rtcpSocket = socket;
    }
    socket = Fd();
    send(sourceDescription(params.ssrc));
}

RTPC::SDES RtpSlot::sourceDescription(uint32_t ssrc) {
    RTPC::SDES sdes(ssrc);
    sdes.add(RTPC::SDES::Item::CNAME, kRtcpCname);
    sdes.add(RTPC::SDES::Item::EMAIL, kRtcpEmail);
    sdes.add(RTPC::SDES::Item::PHONE, kRtcpPhone);
    return sdes;
}

RTPC::BYE RtpSlot::goodbye(uint32_t ssrc) {
    return RTPC::BYE(ssrc, "session end");
}

int RtpSlot::send(const RTPC::Msg& m) {
    char buffer[1024];
    unsigned n = m.encode(buffer, sizeof buffer);
    if (n == 0 || !rtcpSocket) return -1;
    return int(::sendto(rtcpSocket.get(), buffer, n, MSG_DONTWAIT | MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&rtcpPeer), sizeof rtcpPeer));
}

// ---- driver events -----------------------------------------------------------------

void RtpSlot::OnRtpEvent(int fd, short events) {
    if (events & kDriverReadEvents) ReadEvents(fd, events);
}

// Whole records until the driver has no more; a bounded number per pass,
// so a session that always has more cannot hold the loop. A short record
// ends the pass; a failed session stops being polled.
void RtpSlot::ReadEvents(int fd, short events) {
    for (unsigned n = 0; n < Hardware::kRecordsPerPass; ++n) {
        rtp_event e;
        ssize_t got = boardIo().read(fd, &e, sizeof e);
        int err = errno;
        switch (driverRead(got, err, events)) {
            case DriverRead::kData:
                if (got != ssize_t(sizeof e)) {
                    header(std::cerr) << "fail to read from rtp: short record of " << got << " bytes" << std::endl;
                    return;
                }
                header(std::clog) << "rtp event: " << " type=" << e.type << std::endl;
                processRtpEvent(e);
                continue;
            case DriverRead::kLater:
                return;
            case DriverRead::kFailed:
                header(std::cerr) << "fail to read from rtp: " << driverReadFailure(got, err, events) << std::endl;
                event.Release();
                return;
        }
    }
}

// ---- ioctls ----------------------------------------------------------------------

bool RtpSlot::Ioctl(const LGCP::IoctlParams& p) {
    using P = LGCP::IoctlParams;
    switch (p.currentSelection()) {
        case P::e_echoSuppressor: return echoCancel(p.get_echoSuppressor().getValue());
        case P::e_activateWaitTone: return activateAudibleCall(), true;
        case P::e_deactivateWaitTone: return cancelAudibleCall(), true;
        case P::e_translateDTMF: return translateDTMF(p.get_translateDTMF()), true;
        case P::e_dtmf_params: return configureDTMF(p.get_dtmf_params());
        case P::e_dtmf_enable: return enableDTMF(p.get_dtmf_enable().getValue());
        case P::e_encoder_mode: return ChangePayload(p, p.get_encoder_mode(), params.tx_pt);
        case P::e_decoder_mode: return ChangePayload(p, p.get_decoder_mode(), params.rx_pt);
        case P::e_vad_params: return configureVAD(p.get_vad_params());
        case P::e_vad_enable: return enableVAD(p.get_vad_enable().getValue());
        case P::e_vad_disable: return disableVAD();
        case P::e_dtmf_reject_enable: return enableDTMFReject(p.get_dtmf_reject_enable().getValue());
        case P::e_sd_params: return configureSD();
        case P::e_sd_enable: return enableSD(p.get_sd_enable().getValue());
        case P::e_sd_disable: return disableSD();
        case P::e_pd_enable: return enablePD(p.get_pd_enable());
        case P::e_pd_disable: return disablePD();
        case P::e_rx_gain: return configureRxGain(int8_t(p.get_rx_gain().get_gainDB().getValue())), true;
        case P::e_tone_filter: {
            const LGCP::ToneFilter& f = p.get_tone_filter();
            configureToneFilter(unsigned(f.get_freq().getValue()), f.get_enable().getValue(),
                                f.get_duration_th_msec().getValue(), f.get_det_level_dB().getValue());
            return true;
        }
        case P::e_selcal: return translateSelcal(p.get_selcal()), true;
        default: return false;
    }
}

uint16_t RtpSlot::translate_payload(const LGCP::CodecMode& mode) const {
    switch (mode.getValue()) {
        case LGCP::CodecMode::alaw: return 8;
        case LGCP::CodecMode::ulaw: return 0;
        default: return lbrcPayload;
    }
}

bool RtpSlot::ChangePayload(const LGCP::IoctlParams& p, const LGCP::CodecMode& mode, uint16_t& field) {
    header(std::clog) << "do restart RTP session (change tx payload):" << p;
    uint16_t pt = translate_payload(mode);
    // Without a session (a restart failed) nothing is done yet: the session
    // is begun again, with the payload it had.
    if (pt == field && session) {
        std::clog << " - Nothing to do" << std::endl;
        return true;
    }
    // The record begins the new session; it keeps the new payload only
    // once that session runs, so that it says what the driver runs.
    uint16_t old = field;
    field = pt;
    if (!restart()) {
        field = old;
        std::clog << std::endl;
        header(std::cerr) << "fail to restart RTP session!" << std::endl;
        return false;
    }
    std::clog << " - OK" << std::endl;
    return true;
}

bool RtpSlot::restart() {
    // The poll registration leaves the old session first, so the old driver
    // file really closes and a failed restart leaves nothing polled.
    event.Release();
    session.close();
    Fd fd = boardIo().open(GetRtpDevName(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (!fd) return false;
    rtp_channel_info add{channel, -1, -1, 0};
    if (boardIo().ioctl(fd.get(), RTP_BEGIN_SESSION, &params) < 0 ||
        boardIo().ioctl(fd.get(), RTP_ADD_CHANNEL, &add) < 0) {
        fd.close();
        return false;
    }
    session = fd;
    event.Schedule(session, POLLIN);
    Resume();
    return true;
}

// A new session starts with its input off and without packet detection;
// the controller set them on the old one and is told nothing of the
// restart, so they are set again. What the driver refuses is cleared, so
// that the flags say what the driver does.
void RtpSlot::Resume() {
    if (inputOn && !Request(RTP_INPUT_ON)) {
        inputOn = false;
        header(std::cerr) << "fail to switch the input on again:" << Hardware::ErrnoText{errno} << std::endl;
    }
    if (pdOn) pdOn = SetPD(pdTimeout);
}

// ---- packet detection --------------------------------------------------------------

bool RtpSlot::enablePD(const LGCP::PDParams& p) {
    int32_t timeout = p.get_timeout().getValue();
    if (!SetPD(timeout)) return false;
    pdOn = true;
    pdTimeout = timeout;
    return true;
}

bool RtpSlot::SetPD(int32_t timeout) {
    rtp_pd_params r{{1, 0, timeout, 0, 0, timeout, 0, 0, 0}};
    if (boardIo().ioctl(session.get(), RTP_SET_PD, &r) < 0) {
        header(std::cerr) << "RTP SET EVENT PD fail:" << Hardware::ErrnoText{errno} << std::endl;
        return false;
    }
    header(std::clog) << "RTP SET EVENT PD " << "timeout=" << timeout << std::endl;
    return true;
}

bool RtpSlot::disablePD() {
    int32_t one = 1;
    if (boardIo().ioctl(session.get(), RTP_RESET_PD, &one) < 0) {
        header(std::cerr) << "RTP RESET EVENT PD fail:" << Hardware::ErrnoText{errno} << std::endl;
        return false;
    }
    pdOn = false;
    header(std::clog) << "RTP RESET EVENT PD" << std::endl;
    return true;
}
