#include "hardware/hdlc_net_if.h"

#include <errno.h>
#include <sys/socket.h>

#include <cstring>

#include "board/board_io.h"
#include "board/hdlc_net_driver.h"

namespace HdlcNet {

namespace {

// A request record naming the interface; false when the name does not fit.
bool Named(const std::string& name, ifreq& req) {
    std::memset(&req, 0, sizeof req);
    if (name.size() >= sizeof req.ifr_name) {
        errno = ENODEV;
        return false;
    }
    std::memcpy(req.ifr_name, name.data(), name.size());
    return true;
}

bool Request(int fd, unsigned long request, ifreq& req) {
    return boardIo().ioctl(fd, request, static_cast<void*>(&req)) >= 0;
}

bool WanDevice(int fd, const std::string& name, unsigned type, void* buffer, unsigned size) {
    ifreq req;
    if (!Named(name, req)) return false;
    req.ifr_settings.type = type;
    req.ifr_settings.size = size;
    req.ifr_settings.ifs_ifsu.raw_hdlc = static_cast<raw_hdlc_proto*>(buffer);
    return Request(fd, kWanDevice, req);
}

}  // namespace

int OpenSocket() {
    return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

bool GetFlags(int fd, const std::string& name, short& flags) {
    ifreq req;
    if (!Named(name, req) || !Request(fd, kGetFlags, req)) return false;
    flags = req.ifr_flags;
    return true;
}

bool SetFlags(int fd, const std::string& name, short flags) {
    ifreq req;
    if (!Named(name, req)) return false;
    req.ifr_flags = flags;
    return Request(fd, kSetFlags, req);
}

bool GetChannel(int fd, const std::string& name, int& channel) {
    IfaceInfo info{};
    if (!WanDevice(fd, name, kGetIface, &info, sizeof info)) return false;
    channel = int(info.channel());
    return true;
}

bool SetPpp(int fd, const std::string& name) {
    PppSettings settings{};
    return WanDevice(fd, name, kProtoPpp, &settings, sizeof settings);
}

bool SetRawHdlc(int fd, const std::string& name, uint16_t encoding, uint16_t parity) {
    raw_hdlc_proto settings{encoding, parity};
    return WanDevice(fd, name, kProtoHdlc, &settings, sizeof settings);
}

std::vector<std::string> PointToPoint(int fd) {
    std::vector<std::string> found;
    for (int n = 0; n < kMaxInterfaces; ++n) {
        std::string name = kNamePrefix + std::to_string(n);
        ifreq req;
        short flags = 0;
        if (!Named(name, req) || !Request(fd, kGetIndex, req) || !GetFlags(fd, name, flags)) break;
        if ((flags & IFF_POINTOPOINT) && !(flags & IFF_LOOPBACK)) found.push_back(name);
    }
    return found;
}

}  // namespace HdlcNet
