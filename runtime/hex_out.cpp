#include "runtime/hex_out.h"

#include <time.h>

#include <iomanip>

namespace ext {

void OutBufInHex::Put(std::ostream& os) const {
    std::ios::fmtflags flags = os.flags();
    os << std::hex << std::uppercase << std::setfill('0');
    for (const uint8_t* p = begin; p < end; ++p) os << std::setw(2) << static_cast<unsigned>(*p) << ' ';
    os.flags(flags);
    os.fill(' ');
}

void OutUnsignedInHex::Put(std::ostream& os) const {
    std::ios::fmtflags flags = os.flags();
    os << "0x" << std::hex << std::uppercase << std::setfill('0') << std::setw(width) << value;
    os.flags(flags);
    os.fill(' ');
}

}  // namespace ext

void timestamp(std::ostream& os) {
    time_t t = time(nullptr);
    struct tm lt;
    if (t == static_cast<time_t>(-1) || !localtime_r(&t, &lt)) return;
    char buf[32];
    strftime(buf, sizeof buf, "%d/%m %H:%M:%S", &lt);
    os << buf;
}
