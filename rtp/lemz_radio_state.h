#ifndef KORVAND_RTP_LEMZ_RADIO_STATE_H
#define KORVAND_RTP_LEMZ_RADIO_STATE_H

#include <cstdint>
#include <string>

#include "asn1/gen/term.h"
#include "rtp/radio_control.h"
#include "rtp/sig_proto.h"

namespace RTPSignalling {

// The state of a LEMZ radio: what a packet or a controller's message says,
// merged into what the controller keeps of each side. `command` is the
// packet type it came with or goes out as; 0 is a full status (every field).
struct LemzRadioState {
    int32_t command = 0;
    int32_t priority = 15;
    int32_t ptt = 0;
    uint32_t sessionAddr = 0;  // IPv4, network order
    uint32_t sessionSsrc = 0;
    char callerId[SIG_PROTO_CALLER_ID_SIZE] = {};  // text of at most 255 characters
    int32_t bss = 0;
    int32_t vadRx = 0;
    int32_t vadTx = 0;
    int32_t sql = 0;
    int32_t sh = 0;
    int32_t pwr = 0;
    int32_t rv = 0;
    int32_t resv = 0;
    int32_t selcall = 0;
    int32_t li = 0;
    int32_t remoteNo = 0;
    int32_t remoteCh = 0;
    int32_t channelId = 0;
    float frequency = 0;
    int32_t squelshe = -1;
    int32_t rte = -1;
    int32_t standbyChannel = -1;
    int32_t standbyGroup = -1;
    int32_t standbyReceiver = -1;
    float radioQuality = 0;
    uint32_t sourceAddr = 0;  // the sender of a packet, network order
    uint32_t sourceId = 0;

    // Keeps at most 255 bytes of `text` (never past `length`).
    void SetCallerId(const char* text, size_t length);
};

// Push-to-talk commands: GW_FLAG, GW_FLAG_PTT, GW_SEL_CALL, WM_FLAG,
// WM_TRANS, WM_SEL_CALL_TRANS.
bool isPTTCommand(int32_t command);
bool isDefaultInitCommand(int32_t command);

// A packet's fields into `state`; -1 for a type without a rule (the rest of
// the state stays). Each field is brought within the controller's range,
// told to `note` when it was not.
int DecodeProto(const sig_proto& p, LemzRadioState& state, const OutOfRange& note = nullptr);
// `state` as a packet of its command; -1, and nothing to send, when the
// command is not one of `side`'s: the gateway sends the WM_ types, the
// workstation the GW_ types.
enum class LemzSide { Gateway, Workstation };
int EncodeProto(const LemzRadioState& state, sig_proto& p, LemzSide side);

// The merges by command (0 takes every field they name). The GW_ commands
// carry what a workstation sets on the radio; the WM_ commands what the
// radio announces. Both return -1 for command 0, else 0.
int MergeGWCommands(const LemzRadioState& from, LemzRadioState& into);
// The session address and ssrc come with WM_SEL_CALL_TRANS, and with
// WM_TRANS when `transCarriesSession`.
int MergeWMCommands(const LemzRadioState& from, LemzRadioState& into, bool transCarriesSession);

// The controller's messages into a state: a full status (command 0), or a
// modifier whose alternative gives the command. A modifier answers false
// when one of its address texts is no dotted quad.
void DecodeASN(const TERM::LemzRadioStatus& status, LemzRadioState& state);
bool DecodeASN(const TERM::LemzRadioModifier& modifier, LemzRadioState& state);
// The state as the controller's status.
void EncodeStatusASN(const LemzRadioState& state, TERM::LemzRadioStatus& status);
// The modifier alternative of the state's command, filled from the state;
// false for a command without one.
bool EncodeParamsASN(const LemzRadioState& state, TERM::LemzRadioModifierParams& params);

// A float of the wire as the controller's decimal text ("%4.6f"); a value
// that is no number or infinite reads as 0.
std::string FormatDecimal(float value);
// The controller's decimal text as a float; 0 for text that is no finite
// number.
float ParseDecimal(const std::string& text);

}  // namespace RTPSignalling

#endif
