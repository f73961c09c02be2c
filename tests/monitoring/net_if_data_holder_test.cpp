#include "monitoring/net_if_data_holder.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iostream>
#include <vector>

#include "core/trace_ctl.h"
#include "tests/monitoring/fake_net_if_probe.h"
#include "tests/support/capture.h"

namespace {

struct Step {
    int sample;
    bool changed;
    int running;
};

TEST(NetIfDataHolder, TwoOfTheLastThreeSamplesDecide) {
    // clang-format off
    const std::vector<std::vector<Step>> runs = {
        {{1, true, 0}, {1, true, 1}, {0, false, 1}, {0, true, 0}},
        {{0, true, 0}, {0, false, 0}, {0, false, 0}},
        {{1, true, 0}, {0, false, 0}, {1, true, 1}, {0, true, 0}, {1, true, 1}, {1, false, 1}}};
    // clang-format on
    for (const auto& run : runs) {
        NetIfDataHolder n(2, "eth0");
        for (const Step& s : run) {
            EXPECT_EQ(s.changed, n.setNetIfStatus(s.sample));
            EXPECT_EQ(s.running, n.running);
            EXPECT_EQ(s.running ? 1 : 2, n.operStatus);
            EXPECT_EQ(n.operStatus, n.adminStatus);
        }
    }
}

TEST(NetIfDataHolder, ProbesTheRunningFlagAndAFailureAddsNoSample) {
    FakeNetIfProbe probe;
    traces.internal = true;
    NetIfDataHolder n(5, "eth5");
    int fd = probe.open();
    int closed = probe.open();
    ::close(closed);
    struct {
        int fd, flagsError;
        bool present;
        unsigned flags;
        const char* trace;
    } const steps[] = {{closed, 0, true, 0, "Error ioctl socket:  errno=\""},
                       {fd, 0, false, 0, "Error ioctl socket:  errno=\""},
                       {fd, EIO, true, 0, "Error ioctl socket:  errno=\""},
                       {fd, 0, true, IFF_UP | IFF_RUNNING, ""},
                       {fd, 0, true, IFF_RUNNING, ""}};
    for (const auto& s : steps) {
        probe.flagsError = s.flagsError;
        probe.interfaces.clear();
        if (s.present) probe.interfaces[5] = {"eth5", s.flags};
        StreamCapture log(std::clog);
        EXPECT_EQ(!*s.trace, n.updateNetIf(s.fd));
        EXPECT_EQ(0u, log.text().find(s.trace)) << log.text();
    }
    traces.internal = false;
    ::close(fd);
    EXPECT_EQ(2u, n.samples.size());
    EXPECT_EQ(1, n.running);
}

// The kernel probe with a socket call that refuses packet sockets with a
// chosen error.
int refusal = 0;
int refusingSocket(int domain, int type, int protocol) {
    if (domain == AF_PACKET) {
        errno = refusal;
        return -1;
    }
    return ::socket(domain, type, protocol);
}

TEST(KernelNetIfProbe, AsksWithoutPrivilegesWhereThePacketSocketIsRefused) {
    unsigned lo = if_nametoindex("lo");
    ASSERT_NE(0u, lo);
    struct {
        int err;
        bool fallsBack;
    } const cases[] = {{EPERM, true}, {EACCES, true}, {EAFNOSUPPORT, true}, {EMFILE, false}};
    for (const auto& c : cases) {
        refusal = c.err;
        KernelNetIfProbe probe(refusingSocket);
        int fd = probe.open();
        if (!c.fallsBack) {
            EXPECT_EQ(-1, fd);
            EXPECT_EQ(c.err, errno);
            continue;
        }
        ASSERT_GE(fd, 0) << c.err;
        ifreq req;
        ASSERT_TRUE(probe.nameOf(fd, static_cast<int>(lo), req));
        EXPECT_STREQ("lo", req.ifr_name);
        EXPECT_EQ(0, probe.ioctl(fd, NetIfProbe::kGetFlags, req));
        EXPECT_TRUE(req.ifr_flags & IFF_LOOPBACK);
        EXPECT_FALSE(probe.nameOf(fd, 0, req)) << "no interface has index 0";
        ::close(fd);
    }
}

}  // namespace
