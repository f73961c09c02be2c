#include "hardware/hw_mux.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <sstream>

#include "board/hal_driver.h"
#include "board/sim_hal.h"
#include "board/sim_switch.h"
#include "tests/support/capture.h"
#include "tests/support/pump.h"
#include "tests/support/sim_scope.h"

namespace {

const int kBus = HwMux::kBusFirst;
const int kLast = HwMux::kBusFirst + static_cast<int>(HwMux::kBusOutputs) - 1;

class HwMuxTest : public ::testing::Test {
protected:
    size_t count(SimRequest::Kind kind, unsigned long request = 0) const {
        const auto& log = hal.log();
        return static_cast<size_t>(std::count_if(log.begin(), log.end(), [&](const SimRequest& r) {
            return r.kind == kind && r.request == request;
        }));
    }
    size_t disables() const { return count(SimRequest::Ioctl, Hal::kMuxDisable); }

    SimScope sim;
    SimHal& hal = sim.model<SimHal>(SimHal::kPath);
    SimSwitch& sw = hal.switchPart();
};

TEST_F(HwMuxTest, OpeningDisablesEveryBusOutputWhateverWasLeftBehind) {
    for (int c = kBus; c <= kLast; ++c) sw.connect(c, 5);
    sw.connect(kBus - 1, 5);  // a controller channel below the bus is not the switch's
    StreamCapture log(std::clog);
    HwMux mux;
    EXPECT_EQ("hwMux: init\nhwMux: device opened\n", log.text());
    int driven = 0;
    for (int c = kBus; c <= kLast; ++c) driven += !sw.isDisabled(c);
    EXPECT_EQ(0, driven);
    EXPECT_EQ(5, sw.sourceOf(kBus - 1));
    EXPECT_EQ(HwMux::kBusOutputs, disables());
}

TEST_F(HwMuxTest, RefreshSweepsOnlyTheDisabledOutputsASliceAtATime) {
    HwMux mux;
    // One run covers the 128 entries after the cursor, starting with entry 1.
    for (int c : {kBus, kBus + 1, kBus + 128, kBus + 129}) sw.connect(c, 1);
    mux.OnDPC();
    EXPECT_EQ(1, sw.sourceOf(kBus));
    EXPECT_TRUE(sw.isDisabled(kBus + 1));
    EXPECT_TRUE(sw.isDisabled(kBus + 128));
    EXPECT_EQ(1, sw.sourceOf(kBus + 129));

    ASSERT_TRUE(mux.Connect(kBus + 5, kBus + 200));
    EXPECT_EQ(kBus + 5, sw.sourceOf(kBus + 200));  // the record {8392, 8197}
    ASSERT_TRUE(mux.Disconnect(kBus + 300));
    EXPECT_EQ(HwMux::kIdleByte, sw.constantOf(kBus + 300));
    ASSERT_TRUE(mux.Write(kBus + 301, 0x5A));
    ASSERT_TRUE(mux.Connect(kBus + 7, kBus + 400));
    ASSERT_TRUE(mux.Disable(kBus + 400));
    // Channels next to the bus are connected but never cached; sources
    // beyond the cache's range are never refreshed away.
    ASSERT_TRUE(mux.Connect(kBus, kBus - 1));
    ASSERT_TRUE(mux.Connect(kBus, kLast + 1));
    ASSERT_TRUE(mux.Connect(65535, kBus + 501));
    ASSERT_TRUE(mux.Connect(65535 + 65536, kBus + 502));
    ASSERT_TRUE(mux.Connect(65534, kBus + 503));

    // Drive outputs behind the switch's back: the disabled ones come back.
    for (int c : {kBus, kBus + 400, kLast}) sw.connect(c, 9);
    hal.clearLog();
    pumpPasses(8);  // 16 runs of 128: one full sweep
    EXPECT_EQ(HwMux::kBusOutputs - 6, disables());
    for (int c : {kBus, kBus + 400, kLast}) EXPECT_TRUE(sw.isDisabled(c)) << c;
    EXPECT_EQ(kBus + 5, sw.sourceOf(kBus + 200));
    EXPECT_EQ(HwMux::kIdleByte, sw.constantOf(kBus + 300));
    EXPECT_EQ(0x5A, sw.constantOf(kBus + 301));
    EXPECT_EQ(kBus, sw.sourceOf(kBus - 1));
    EXPECT_EQ(65535, sw.sourceOf(kBus + 501));
    EXPECT_EQ(65535 + 65536, sw.sourceOf(kBus + 502));
    EXPECT_EQ(65534, sw.sourceOf(kBus + 503));

    sw.carry(kBus + 5, 0x3C);
    EXPECT_EQ(0x3Cu, mux.Read(kBus + 200));
    EXPECT_EQ(0x5Au, mux.Read(kBus + 301));
}

TEST_F(HwMuxTest, FailedAndRefusedRequests) {
    HwMux mux;
    StreamCapture log(std::clog);
    hal.failRequest(Hal::kMuxConnect, EIO, 1);
    EXPECT_FALSE(mux.Connect(kBus + 5, kBus + 200));
    hal.failRequest(Hal::kMuxWrite, EBUSY, 2);
    EXPECT_FALSE(mux.Disconnect(kBus + 300));
    EXPECT_FALSE(mux.Write(kBus + 301, 0x5A));
    hal.failRequest(Hal::kMuxDisable, EINVAL, 1);
    EXPECT_FALSE(mux.Disable(kBus + 302));
    hal.failRequest(Hal::kMuxRead, EIO, 1);
    EXPECT_EQ(255u, mux.Read(kBus + 303));
    EXPECT_EQ(
        "hwMux: connect 8197 -> 8392 failed: Input/output error\n"
        "hwMux: disconnect failed 8492 : Device or resource busy\n"
        "hwMux: write failed 8493 <- 0x5A : Device or resource busy\n"
        "hwMux: disable failed 8494 : Invalid argument\n"
        "hwMux: read failed 8495 -> 0xFF : Input/output error\n",
        log.text());

    hal.clearLog();
    pumpPasses(8);
    EXPECT_EQ(HwMux::kBusOutputs - 3, disables());  // all but 8392, 8492 and 8493

    // Negative channels are refused without a request.
    hal.clearLog();
    log.clear();
    EXPECT_EQ(255u, mux.Read(-1));
    EXPECT_FALSE(mux.Connect(-1, kBus));
    EXPECT_FALSE(mux.Connect(kBus, -1));
    EXPECT_FALSE(mux.Disconnect(-1) || mux.Disable(-1) || mux.Write(-1, 1));
    EXPECT_TRUE(hal.log().empty());
    EXPECT_EQ("hwMux: ERROR not opened\nhwMux: ERROR not opened\n", log.text());
}

TEST_F(HwMuxTest, MissingDeviceFailsEveryOperationAndIsTriedAgain) {
    hal.failOpen(ENOENT);
    StreamCapture log(std::clog);
    HwMux mux;
    EXPECT_FALSE(mux.Connect(kBus, kBus + 1));
    EXPECT_FALSE(mux.Disconnect(kBus));
    EXPECT_FALSE(mux.Disable(kBus));
    EXPECT_FALSE(mux.Write(kBus, 1));
    EXPECT_EQ(255u, mux.Read(kBus));
    pumpPasses(2);
    EXPECT_EQ(6u, count(SimRequest::Open));
    EXPECT_EQ(6u, hal.log().size());  // nothing but the opens
    std::string failed = "hwMux: can't open device: No such file or directory\n";
    std::string expected = "hwMux: init\n" + failed + failed + "hwMux: ERROR not opened\n" +
                           failed + failed + failed + failed;
    EXPECT_EQ(expected, log.text());

    hal.failOpen(0);
    EXPECT_TRUE(mux.Disable(kBus));
    EXPECT_EQ(HwMux::kBusOutputs + 1, disables());
    EXPECT_TRUE(mux.IsOpened());
    EXPECT_EQ(7u, count(SimRequest::Open));
}

TEST_F(HwMuxTest, DescriptorZeroCountsAsOpen) {
    int saved = ::dup(0);
    ::close(0);
    {
        HwMux mux;
        ASSERT_NE(nullptr, sim.board().handleOf(0));
        hal.clearLog();
        EXPECT_TRUE(mux.Connect(kBus, kBus + 1));
        EXPECT_EQ(0u, count(SimRequest::Open));
    }
    ::dup2(saved, 0);
    ::close(saved);
}

TEST(PrintTrace, PrintsAtMostTenFrames) {
    StreamCapture out(std::cout);
    print_trace();
    std::istringstream lines(out.text());
    std::string first;
    std::getline(lines, first);
    int frames = 0;
    ASSERT_EQ(1, std::sscanf(first.c_str(), "Obtained %d stack frames.", &frames)) << first;
    EXPECT_GE(frames, 1);
    EXPECT_LE(frames, 10);
    int rest = 0;
    for (std::string l; std::getline(lines, l);) rest += !l.empty();
    EXPECT_EQ(frames, rest);
}

}  // namespace
