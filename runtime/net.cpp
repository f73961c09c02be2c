#include "runtime/net.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace Net {

std::string hostname() {
    char buf[512];
    if (gethostname(buf, sizeof buf) != 0) return std::string();
    buf[sizeof buf - 1] = '\0';
    return buf;
}

int hostname(const std::string& name) { return sethostname(name.data(), name.size()); }

bool ifconfig_selects(const std::string& name, uint32_t addressNetOrder, ifconfig_mode_t mode) {
    if (mode == 0) return true;
    uint32_t a = ntohl(addressNetOrder);
    if ((mode & IF_NOT_LOOPBACK) && strcasecmp(name.c_str(), "lo") != 0) return true;
    if ((mode & IF_LINK_LOCAL) && (a & 0xFFFF0000u) == 0xA9FE0000u) return true;
    if ((mode & IF_PRIVATE) && ((a & 0xFFFF0000u) == 0xC0A80000u || (a & 0xFFF00000u) == 0xAC100000u ||
                                (a & 0xFF000000u) == 0x0A000000u))
        return true;
    return false;
}

namespace {

// Lists the interface records into a buffer sized to the interfaces present
// (the kernel tells the size it needs when asked without a buffer).
bool listInterfaces(int sock, std::vector<ifreq>& out) {
    struct ifconf ifc;
    std::memset(&ifc, 0, sizeof ifc);
    if (ioctl(sock, SIOCGIFCONF, &ifc) != 0) return false;
    for (;;) {
        size_t n = static_cast<size_t>(ifc.ifc_len) / sizeof(ifreq) + 4;
        out.assign(n, ifreq());
        ifc.ifc_len = static_cast<int>(n * sizeof(ifreq));
        ifc.ifc_req = out.data();
        if (ioctl(sock, SIOCGIFCONF, &ifc) != 0) return false;
        if (static_cast<size_t>(ifc.ifc_len) < n * sizeof(ifreq)) break;
    }
    out.resize(static_cast<size_t>(ifc.ifc_len) / sizeof(ifreq));
    return true;
}

template <class Take>
int walk(ifconfig_mode_t mode, Take take) {
    int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) return -1;
    std::vector<ifreq> records;
    if (!listInterfaces(sock, records)) {
        close(sock);
        return -1;
    }
    int n = 0;
    for (ifreq& r : records) {
        if (r.ifr_addr.sa_family != AF_INET) continue;
        ifreq q;
        std::memcpy(&q, &r, sizeof q);
        if (ioctl(sock, SIOCGIFADDR, &q) != 0) continue;
        uint32_t addr = reinterpret_cast<sockaddr_in*>(&q.ifr_addr)->sin_addr.s_addr;
        std::string name(r.ifr_name, strnlen(r.ifr_name, IFNAMSIZ));
        if (!ifconfig_selects(name, addr, mode)) continue;
        if (take(sock, name, addr)) ++n;
    }
    close(sock);
    return n;
}

}  // namespace

int ifconfig(std::list<INet4::Addr>& out, ifconfig_mode_t mode) {
    return walk(mode, [&](int, const std::string&, uint32_t addr) {
        INet4::Addr a;
        a.Assign(addr);
        out.push_back(a);
        return true;
    });
}

int ifconfig(std::list<std::string>& out, ifconfig_mode_t mode, unsigned int flags) {
    return walk(mode, [&](int sock, const std::string& name, uint32_t) {
        ifreq q;
        std::memset(&q, 0, sizeof q);
        std::strncpy(q.ifr_name, name.c_str(), IFNAMSIZ - 1);
        if (ioctl(sock, SIOCGIFFLAGS, &q) != 0) return false;
        unsigned have = static_cast<unsigned short>(q.ifr_flags);
        if ((have & flags) != flags) return false;
        out.push_back(name);
        return true;
    });
}

}  // namespace Net
