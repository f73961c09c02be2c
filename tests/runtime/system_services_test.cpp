#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <list>

#include <gtest/gtest.h>

#include "runtime/fd.h"
#include "runtime/inet4_addr.h"
#include "runtime/mux_clock.h"
#include "runtime/net.h"
#include "tests/support/test_clock.h"

namespace {

TEST(Clock, MillisecondDifferencesSurviveTheWrap) {
    TestClock clock;
    clock.setMs(0xFFFFFFFFull - 5);
    uint32_t before = Mux::milliseconds();
    clock.advance(12);
    EXPECT_EQ(12u, Mux::milliseconds() - before);
}

// The carries and borrows of the time-value helpers.
TEST(Clock, TimevalArithmetic) {
    Mux::timeval a{10, 900000};
    Mux::timevaladd(a, Mux::timeval{0, 200000});
    EXPECT_EQ(11, a.tv_sec);
    EXPECT_EQ(100000, a.tv_usec);
    Mux::timevalsub(a, Mux::timeval{0, 300000});
    EXPECT_EQ(800000, a.tv_usec);
    EXPECT_EQ(1500, Mux::timevaldiff(Mux::timeval{4, 700000}, Mux::timeval{6, 200000}));
    Mux::timeval_timer tt;
    tt.init(Mux::timeval{0, 0}, 100);
    EXPECT_FALSE(tt.is_expired(Mux::timeval{0, 100000}));
    EXPECT_TRUE(tt.is_expired(Mux::timeval{0, 101000}));
}

TEST(Clock, SelectSetsRefuseDescriptorsSelectCannotWatch) {
    Mux::Set set;
    EXPECT_FALSE(set.add(-1));
    EXPECT_FALSE(set.add(FD_SETSIZE));
    EXPECT_FALSE(set.has(FD_SETSIZE + 5));
    EXPECT_EQ(-1, set.max);
    int p[2];
    ASSERT_EQ(0, pipe(p));
    ASSERT_EQ(1, write(p[1], "x", 1));
    EXPECT_TRUE(set.add(p[0]));
    EXPECT_EQ(1, Mux::select_rd(set, Mux::timeval{0, 0}));
    EXPECT_TRUE(set.has(p[0]));
    close(p[0]);
    close(p[1]);
}

TEST(Fd, CloseTwiceAndDuplicate) {
    Fd none;
    errno = 0;
    EXPECT_EQ(-1, none.close());
    EXPECT_EQ(EBADF, errno);
    EXPECT_FALSE(none.dup());

    int p[2];
    ASSERT_EQ(0, pipe(p));
    Fd r(p[0]);
    Fd d = r.dup();
    ASSERT_TRUE(d);
    EXPECT_TRUE(fcntl(d.get(), F_GETFD) & FD_CLOEXEC);
    EXPECT_TRUE(r.NonBlock());
    EXPECT_TRUE(fcntl(p[0], F_GETFL) & O_NONBLOCK);
    EXPECT_TRUE(BlockMode(p[0]));
    EXPECT_FALSE(fcntl(p[0], F_GETFL) & O_NONBLOCK);
    EXPECT_FALSE(SetCloexec(p[0], true));
    EXPECT_TRUE(fcntl(p[0], F_GETFD) & FD_CLOEXEC);
    EXPECT_TRUE(SetCloexec(-1, true));  // the change failed
    EXPECT_EQ(0, r.close());
    EXPECT_EQ(-1, r.get());
    EXPECT_EQ(-1, r.close());
    d.close();
    close(p[1]);
}

TEST(Addr, ParsesAndPrintsAndRefusesPortsThatDoNotFitSixteenBits) {
    INet4::Addr a;
    EXPECT_EQ("0.0.0.0:0", a.GetString());
    int port = 0;
    EXPECT_TRUE(a.Assign("10.1.2.3:2944", &port));
    EXPECT_EQ(2944, port);
    EXPECT_TRUE(a.Assign("10.1.2.4", &port));
    EXPECT_EQ(-1, port);
    EXPECT_EQ("10.1.2.4:2944", a.GetString());  // the port stays
    for (const char* bad : {"not.an.address:1", "10.0.0.2:65536", "10.0.0.2:-1", "10.0.0.2:"})
        EXPECT_FALSE(a.Assign(bad, &port)) << bad;
    EXPECT_EQ("10.1.2.4:2944", a.GetString());  // nothing changed
    EXPECT_EQ((std::vector<uint8_t>{10, 1, 2, 4}), a.GetVector());
    EXPECT_TRUE(a.Assign("10.0.0.2:65535", &port));
    EXPECT_EQ(65535, port);
}

TEST(Addr, OnlyADottedQuadConverts) {
    const struct {
        std::string text;
        bool converts;
        uint32_t address;  // in host order
    } cases[] = {
        {"10.1.2.3", true, 0x0A010203},
        {"255.255.255.255", true, 0xFFFFFFFF},
        {"0.0.0.0", true, 0},
        // What inet_addr takes but is no dotted quad, or reads otherwise.
        {"not-an-address", false, 0}, {"", false, 0}, {"10.1.2", false, 0}, {"167838211", false, 0},
        {"0x0a.1.2.3", false, 0}, {"010.1.2.3", false, 0}, {"10.1.2.256", false, 0}, {"10.1.2.3 ", false, 0},
        {" 10.1.2.3", false, 0}, {"10.1.2.3:5", false, 0}, {std::string("10.1.2.3\0junk", 13), false, 0},
    };
    for (const auto& c : cases) {
        uint32_t got = 0x5A5A5A5A;
        EXPECT_EQ(c.converts, INet4::ParseDottedQuad(c.text, got)) << c.text;
        EXPECT_EQ(c.converts ? htonl(c.address) : 0x5A5A5A5A, got) << c.text;
    }
}

TEST(Net, InterfaceFilter) {
    auto ip = [](const char* t) {
        INet4::Addr a;
        a.Assign(t);
        return a.address();
    };
    EXPECT_TRUE(Net::ifconfig_selects("lo", ip("127.0.0.1"), 0));
    EXPECT_FALSE(Net::ifconfig_selects("lo", ip("127.0.0.1"), Net::IF_NOT_LOOPBACK));
    EXPECT_FALSE(Net::ifconfig_selects("LO", ip("127.0.0.1"), Net::IF_NOT_LOOPBACK));
    EXPECT_TRUE(Net::ifconfig_selects("eth0", ip("8.8.8.8"), Net::IF_NOT_LOOPBACK));
    EXPECT_TRUE(Net::ifconfig_selects("eth0", ip("169.254.3.4"), Net::IF_LINK_LOCAL));
    for (const char* p : {"192.168.1.1", "172.16.0.1", "172.31.255.255", "10.9.9.9"})
        EXPECT_TRUE(Net::ifconfig_selects("eth0", ip(p), Net::IF_PRIVATE)) << p;
    for (const char* p : {"172.32.0.1", "8.8.8.8", "169.254.1.1"})
        EXPECT_FALSE(Net::ifconfig_selects("eth0", ip(p), Net::IF_PRIVATE)) << p;
}

TEST(Net, ListsTheLoopbackInterface) {
    std::list<INet4::Addr> all;
    ASSERT_GE(Net::ifconfig(all, 0), 1);
    bool loopback = false;
    for (const auto& a : all) loopback |= a.GetString() == "127.0.0.1:0";
    EXPECT_TRUE(loopback);
    std::list<INet4::Addr> noLo;
    Net::ifconfig(noLo, Net::IF_NOT_LOOPBACK);
    for (const auto& a : noLo) EXPECT_NE("127.0.0.1:0", a.GetString());
    std::list<std::string> names;
    Net::ifconfig(names, 0, 0x1 /* IFF_UP */);
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "lo"));
}

}  // namespace
