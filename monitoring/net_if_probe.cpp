#include "monitoring/net_if_probe.h"

#include <errno.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstring>
#include <iostream>

#include "core/trace_ctl.h"

static_assert(NetIfProbe::kGetName == SIOCGIFNAME, "interface name request");
static_assert(NetIfProbe::kGetFlags == SIOCGIFFLAGS, "interface flags request");
static_assert(NetIfProbe::kRunning == IFF_RUNNING, "running flag");

namespace {

const int kPacketProtocol = 255;

// Errors that mean the packet socket is not for this process, as opposed to
// a shortage of descriptors or memory, which the datagram socket would meet
// as well.
bool refused(int err) {
    return err == EPERM || err == EACCES || err == EAFNOSUPPORT;
}

}  // namespace

bool NetIfProbe::nameOf(int fd, int index, ifreq& req) {
    std::memset(&req, 0, sizeof req);
    req.ifr_ifindex = index;
    if (ioctl(fd, kGetName, req) != 0) return false;
    req.ifr_name[IFNAMSIZ - 1] = '\0';
    return true;
}

KernelNetIfProbe::KernelNetIfProbe(SocketFunction socketFunction)
    : socket_(socketFunction ? socketFunction : ::socket) {}

int KernelNetIfProbe::open() {
    int fd = socket_(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, kPacketProtocol);
    if (fd >= 0 || !refused(errno)) return fd;
    return socket_(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

int KernelNetIfProbe::ioctl(int fd, unsigned long request, ifreq& req) {
    return ::ioctl(fd, request, &req);
}

void traceNetIfFailure(const char* what, int err) {
    if (!traces.internal) return;
    std::clog << what << " errno=\"" << std::strerror(err) << "\"" << std::endl;
}

namespace {

NetIfProbe* installed = nullptr;

}  // namespace

NetIfProbe& netIfProbe() {
    static KernelNetIfProbe kernel;
    return installed ? *installed : kernel;
}

void setNetIfProbe(NetIfProbe* probe) {
    installed = probe;
}
