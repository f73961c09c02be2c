#ifndef KORVAND_LINKS_LAPD_FRAME_H
#define KORVAND_LINKS_LAPD_FRAME_H

#include <cstdint>

// The octets of a Q.921 frame (modulo-128 numbering), in order of
// transmission: address octet 1 (SAPI, C/R, EA 0), address octet 2 (TEI,
// EA 1), one control octet, and for I and S frames a second one.
namespace ISDN {
namespace Q921 {

// Unnumbered control codes, without the P/F bit.
const uint8_t kSABME = 0x6F;
const uint8_t kUA = 0x63;
const uint8_t kDM = 0x0F;
const uint8_t kDISC = 0x43;
const uint8_t kFRMR = 0x87;
const uint8_t kXID = 0xAF;
const uint8_t kUI = 0x03;
const uint8_t kPF = 0x10;  // the P/F bit of an unnumbered control octet

// Supervisory types (bits 4..3 of the first control octet).
const uint8_t kRR = 0;
const uint8_t kRNR = 1;
const uint8_t kREJ = 2;

const uint8_t kBroadcastTei = 127;
const uint8_t kManagementSapi = 63;
const uint8_t kManagementEntity = 0x0F;

// TEI management message types.
enum TeiMessage : uint8_t {
    IdentityRequest = 1,
    IdentityAssigned = 2,
    IdentityDenied = 3,
    IdentityCheckRequest = 4,
    IdentityCheckResponse = 5,
    IdentityRemove = 6,
    IdentityVerify = 7,
};

inline uint8_t address1(unsigned sapi, bool cr) {
    return uint8_t(sapi << 2 | (cr ? 2 : 0));
}
inline uint8_t address2(unsigned tei) {
    return uint8_t(tei << 1 | 1);
}

// The C/R bit: a command sent by the network side and a response sent by
// the user side carry 1.
inline bool crBit(bool network, bool command) {
    return network == command;
}
// Whether a received frame is a command: C/R 1 on the user side, 0 on the
// network side.
inline bool isCommand(bool network, bool cr) {
    return network != cr;
}

// The address and control field of an S frame (type kRR, kRNR or kREJ,
// with `nr`) or of a U frame (an unnumbered code) into `out`, which has
// room for four octets; returns how many were written.
unsigned putHeader(uint8_t* out, unsigned sapi, bool cr, unsigned tei, uint8_t code, bool pf, unsigned nr);

// A TEI management message: a UI frame on SAPI 63 to TEI 127, from the
// network side when `network`.
const unsigned kIdentityLength = 8;
void identity(uint8_t (&out)[kIdentityLength], bool network, uint16_t ri, uint8_t ai, uint8_t type);

// One received frame's header. The information field starts at `header`.
struct Frame {
    enum Kind { I, S, U };
    Kind kind = U;
    uint8_t sapi = 0;
    uint8_t tei = 0;
    bool cr = false;
    bool pf = false;
    uint8_t ns = 0;    // I frames
    uint8_t nr = 0;    // I and S frames
    uint8_t code = 0;  // S: the type (0..3); U: the control octet without P/F
    unsigned header = 0;
};

enum class Parse {
    Ok,
    BadAddress,  // an EA bit is wrong: not a frame of this link
    TooShort,    // fewer than 3 octets, or an I or S frame without its N(R) octet
};

// Reads the header of `len` octets at `p`; reads nothing past them.
Parse parse(const uint8_t* p, unsigned len, Frame& f);

}  // namespace Q921
}  // namespace ISDN

#endif
