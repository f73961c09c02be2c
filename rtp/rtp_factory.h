#ifndef KORVAND_RTP_RTP_FACTORY_H
#define KORVAND_RTP_RTP_FACTORY_H

#include <netinet/in.h>

#include <cstdint>
#include <ostream>

#include "board/rtp_driver.h"
#include "core/slot_factory.h"
#include "runtime/fd.h"

class RtpSlot;

// Builds RTP slots from the create command `rtp` without a radio request:
// the RTCP socket, the driver session with its channel, the slot, its
// first RTCP packet. Reports the codec capacities the voice driver
// announces.
class RtpFactory : public SlotFactory {
public:
    // Reads the capacities at once and seeds the SSRC source.
    RtpFactory();

    const char* GetName() const override { return "RTP"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override;
    void Query(LGCP::Resources& resources) override;

    // Re-reads the capacities from the voice device.
    void IQuery();

    // The driver's payload type of a codec; a direction may only fall back
    // from the codec to G.711.
    static uint16_t translateCodec(const TERM::Payload& p);
    static uint16_t translateCodec(const TERM::Payload& codec, const TERM::Payload& direction);

    // A random SSRC from a source seeded once from the system's entropy.
    static uint32_t NewSsrc();

    // "rtp[g723,g729,g711,universal]: ", the start of the factory's lines.
    void PutHeader(std::ostream& os) const;

    // Capacities by code mask: 4, 2, 1, 8 and 65.
    uint32_t g729 = 0, g723 = 0, g711 = 0, g711mcc = 0, universal = 0;

protected:
    // A driver session being set up: what INewSlot opened so far.
    struct Session {
        Fd socket;  // RTCP
        Fd device;
        rtp_connection_params params;
        int channel = -1;
        sockaddr_in peer;  // RTCP
        ~Session();        // closes what was not handed over
    };

    // The payload check, the addresses, the RTCP socket, the device,
    // begin-session and add-channel (with `bss` as its fourth word); false,
    // with the line of the failed step, when one fails.
    bool OpenSession(const LGCP::CreateRtpParams& p, int32_t bss, Session& s) const;
    // Hands the session's socket to the slot (sending the source
    // description) and switches the echo canceller as the command asks.
    static void StartSlot(RtpSlot& slot, const TERM::RtpParams& p, Session& s);
    // The session record of the command; false, with the line, when an
    // address in it is no dotted quad.
    bool FillParams(const LGCP::CreateRtpParams& p, rtp_connection_params& r) const;

    // The prefix's first word: "rtp", "rtp ext LEMZ", "rtp ext ED137".
    const char* prefix = "rtp";

private:
    bool HostAddress(const char* field, const TERM::HostAddress& host, uint32_t& networkOrder) const;
    bool OpenSocket(uint16_t port, Session& s) const;
    bool OpenDevice(int32_t bss, Session& s) const;
};

std::ostream& operator<<(std::ostream& os, const RtpFactory& f);

#endif
