#ifndef KORVAND_RTP_ED137_RADIO_STATE_H
#define KORVAND_RTP_ED137_RADIO_STATE_H

#include <cstdint>

#include "asn1/gen/term.h"
#include "rtp/r2s_proto.h"
#include "rtp/radio_control.h"

namespace RTPSignalling {

// The radio's parameters of the create command's ED-137 response.
struct ED137RadioParams {
    uint32_t transmissionDependsOnSqu = 0;
    uint32_t sigtime = 1;
    uint32_t keepalivePeriod = 200;  // ms
    uint32_t keepaliveMultiplier = 10;
    uint32_t radioType = 2;  // TERM::ED137RadioType: radio-txrx
    uint32_t txrxMode = 2;   // TERM::ED137RadioTxRxMode: txrx

    void Init(const TERM::ED137RadioResponse& response);
};

// One R2S header as the controller keeps it, with what it came with.
struct ED137RadioState {
    // Flag bits.
    static const uint32_t kRx = 0x1000;      // radio to ground
    static const uint32_t kTx = 0x2000;      // ground to radio
    static const uint32_t kHeader = 0x0001;  // a header is present
    static const uint32_t kSqi = 0x0002;     // BSS method and quality are present

    uint32_t flags = 0;
    uint32_t pttType = 0;  // TERM::ED137RadioPTT
    uint32_t squ = 0;
    uint32_t pttId = 0;
    uint32_t pttMute = 0;
    uint32_t pttSummation = 0;
    uint32_t sct = 0;
    uint32_t bssMethod = 0;
    uint32_t bssQuality = 0;
    uint32_t sessionAddr = 0;  // IPv4, network order
    uint32_t sessionSsrc = 0;

    bool IsEqual(const ED137RadioState& o) const;
    bool IsRx() const { return flags & kRx; }
    bool IsTx() const { return flags & kTx; }
    // Flags, header, session; the SQI only when the state carries one.
    void Merge(const ED137RadioState& from);

    // The controller's messages: a modifier sets the direction, header and
    // session (false when its address text is no dotted quad); a status an
    // rx header over the session kept.
    bool DecodeASN(const TERM::ED137RadioModifier& modifier);
    void DecodeASN(const TERM::ED137RadioStatus& status);
    // The modifier's parameters of the state's direction; none selected
    // for a state without one.
    void EncodeASN(TERM::ED137RadioModifierParams& params) const;
    // The status the controller gets: the header and always the SQI.
    void EncodeStatusASN(TERM::ED137RadioStatus& status) const;

    // A received tx payload with its source; a PTT type beyond the
    // controller's enumeration is taken within it, told to `note`.
    void DecodeProto(const r2s_proto& p, const OutOfRange& note = nullptr);
    // The state as a payload of its direction, an rx one with its SQI when
    // it carries one; -1 for a state without a direction.
    int EncodeProto(r2s_proto& p) const;
};

// The report to the controller: the channel state as its status, and the
// state received with its session as the request.
void EncodeASN(const ED137RadioState& channel, const ED137RadioState& state, TERM::RtpRadioRequest& request);

}  // namespace RTPSignalling

#endif
