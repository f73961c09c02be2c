#ifndef KORVAND_RTP_RADIO_CONTROL_H
#define KORVAND_RTP_RADIO_CONTROL_H

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "asn1/gen/term.h"
#include "board/rtp_driver.h"
#include "hardware/dsp_device.h"
#include "runtime/event.h"
#include "runtime/fd.h"
#include "runtime/inet4_addr.h"
#include "runtime/timer.h"

namespace RTPSignalling {

// "/dev/rtp_ext", the header-extension driver.
const char* GetRtpExtDevName();

// The milliseconds from `since` to `now` on the wrapping 32-bit clock, by
// signed difference; 0 when `since` is not earlier than `now`.
inline uint32_t Elapsed(uint32_t now, uint32_t since) {
    int32_t d = static_cast<int32_t>(now - since);
    return d > 0 ? static_cast<uint32_t>(d) : 0;
}

// Keeps a time stamp that nothing renews within 2^30 ms of `now`, so that
// its signed difference from the clock never turns over however long it
// lies back; the status runs age their stamps with it.
inline void KeepRecent(uint32_t& stamp, uint32_t now) {
    const int32_t limit = 1 << 30;
    if (static_cast<int32_t>(now - stamp) > limit) stamp = now - uint32_t(limit);
}

// The delay to the next status run when the oldest of the resend times lies
// `elapsed` back: the rest of the interval and 10 ms, so that the run finds
// the interval passed; a whole interval when nothing is pending.
inline unsigned long NextStatusDelay(uint32_t elapsed, unsigned long interval) {
    return elapsed > 0 && elapsed < interval ? interval - elapsed + 10 : interval;
}

// Dotted IPv4 text of an address in network order, and back: false, with
// the address 0, for text that is no dotted quad.
std::string DottedAddr(uint32_t networkOrder);
bool ParseAddr(const std::string& dotted, uint32_t& networkOrder);

// A field of a radio's packet whose value lies beyond what the controller's
// types carry, and the identifier of the value it is taken as.
using OutOfRange = std::function<void(const char* field, unsigned raw, const char* taken)>;

// What a radio slot asks of its controller.
class IRadioController {
public:
    virtual ~IRadioController() = default;
    // The radio status of the create command, once after creation.
    virtual bool SendASNToChan(const TERM::RadioStatus&) { return false; }
    // Each `rtpExt` ioctl.
    virtual bool SendASNToChan(const TERM::RadioModifier&) { return false; }
    // Whether the radio's squelch is open, for a slot that gates its input.
    virtual bool GetSQU() { return false; }
};

// The controller's own work on the loop.
class IRadioIntController {
public:
    virtual ~IRadioIntController() = default;
    virtual void OnRtpExtEvent(int /*fd*/, short /*revents*/) {}
    // The periodic work; returns the delay to the next run in ms.
    virtual unsigned long ProcessRadioStatus(unsigned long /*now*/, unsigned long interval) { return interval; }
};

// How the controller reports to its slot.
class IRadioControlNotify {
public:
    virtual ~IRadioControlNotify() = default;
    // A state the radio side reported (the slot's signal `rtpExt`).
    virtual void RadioControlNotify(const TERM::RtpRadioRequest& request) = 0;
    // A failure code (the slot's signal `abort`).
    virtual void RadioControlNotify(int code) = 0;
};

// The common base of the radio controllers: the header-extension session on
// "/dev/rtp_ext" (or an RTP session attached for another process), the
// status timer that runs the subclasses' periodic work, the source filter
// that keeps out other senders while one holds the radio, and the read and
// write of one extension payload.
class RadioControl : public IRadioController, private IRadioIntController {
public:
    enum RadioControlType {
        ExtAttached = 0,    // extension session attached to the slot's RTP session
        RtpAttached = 1,    // the RTP device attaches the session for another user
        ExtStandalone = 2,  // extension session of its own
    };

    // Statistics; only tests read them.
    struct Statistics {
        uint32_t announced = 0;  // information requests that announced a payload
        uint32_t decoded = 0;
        uint32_t written = 0;
        uint32_t bytesRead = 0;
        uint32_t bytesWritten = 0;
        int packError = 0;
        int unpackError = 0;
        int infoErrno = 0;
        int readErrno = 0;
        int writeErrno = 0;
    };

    RadioControl(int slotId, const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init);
    // `rtp` is the slot's RTP descriptor; the controller keeps a duplicate.
    RadioControl(int slotId, Fd rtp, const rtp_attach_session_params& attach);
    explicit RadioControl(const rtp_ext_init_params& init);
    ~RadioControl() override;
    RadioControl(const RadioControl&) = delete;
    RadioControl& operator=(const RadioControl&) = delete;

    // Opens, initialises and attaches the session as the kind says; false,
    // with a line, when a step fails (nothing is left open then).
    bool RtpExtStart(bool open_standalone);
    // Detaches and closes an attached extension session; always true.
    bool RtpExtStop();
    // The slot's RTP session was begun again on `session`: the next start
    // attaches to it instead of the descriptor the factory opened.
    void SetRtpSession(Fd session);
    // Lets go of the slot's RTP session before the slot closes it to begin
    // a new one: the duplicate an RTP-attached controller holds would keep
    // the old session, and its channel, from the new one.
    void ReleaseRtpSession() { rtpFd.close(); }

    void SetTimerEnable(bool on);
    // Takes effect at the next arming.
    void SetTimerInterval(unsigned long ms) { statusInterval = ms; }
    void SetTimer(unsigned long ms);
    void OnProcessStatus(Timer*);

    // Sets the source filter to `holder` (take) or resets it; requests only
    // on a change. Returns 0.
    int UpdateAccess(bool take, const in_addr& holder);

    // "rtp_ext[<id>] <local time>:", the start of the controller's lines.
    std::string GetPrefix() const;

    // Set by the owning slot right after construction.
    void SetNotify(IRadioControlNotify* n) { notify = n; }
    void SetTrace(bool on) { trace = on; }
    void SetRefreshHold(uint32_t hold) { refreshHold = hold; }

    RadioControlType GetType() const { return type; }
    const Statistics& GetStatistics() const { return stats; }
    unsigned long GetTimerInterval() const { return statusInterval; }
    bool IsTimerEnabled() const { return timerEnabled; }
    bool IsAccessHeld() const { return accessHeld; }
    bool IsPolling() const { return event.fd.get() >= 0; }
    const INet4::Addr& GetLocalAddr() const { return localAddr; }

protected:
    void OnRtpExtEvent(int fd, short revents) override;
    unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override;

    // One received payload into `buf` (kRtpExtPayloadMax bytes): the packet
    // information, then the read. The byte count, or 0 when nothing more is
    // waiting; a failed session stops being polled.
    int ReadPacket(unsigned char* buf, short revents);
    // Writes one packed payload; the result of the write.
    ssize_t WritePacket(const unsigned char* buf, int len);
    // The start of a poll wake-up: false when it brings nothing to read.
    bool BeginReceive(short revents);
    void Notify(const TERM::RtpRadioRequest& request);
    void Notify(int code);
    // Tells each value of a radio taken within the controller's types on
    // the error stream.
    OutOfRange RangeNote() const;
    // Tells on the error stream that a modifier names an address that is no
    // dotted quad; false, the answer to it.
    bool RefuseAddress(const TERM::RadioModifier& modifier) const;
    // The prefix on the log or error stream.
    std::ostream& Log() const;
    std::ostream& Err() const;

    // The milliseconds of the last status run (or send to the channel).
    uint32_t lastStatusTime = 0;
    uint32_t refreshHold = 0;
    bool trace = false;
    rtp_ext_packet_info packetInfo{};
    rtp_ext_init_params extInit{};
    Statistics stats;

private:
    void Init(RadioControlType kind);
    bool OpenExt(bool attach);
    void Lose(const std::string& why);
    static INet4::Addr ChooseLocalAddr();

    RadioControlType type;
    Fd rtpFd;
    Fd extFd;
    Event event;
    Timer statusTimer;
    rtp_attach_session_params rtpAttach{};
    rtp_ext_attach_session_params extAttach{};
    unsigned long statusInterval = 1000;
    unsigned long slotId = 0;
    bool timerEnabled = false;
    bool accessHeld = false;
    rtp_ext_source_filter filter{};
    IRadioControlNotify* notify = nullptr;
    INet4::Addr localAddr;
};

// The header-extension payloads of one signalling family through a
// controller: the receive loop, in which of a run of payloads of one type
// from one source only the last is processed, and the send of one packet.
// `Codec` names the packet record (`Packet`) and its init, unpack, pack and
// compare functions.
template <class Codec>
class RadioProtoControl : public RadioControl {
public:
    using Packet = typename Codec::Packet;
    using RadioControl::RadioControl;

protected:
    void OnRtpExtEvent(int fd, short revents) override;
    // The packed record in one write; the write's result, or the pack
    // failure (nothing written).
    int SendProtoToChan(const Packet& p);

    // A payload that survived its run.
    virtual void OnRtpProtoRXEvent(const Packet& p) = 0;
    // A wake-up with input begins; a payload was decoded.
    virtual void OnReceiveStart() {}
    virtual void OnDecoded() {}

    Packet current{};
    Packet previous{};
};

template <class Codec>
void RadioProtoControl<Codec>::OnRtpExtEvent(int, short revents) {
    if (!BeginReceive(revents)) return;
    OnReceiveStart();
    unsigned char buf[kRtpExtPayloadMax];
    unsigned decoded = 0;
    // A bounded number per wake-up, so a flood cannot hold the loop; the
    // rest is read on the next pass.
    int len;
    for (unsigned n = 0; n < Hardware::kRecordsPerPass && (len = ReadPacket(buf, revents)) > 0; ++n) {
        Codec::init(&current);
        int result = Codec::unpack(&current, buf, len);
        if (result != 0) {
            stats.unpackError = result;
            continue;
        }
        ++stats.decoded;
        current.source_addr = packetInfo.word[1];
        current.source_id = packetInfo.word[0];
        OnDecoded();
        if (decoded++ > 0 && Codec::compare(&previous, &current) != 0) OnRtpProtoRXEvent(previous);
        previous = current;
    }
    if (decoded > 0) OnRtpProtoRXEvent(previous);
}

template <class Codec>
int RadioProtoControl<Codec>::SendProtoToChan(const Packet& p) {
    unsigned char buf[kRtpExtPayloadMax];
    int len = Codec::pack(&p, buf, int(sizeof buf));
    if (len < 1) {
        stats.packError = len;
        return len;
    }
    return int(WritePacket(buf, len));
}

}  // namespace RTPSignalling

#endif
