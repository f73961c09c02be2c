#ifndef KORVAND_TESTS_MONITORING_FAKE_NET_IF_PROBE_H
#define KORVAND_TESTS_MONITORING_FAKE_NET_IF_PROBE_H

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>

#include "monitoring/net_if_probe.h"

// Interfaces by index with their flags, installed as the process's probe
// while it lives. `openError` or `flagsError` set make those steps fail; a
// request on a descriptor that is not open fails as the kernel's would.
class FakeNetIfProbe : public NetIfProbe {
  public:
    struct If {
        std::string name;
        unsigned flags;
    };

    FakeNetIfProbe() { setNetIfProbe(this); }
    ~FakeNetIfProbe() override { setNetIfProbe(nullptr); }

    int open() override {
        ++opens;
        if (openError) {
            errno = openError;
            return -1;
        }
        lastFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        return lastFd;
    }

    int ioctl(int fd, unsigned long request, ifreq& req) override {
        if (::fcntl(fd, F_GETFD) < 0) return fail(EBADF);
        if (request == kGetName) {
            auto it = interfaces.find(req.ifr_ifindex);
            if (it == interfaces.end()) return fail(ENODEV);
            std::strncpy(req.ifr_name, it->second.name.c_str(), IFNAMSIZ);
            return 0;
        }
        if (request != kGetFlags || flagsError) return fail(flagsError ? flagsError : EINVAL);
        for (const auto& i : interfaces)
            if (i.second.name == req.ifr_name) {
                req.ifr_flags = static_cast<short>(i.second.flags);
                return 0;
            }
        return fail(ENODEV);
    }

    std::map<int, If> interfaces;
    int openError = 0;
    int flagsError = 0;
    int opens = 0;
    int lastFd = -1;  // the descriptor of the last open

  private:
    static int fail(int err) {
        errno = err;
        return -1;
    }
};

#endif
