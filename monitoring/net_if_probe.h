#ifndef KORVAND_MONITORING_NET_IF_PROBE_H
#define KORVAND_MONITORING_NET_IF_PROBE_H

#include <net/if.h>

// How the monitoring asks the kernel about its network interfaces: a
// descriptor to ask on, and the two interface requests (name by index,
// flags by name). One process-wide instance is in use; tests install their
// own. The descriptor is closed with close().
class NetIfProbe {
  public:
    // The request numbers; the same on the board and on a development host.
    static constexpr unsigned long kGetName = 0x8910;   // SIOCGIFNAME
    static constexpr unsigned long kGetFlags = 0x8913;  // SIOCGIFFLAGS
    static constexpr unsigned kRunning = 0x40;          // IFF_RUNNING

    virtual ~NetIfProbe() = default;
    // A descriptor for the requests, or -1 with errno set.
    virtual int open() = 0;
    // One request on `req`; -1 with errno set on failure.
    virtual int ioctl(int fd, unsigned long request, ifreq& req) = 0;

    // Asks on `fd` for the name of interface `index`; `req` then holds the
    // name, NUL-terminated, and the index. False with errno set when no
    // interface has that index.
    bool nameOf(int fd, int index, ifreq& req);
};

// The kernel's answer. The board asks on a packet socket (address family
// AF_PACKET, raw, protocol number 255), which needs the raw-network
// privilege; where that socket is refused (an unprivileged process, a kernel
// without packet sockets) it asks on an IPv4 datagram socket, which answers
// both requests without privileges.
class KernelNetIfProbe : public NetIfProbe {
  public:
    typedef int (*SocketFunction)(int domain, int type, int protocol);
    explicit KernelNetIfProbe(SocketFunction socketFunction = nullptr);

    int open() override;
    int ioctl(int fd, unsigned long request, ifreq& req) override;

  private:
    SocketFunction socket_;
};

// With the trace switch monitoring.internal on, logs a failed probe step:
// `what`, then the error's text.
void traceNetIfFailure(const char* what, int err);

// The probe in use: the kernel's unless another one was installed.
NetIfProbe& netIfProbe();
// Installs `probe` (null returns to the kernel's); the caller keeps it.
void setNetIfProbe(NetIfProbe* probe);

#endif
