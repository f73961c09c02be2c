#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "board/e1_driver.h"
#include "board/sim_board.h"
#include "board/sim_cas.h"
#include "board/sim_maintenance.h"

namespace {

// Tests drive the E1 drivers as the daemon does: through SimBoard's calls on
// a descriptor, and through the control commands.
class SimE1Test : public ::testing::Test {
protected:
    SimE1Test() : board(SimBoard::makeStandard()) {
        mfd = board->open(E1::kMaintenanceDevice, O_RDWR | O_NONBLOCK);
        cfd = board->open(E1::kCasDevice, O_RDWR | O_NONBLOCK);
    }
    ~SimE1Test() override {
        board->close(mfd);
        board->close(cfd);
    }

    // -1 and errno, or the result.
    int refused(int fd, unsigned long request, void* arg) {
        errno = 0;
        return board->ioctl(fd, request, arg) == -1 ? errno : 0;
    }
    int refusedValue(int fd, unsigned long request, long arg) {
        errno = 0;
        return board->ioctl(fd, request, arg) == -1 ? errno : 0;
    }
    E1::TrunkStatusRecord status(int32_t trunk) {
        E1::TrunkStatusRecord r;
        std::memset(&r, 0xA5, sizeof r);  // the driver owns every word it returns
        r.trunk = trunk;
        EXPECT_EQ(0, board->ioctl(mfd, E1::kTrunkStatus, &r));
        return r;
    }
    int enable(int fd, uint32_t trunk, uint32_t slot, uint8_t tx, uint32_t disable = 0) {
        E1::CasChannelRecord r{{trunk, slot, 0, tx, {0, 0}}, disable};
        return refused(fd, E1::kCasEnable, &r);
    }
    E1::CasRecord get(uint32_t trunk, uint32_t slot) {
        E1::CasRecord r{trunk, slot, 0xFF, 0xFF, {0, 0}};
        EXPECT_EQ(0, board->ioctl(cfd, E1::kCasGet, &r));
        return r;
    }
    std::string control(const std::string& line) { return board->control(line); }

    std::unique_ptr<SimBoard> board;
    int mfd = -1;
    int cfd = -1;
};

// The framers, the CAS channels and the injected records as the daemon
// meets them are its tests' business: here the control commands, the
// refusals and the rules of ownership.
TEST_F(SimE1Test, FramerSetByControlIsWhatTheStatusRequestReports) {
    EXPECT_EQ(
        "trunk 2 state lossBF slips 7 lossBF 1 lossCarrier 1 lossAIS 0 lossRAI 4294967295",
        control("/dev/maintenance framer 2 state lossBF slips 7 lossBF 1 lossRAI 0xffffffff"));
    E1::TrunkStatusRecord r = status(2);
    EXPECT_EQ(E1::kStateLossBF, r.state);
    EXPECT_EQ(0xFFFFFFFFu, r.lossRAI);
    EXPECT_EQ(0u, r.reserved2[4]);
    control("/dev/maintenance framer 3 state -2147483648");
    EXPECT_EQ(INT32_MIN, status(3).state);
    // One bad pair sets nothing.
    for (const char* bad :
         {"framer 1 slips 5 state bogus", "framer 1 slips -1", "framer 1 slips",
          "framer 1 colour 5", "framer 1 slips 4294967296", "framer 4", "framer x"}) {
        EXPECT_EQ(0u, control(std::string("/dev/maintenance ") + bad).find("error:")) << bad;
    }
    EXPECT_EQ(3u, status(1).slips);
}

TEST_F(SimE1Test, MaintenanceRefusesHostileRequests) {
    E1::TrunkStatusRecord r{};
    for (int32_t trunk : {4, -1, INT32_MAX}) {
        r.trunk = trunk;
        EXPECT_EQ(EINVAL, refused(mfd, E1::kTrunkStatus, &r)) << trunk;
    }
    EXPECT_EQ(EFAULT, refused(mfd, E1::kTrunkStatus, nullptr));
    EXPECT_EQ(EFAULT, refusedValue(mfd, E1::kTrunkStatus, 0));
    EXPECT_EQ(ENOTTY, refused(mfd, 0xC0504D04UL, &r));
    EXPECT_EQ(EINVAL, board->write(mfd, "x", 1) == -1 ? errno : 0);

    // The mask and the source are plain integers; a pointer passed by mistake
    // arrives as an address and is out of range.
    EXPECT_EQ("none", control("/dev/maintenance tclk"));
    EXPECT_EQ(0, refusedValue(mfd, E1::kTransmitClockMask, 0x2));
    for (long bad : {0x10L, -1L, 0x100000002L})
        EXPECT_EQ(EINVAL, refusedValue(mfd, E1::kTransmitClockMask, bad));
    EXPECT_EQ(EINVAL, refused(mfd, E1::kTransmitClockMask, &r));
    EXPECT_EQ("0x2", control("/dev/maintenance tclk"));

    EXPECT_EQ(0, refusedValue(mfd, E1::kClockSource, 3));
    EXPECT_EQ(EINVAL, refusedValue(mfd, E1::kClockSource, 4));
    EXPECT_EQ("3", control("/dev/maintenance source"));
}

TEST_F(SimE1Test, CasEventsReachOnlyEnabledChannelsAndCloseDisablesThem) {
    EXPECT_EQ(0, refusedValue(cfd, E1::kCasOpen, 0));
    EXPECT_EQ(0, refusedValue(cfd, E1::kCasOpen, 0));  // the holder may open again
    EXPECT_EQ(0, enable(cfd, 0, 5, 0xF));
    EXPECT_EQ("sent", control("/dev/e1-cas event 0 5 0x1"));
    // A line change on a channel that is not enabled is only stored.
    EXPECT_EQ("held", control("/dev/e1-cas event 0 6 0x2"));
    E1::CasRecord ev;
    ASSERT_EQ(static_cast<ssize_t>(sizeof ev), board->read(cfd, &ev, sizeof ev + 4));
    EXPECT_EQ(-1, board->read(cfd, &ev, sizeof ev));
    EXPECT_EQ(2, get(0, 6).rx);
    EXPECT_EQ(0, enable(cfd, 0, 5, 0, 1));
    EXPECT_EQ("held", control("/dev/e1-cas event 0 5 0x9"));

    EXPECT_EQ(0, enable(cfd, 0, 7, 0));
    EXPECT_EQ(0, refusedValue(cfd, E1::kCasClose, 0));
    E1::CasRecord set{0, 7, 0, 0x3, {0, 0}};
    EXPECT_EQ(ENXIO, refused(cfd, E1::kCasSet, &set));
    EXPECT_EQ(ENXIO, refusedValue(cfd, E1::kCasClose, 0));
    EXPECT_EQ(0, refusedValue(cfd, E1::kCasOpen, 0));
    EXPECT_EQ("trunk 0 open channels", control("/dev/e1-cas trunk 0"));  // closing disabled them
}

TEST_F(SimE1Test, CasRefusesHostileRequests) {
    EXPECT_EQ(EINVAL, refusedValue(cfd, E1::kCasOpen, 4));
    EXPECT_EQ(EINVAL, refusedValue(cfd, E1::kCasOpen, -1));
    int trunk = 0;
    EXPECT_EQ(EINVAL, refused(cfd, E1::kCasOpen, &trunk));  // a pointer is not a trunk number
    ASSERT_EQ(0, refusedValue(cfd, E1::kCasOpen, 1));

    for (uint32_t slot : {0u, 16u, 32u, 0xFFFFFFFFu})
        EXPECT_EQ(EINVAL, enable(cfd, 1, slot, 0)) << slot;
    EXPECT_EQ(EINVAL, enable(cfd, 4, 1, 0));
    EXPECT_EQ(EINVAL, enable(cfd, 1, 1, 0x10));
    EXPECT_EQ(EINVAL, enable(cfd, 1, 1, 0, 2));
    E1::CasRecord bits{1, 1, 0, 0x10, {0, 0}};
    EXPECT_EQ(EINVAL, refused(cfd, E1::kCasSet, &bits));
    bits = {0xFFFFFFFFu, 1, 0, 0, {0, 0}};
    EXPECT_EQ(EINVAL, refused(cfd, E1::kCasGet, &bits));
    bits = {2, 1, 0, 0, {0, 0}};
    EXPECT_EQ(ENXIO, refused(cfd, E1::kCasGet, &bits));
    for (unsigned long r : {E1::kCasSet, E1::kCasGet, E1::kCasEnable}) {
        EXPECT_EQ(EFAULT, refused(cfd, r, nullptr));
        EXPECT_EQ(EFAULT, refusedValue(cfd, r, 0));
    }
    EXPECT_EQ(EINVAL, board->write(cfd, &bits, sizeof bits) == -1 ? errno : 0);

    // Unaligned records are read and written back.
    alignas(4) unsigned char buf[1 + sizeof(E1::CasRecord)];
    E1::CasRecord at{1, 9, 0, 0, {0, 0}};
    std::memcpy(buf + 1, &at, sizeof at);
    ASSERT_EQ(0, board->ioctl(cfd, E1::kCasGet, buf + 1));
    std::memcpy(&at, buf + 1, sizeof at);
    EXPECT_EQ(SimCas::kIdleBits, at.rx);
}

TEST_F(SimE1Test, ATrunkBelongsToTheOpenThatHoldsItUntilItCloses) {
    int other = board->open(E1::kCasDevice, O_RDWR | O_NONBLOCK);
    ASSERT_EQ(0, refusedValue(other, E1::kCasOpen, 3));
    ASSERT_EQ(0, enable(other, 3, 7, 0x1));
    EXPECT_EQ(EBUSY, refusedValue(cfd, E1::kCasOpen, 3));
    EXPECT_EQ(EBUSY, refusedValue(cfd, E1::kCasClose, 3));
    EXPECT_EQ(EBUSY, enable(cfd, 3, 7, 0));
    EXPECT_EQ("sent", control("/dev/e1-cas event 3 7 0x5"));
    E1::CasRecord ev;
    EXPECT_EQ(-1, board->read(cfd, &ev, sizeof ev));  // only the holder hears its trunk
    EXPECT_EQ(static_cast<ssize_t>(sizeof ev), board->read(other, &ev, sizeof ev));

    board->close(other);
    board->collect();
    EXPECT_EQ(0, refusedValue(cfd, E1::kCasOpen, 3));
    EXPECT_EQ("trunk 3 open channels", control("/dev/e1-cas trunk 3"));
}

TEST_F(SimE1Test, ControlCommandsRefuseBadWordsAndAHangUpClosesTheTrunks) {
    for (const char* bad :
         {"raw 030", "raw zz", "raw " /* no bytes */, "record 1 2 3 256", "event 0 16 1",
          "event 4 1 1", "event 0 1 16", "channel 0 0", "trunk -1", "hangup now", "fly"})
        EXPECT_EQ(0u, control(std::string("/dev/e1-cas ") + bad).find("error:")) << bad;
    ASSERT_EQ(0, refusedValue(cfd, E1::kCasOpen, 0));
    EXPECT_EQ("ok", control("/dev/e1-cas hangup"));
    pollfd p{cfd, POLLIN, 0};
    ASSERT_EQ(1, ::poll(&p, 1, 0));
    EXPECT_TRUE(p.revents & POLLHUP);
    EXPECT_EQ(EIO, refusedValue(cfd, E1::kCasOpen, 1));
    EXPECT_EQ("trunk 0 closed", control("/dev/e1-cas trunk 0"));
}

}  // namespace
