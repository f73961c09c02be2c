// The SPI line interface's register work on the simulated board, and the
// bus clock's fall-back when the switch device does not open.

#include "hardware/spi_ctrl.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <iostream>
#include <memory>

#include "board/sim_hal.h"
#include "board/sim_spi.h"
#include "hardware/bus_ctl.h"
#include "tests/support/capture.h"
#include "tests/support/sim_scope.h"

namespace {

class SpiCtrlTest : public ::testing::Test {
protected:
    std::string channel(unsigned c) { return spiPart.control({"channel", std::to_string(c)}); }

    StreamCapture log{std::clog};
    SimScope sim;
    SimHal& hal = sim.model<SimHal>(SimHal::kPath);
    SimSpi& spiPart = *hal.family<SimSpi>();
};

TEST_F(SpiCtrlTest, ChannelsAreSetUpAndOneMayBeClockMaster) {
    std::unique_ptr<spiCtrl> spi(new spiCtrl);
    for (unsigned c = 0; c < spiCtrl::kChannels; ++c) {
        EXPECT_NE(std::string::npos, channel(c).find(" enabled slave ")) << c;
        EXPECT_EQ(8, spiPart.reg(c, 48));
        EXPECT_EQ(96, spiPart.reg(c, 52));
    }
    EXPECT_EQ(0u, log.text().find("spi: try init\nspi: init channel 0\nspi: enable channel 0\n"));

    spi->clock(3);
    EXPECT_EQ("master 3", spiPart.control({"clock"}));
    spi->clock(5);
    EXPECT_EQ("master 5", spiPart.control({"clock"}));
    log.clear();
    hal.clearLog();
    spi->clock(8);
    spi->enable_channel(-1);
    EXPECT_EQ("spi: bad channel for set clock master 8\nspi: bad channel for enable -1\n", log.text());
    EXPECT_TRUE(hal.log().empty());

    // At exit every line is disabled and none is master.
    spi.reset();
    EXPECT_EQ("master none", spiPart.control({"clock"}));
    for (unsigned c = 0; c < spiCtrl::kChannels; ++c)
        EXPECT_EQ(Hal::kSpiDisabled, spiPart.reg(c, Hal::kSpiEnable)) << c;
}

TEST_F(SpiCtrlTest, ABoardWithoutSpiTurnsTheServiceOffForGood) {
    spiPart.setPresent(false);
    spiCtrl spi;
    EXPECT_EQ("spi: try init\nspi: init channel 0\nspi: hal without spi\n", log.text());
    EXPECT_FALSE(spi.present());
    spi.OnConnect();
    EXPECT_FALSE(spi.polling());
    // Even once the part answers, the service stays off.
    spiPart.setPresent(true);
    hal.clearLog();
    spi.clock(2);
    EXPECT_EQ(0u, spi.read(0, Hal::kSpiStatus));
    EXPECT_TRUE(hal.log().empty());
}

TEST_F(SpiCtrlTest, ClockFailsOverToNoSpiMasterWithoutTheSwitch) {
    spiCtrl spi;
    spi.clock(2);
    hal.failOpen(ENOENT);
    StreamCapture err(std::cerr);
    BusCtl bus(&spi);
    EXPECT_EQ(ENOENT, bus.SetDefaultClock());
    EXPECT_EQ("clkctl: set clock source fail: code 1.\n", err.text());
    EXPECT_EQ("master none", spiPart.control({"clock"}));
}

}  // namespace
