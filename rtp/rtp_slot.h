#ifndef KORVAND_RTP_RTP_SLOT_H
#define KORVAND_RTP_RTP_SLOT_H

#include <netinet/in.h>

#include <cstdint>
#include <ostream>

#include "board/rtp_driver.h"
#include "core/slot.h"
#include "hardware/slot_dsp_events.h"
#include "rtp/rtcp.h"
#include "runtime/event.h"
#include "runtime/fd.h"

// A channel endpoint whose media the kernel RTP driver streams: the driver
// packetises the samples of one TDM channel towards the remote host and
// plays the received stream into the same channel. The slot reads the
// driver's event records, maps the controller's ioctls onto the driver and
// the channel's DSPs, and announces and ends its session with RTCP.
class RtpSlot : public Slot, private Hardware::SlotDspEvents {
public:
    // Takes over `session`, the RTP device descriptor on which `params`
    // was begun and `channel` added.
    RtpSlot(int channel, Fd session, const rtp_connection_params& params);
    ~RtpSlot() override;

    // Reports both streams active.
    void IAfterCreate() override;
    // Ends the driver session and disables the channel's output; the
    // destruction completes at once.
    bool IBeforeDestroy() override;
    bool Ioctl(const LGCP::IoctlParams& p) override;
    bool IOnOutputStream() override { return true; }
    bool IOnInputStream() override;
    void IOnOutputRelease() override {}
    void IOnInputRelease() override;
    int IGetTransmitChannel() const override { return channel; }
    int IGetReceiveChannel() const override { return channel; }
    const char* GetName() const override { return "rtp"; }

    // Takes over `socket` (left -1), the RTCP socket, and sends the source
    // description of the session to `peer`.
    void startRTPC(Fd& socket, const sockaddr_in& peer);
    // One RTCP packet to the peer, never blocking; the result of sendto, or
    // -1 when there is nothing to send or no socket.
    int send(const RTPC::Msg& m);
    // The source description sent at creation and the goodbye sent at
    // destruction.
    static RTPC::SDES sourceDescription(uint32_t ssrc);
    static RTPC::BYE goodbye(uint32_t ssrc);

    void OnRtpEvent(int fd, short events);
    bool enablePD(const LGCP::PDParams& p);
    bool disablePD();
    // Begins the session again with the stored record on a new descriptor,
    // polls that one and sets its input and packet detection as the old
    // one had them; on failure the slot is left without a session.
    bool restart();
    // 8 for "alaw", 0 for "ulaw", the low-bit-rate payload type otherwise.
    uint16_t translate_payload(const LGCP::CodecMode& mode) const;

    // The channel's tone and voice-processing handles (the radio factories
    // apply their DSP settings through them).
    Hardware::SlotDspEvents& dsp() { return *this; }
    const rtp_connection_params& GetParams() const { return params; }
    int GetChannel() const { return channel; }

protected:
    // "rtp[" channel "]: ", the start of the slot's lines.
    std::ostream& header(std::ostream& os) const;
    // A request without argument on the session; true on success.
    bool Request(unsigned long code);
    bool SwitchInput(bool on);

    int channel;
    Fd session;
    Event event;
    rtp_connection_params params;
    sockaddr_in rtcpPeer;
    Fd rtcpSocket;
    uint16_t lbrcPayload;
    bool inputOn = false;
    // The ED-137 radio slot gates the driver input on the radio's squelch.
    bool squelchGated = false;
    // Packet detection as the controller set it, for a restarted session.
    bool pdOn = false;
    int32_t pdTimeout = 0;

private:
    unsigned tonec_timeslot() const override { return unsigned(channel); }
    unsigned dsproc_timeslot() const override { return unsigned(channel); }
    bool ChangePayload(const LGCP::IoctlParams& p, const LGCP::CodecMode& mode, uint16_t& field);
    void Resume();
    bool SetPD(int32_t timeout);
    void ReadEvents(int fd, short events);
};

// The contact items of the source description.
extern const char* const kRtcpCname;
extern const char* const kRtcpEmail;
extern const char* const kRtcpPhone;

#endif
