#include "links/lapd_frame.h"

namespace ISDN {
namespace Q921 {

unsigned putHeader(uint8_t* out, unsigned sapi, bool cr, unsigned tei, uint8_t code, bool pf, unsigned nr) {
    out[0] = address1(sapi, cr);
    out[1] = address2(tei);
    if (code > kREJ) {
        out[2] = uint8_t(code | (pf ? kPF : 0));
        return 3;
    }
    out[2] = uint8_t(code << 2 | 1);
    out[3] = uint8_t(nr << 1 | (pf ? 1 : 0));
    return 4;
}

void identity(uint8_t (&out)[kIdentityLength], bool network, uint16_t ri, uint8_t ai, uint8_t type) {
    out[0] = address1(kManagementSapi, network);
    out[1] = address2(kBroadcastTei);
    out[2] = kUI;
    out[3] = kManagementEntity;
    out[4] = uint8_t(ri & 0xFF);
    out[5] = uint8_t(ri >> 8);
    out[6] = type;
    out[7] = uint8_t(ai << 1 | 1);
}

Parse parse(const uint8_t* p, unsigned len, Frame& f) {
    if (len < 2) return Parse::TooShort;
    if ((p[0] & 1) != 0 || (p[1] & 1) != 1) return Parse::BadAddress;
    if (len < 3) return Parse::TooShort;
    f.sapi = uint8_t(p[0] >> 2);
    f.cr = (p[0] & 2) != 0;
    f.tei = uint8_t(p[1] >> 1);
    uint8_t control = p[2];
    if ((control & 3) == 3) {
        f.kind = Frame::U;
        f.pf = (control & kPF) != 0;
        f.code = uint8_t(control & ~kPF);
        f.header = 3;
        return Parse::Ok;
    }
    if (len < 4) return Parse::TooShort;
    f.kind = (control & 1) == 0 ? Frame::I : Frame::S;
    f.ns = uint8_t(control >> 1);
    f.code = uint8_t((control >> 2) & 3);
    f.pf = (p[3] & 1) != 0;
    f.nr = uint8_t(p[3] >> 1);
    f.header = 4;
    return Parse::Ok;
}

}  // namespace Q921
}  // namespace ISDN
