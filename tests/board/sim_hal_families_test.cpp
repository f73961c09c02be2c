#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>

#include "board/hal_driver.h"
#include "board/sim_board.h"
#include "board/sim_bus_clock.h"
#include "board/sim_control.h"
#include "board/sim_hal.h"
#include "board/sim_spi.h"
#include "board/sim_switch.h"

namespace {

// The bus clock, the SPI line interface and the bus test on the standard
// board's "/dev/hal", driven as the daemon drives them.
class SimHalFamiliesTest : public ::testing::Test {
protected:
    SimHalFamiliesTest()
        : board(SimBoard::makeStandard()),
          hal(board->model<SimHal>(SimHal::kPath)),
          spi(*hal.family<SimSpi>()) {
        fd = board->open(Hal::kDevice, O_RDWR);
    }
    ~SimHalFamiliesTest() override { board->close(fd); }

    // The request's result, or -errno.
    int request(unsigned long code, void* arg) {
        errno = 0;
        int r = board->ioctl(fd, code, arg);
        return r == -1 ? -errno : r;
    }
    int select(int32_t source) {
        Hal::ClockSelect r{source};
        return request(Hal::HW_CLOCK_SELECT, &r);
    }
    int spiWrite(uint8_t channel, uint8_t address, uint8_t value) {
        Hal::SpiRegister r{channel, address, value};
        return request(Hal::kSpiWrite, &r);
    }
    int spiRead(uint8_t channel, uint8_t address) {
        Hal::SpiRegister r{channel, address, 0xFF};
        return request(Hal::kSpiRead, &r);
    }
    bool writeByte(int32_t channel, int32_t value) {
        Hal::MuxByte r{channel, value};
        return request(Hal::kMuxWrite, &r) == 0;
    }
    int readByte(int32_t channel) {
        Hal::MuxByte r{channel, 255};
        return request(Hal::kMuxRead, &r) == 0 ? r.value : -1;
    }
    std::string control(const std::string& line) { return board->control("/dev/hal " + line); }

    std::unique_ptr<SimBoard> board;
    SimHal& hal;
    SimSpi& spi;
    int fd = -1;
};

// What the daemon's tests reach through the real services is left to them:
// here the refusals, the limits and the control commands.
TEST_F(SimHalFamiliesTest, ClockSelectsOnlyTheEightSourcesAndKeepsARecentHistory) {
    EXPECT_EQ(0, select(2));
    EXPECT_EQ(-EINVAL, select(8));
    EXPECT_EQ(-EINVAL, select(-1));
    EXPECT_EQ(0, select(7));
    EXPECT_EQ("source 7 ?2 selects 2 history 2 7", control("clock"));
    EXPECT_EQ(0u, control("clock now").find("error:"));
    for (int i = 0; i < 20; ++i) select(i % 8);
    auto& clock = *hal.family<SimBusClock>();
    EXPECT_EQ(SimBusClock::kHistory, clock.history().size());
    EXPECT_EQ(3, clock.history().back());
}

TEST_F(SimHalFamiliesTest, SpiRegistersAndLineStates) {
    EXPECT_EQ(Hal::kSpiDisabled, spiRead(0, Hal::kSpiEnable));  // power-up state
    EXPECT_EQ(0, spiWrite(7, 255, 0xFF));
    EXPECT_EQ(0xFF, spiRead(7, 255));
    EXPECT_EQ(0, spiRead(6, 255));
    EXPECT_EQ(-EINVAL, spiWrite(8, Hal::kSpiEnable, 0));
    EXPECT_EQ(-EINVAL, spiRead(255, Hal::kSpiStatus));
    EXPECT_EQ(-EINVAL, spiWrite(0, Hal::kSpiStatus, 0));  // the line status is read only
    EXPECT_EQ(-EFAULT, request(Hal::kSpiRead, nullptr));
    // The standard board's last two lines have nothing plugged in.
    EXPECT_EQ(SimSpi::kLineLossCarrier, spiRead(6, Hal::kSpiStatus));
    EXPECT_EQ(SimSpi::kLineNormal, spiRead(5, Hal::kSpiStatus));

    EXPECT_EQ("0xe5", control("spi slip 2 on"));
    EXPECT_EQ("0x20", control("spi line 2 lossCarrier"));  // the slip bit stays
    EXPECT_EQ("0x0", control("spi slip 2 off"));
    EXPECT_EQ("0x7", control("spi line 2 7"));
    for (const char* bad : {"spi line 8 normal", "spi line 2 unknown", "spi line 2 256",
                            "spi slip 2 maybe", "spi reg 0 256", "spi channel -1", "spi clock 1"})
        EXPECT_EQ(0u, control(bad).find("error:")) << bad;
    EXPECT_EQ(0x07, spiRead(2, Hal::kSpiStatus));
    EXPECT_EQ("absent", control("spi absent"));
    EXPECT_EQ(-ENODEV, spiRead(0, Hal::kSpiStatus));
}

TEST_F(SimHalFamiliesTest, BusTestReadsBackWhatWasWrittenUnlessTheChannelIsDamaged) {
    ASSERT_TRUE(writeByte(8331, 0x41));
    ASSERT_TRUE(writeByte(8332, 0x42));
    EXPECT_EQ("ok", control("bus mismatch 8331 0x10"));
    EXPECT_EQ("ok", control("bus mismatch 8332"));
    EXPECT_EQ("0x51", control("bus read 8331"));
    EXPECT_EQ(0xBD, readByte(8332));
    EXPECT_EQ("ok", control("bus clear"));
    EXPECT_EQ(0x41, readByte(8331));
    for (const char* bad : {"bus mismatch 8331 0", "bus mismatch 8331 256", "bus mismatch -1",
                            "bus carry 1 256", "bus read x", "bus fly"})
        EXPECT_EQ(0u, control(bad).find("error:")) << bad;
}

TEST_F(SimHalFamiliesTest, PeerPatternIsGlibcRandomOfTheSeedAndLeavesTheProcessSequence) {
    srandom(99);
    long mine = random();
    srandom(99);

    EXPECT_EQ("ok", control("bus pattern 15 120 8 7"));
    EXPECT_EQ(mine, random());  // the model drew from a generator of its own

    srandom(7);
    const int32_t first = Hal::kBusFirst + 15 * Hal::kBusTimeslots + 120;
    for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(random() & 0xFF, readByte(first + i)) << i;
    EXPECT_EQ(static_cast<int>(SimSwitch::kIdleBus), readByte(first - 1));

    for (const char* bad :
         {"bus pattern 16 0 1 1", "bus pattern 0 128 0 1", "bus pattern 0 120 9 1",
          "bus pattern 0 0 1 4294967296", "bus pattern 0 0 1"})
        EXPECT_EQ(0u, control(bad).find("error:")) << bad;
}

TEST_F(SimHalFamiliesTest, FittedEchoCancellersDriveTheirBusWithSilence) {
    EXPECT_EQ("4 5", control("echo"));
    EXPECT_EQ(0xD5, readByte(4 * 32));
    EXPECT_EQ(0xD5, readByte(5 * 32 + 31));
    EXPECT_EQ(0xFF, readByte(6 * 32));  // an empty bus reads as the idle level
    EXPECT_EQ("ok", control("echo fit 15"));
    EXPECT_EQ(0xD5, readByte(15 * 32 + 7));
    EXPECT_EQ("4 5 15", control("echo"));
    EXPECT_EQ(0, control("echo fit 16").rfind("error:", 0));
}

TEST_F(SimHalFamiliesTest, MonitoringBytesAndFaultsOfTheDevice) {
    uint8_t byte = 0xEE;
    EXPECT_EQ(0, request(Hal::kPowerRead, &byte));
    EXPECT_EQ(2, byte);
    ASSERT_EQ("0x41", control("monitor dip 0x41"));
    ASSERT_EQ("0x7", control("monitor power 7"));
    EXPECT_EQ(0, request(Hal::kDipRead, &byte));
    EXPECT_EQ(0x41, byte);
    byte = 0x15;
    EXPECT_EQ(0, request(Hal::kLedWrite, &byte));
    EXPECT_EQ("dip 0x41 power 0x7 leds 0x15 writes 1", control("monitor"));
    EXPECT_EQ(0u, control("monitor dip 256").find("error:"));

    // A request fails twice, then works; an open fails until told otherwise.
    ASSERT_EQ("ok", control("fault request 0xC0014206 EIO 2"));
    EXPECT_EQ(-EIO, request(Hal::kPowerRead, &byte));
    EXPECT_EQ(-EIO, request(Hal::kPowerRead, &byte));
    EXPECT_EQ(0, request(Hal::kPowerRead, &byte));
    ASSERT_EQ("ok", control("fault open 19"));
    EXPECT_EQ(-1, board->open(Hal::kDevice, O_RDWR));
    EXPECT_EQ(ENODEV, errno);
    ASSERT_EQ("ok", control("fault open off"));
    int second = board->open(Hal::kDevice, O_RDWR);
    EXPECT_LE(0, second);
    board->close(second);
    for (const char* bad : {"fault open", "fault open EWHAT", "fault open off 3", "fault request x EIO",
                            "fault open EIO 0"})
        EXPECT_EQ(0u, control(bad).find("error:")) << bad;
    EXPECT_EQ("4", control("log power-read"));
    EXPECT_EQ("1", control("log led-write"));
}

TEST(SimControlWords, NumbersAreTakenWholeAndInRange) {
    long long v = 0;
    EXPECT_TRUE(SimControl::number("0x1F", 0, 31, v));
    EXPECT_EQ(31, v);
    EXPECT_TRUE(SimControl::number("-12", -12, 0, v));
    EXPECT_EQ(-12, v);
    EXPECT_TRUE(SimControl::number("-0x10", -16, 0, v));
    EXPECT_EQ(-16, v);
    for (const char* bad : {"", "-", "0x", "-0x", "+1", " 1", "1 ", "1a", "0x1g",
                            "99999999999999999999", "0xffffffffffffffffff", "32"})
        EXPECT_FALSE(SimControl::number(bad, -100, 31, v)) << bad;
    EXPECT_EQ(-16, v);  // a refused word leaves the output alone
}

}  // namespace
