#include "links/lapd_frame.h"

namespace ISDN {
namespace Q921 {

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
