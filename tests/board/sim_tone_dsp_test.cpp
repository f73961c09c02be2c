#include "board/sim_tone_dsp.h"

#include <cstring>

#include "board/dtmf_driver.h"
#include "tests/board/sim_model_fixture.h"

namespace {

using namespace Tonec;

class SimToneDspTest : public SimModelTest<SimToneDsp> {
protected:
    SimToneDspTest() : SimModelTest(kDevice, O_RDONLY | O_NONBLOCK), dsp(model) {}
    Event nextEvent() { return next<Event>(); }
    SimToneDsp& dsp;
};

TEST_F(SimToneDspTest, HostileRequestsAreRefusedAndChangeNothing) {
    EXPECT_EQ(EINVAL, refusedWith(request(DTMF_ENABLE_DETECTOR, DetectorEnable{10240, 1})));
    EXPECT_EQ(EINVAL, refusedWith(request(DTMF_ENABLE_DETECTOR, DetectorEnable{0xFFFFFFFF, 1})));
    EXPECT_EQ(EINVAL, refusedWith(request(DTMF_ENABLE_DETECTOR, DetectorEnable{5, 0})));
    EXPECT_EQ(EINVAL, refusedWith(request(CHANNEL_LMS_ON, -1L)));
    EXPECT_EQ(EINVAL, refusedWith(request(IVA_DETECTOR_ENABLE, 1L << 40)));
    EXPECT_EQ(EFAULT, refusedWith(board->ioctl(fd, DTMF_DIAL, static_cast<void*>(nullptr))));
    EXPECT_EQ(EFAULT, refusedWith(request(DTMF_DIAL, 5L)));  // a record passed as an integer
    long ts = 5;
    EXPECT_EQ(EINVAL, refusedWith(board->ioctl(fd, CHANNEL_LMS_ON, &ts)));  // and the reverse
    EXPECT_EQ(ENOTTY, refusedWith(request(0x40044208UL, 5L)));
    EXPECT_EQ(EINVAL,
              refusedWith(request(SELCAL_DIAL, SelcalDial{5, 100, {'A', 'B', 0, 'C'}, {0, 0}})));
    EXPECT_EQ(EINVAL,
              refusedWith(request(SELCAL_DIAL, SelcalDial{5, 100, {'A', 'B', 'C', 'D'}, {1, 0}})));

    EXPECT_EQ(0u, dsp.channel(5).id);
    EXPECT_FALSE(dsp.channel(5).lms);
    EXPECT_TRUE(dsp.timeline().empty());
}

// The daemon's tests drive the model's calls; users and the end-to-end
// tests its control commands.
TEST_F(SimToneDspTest, ControlCommandsEmitRecordsWithTheTimeSlotsEnableId) {
    dsp.setClock([] { return 1040u; });
    ASSERT_EQ(0, request(DTMF_ENABLE_DETECTOR, DetectorEnable{8200, 9}));
    for (const char* command : {"dtmf 8200 1D", "iva 8200 3", "ringoff 8200", "ced 8200",
                                "cng 8201", "code 8200 200 4"})
        EXPECT_EQ("ok", board->control(std::string("/dev/dtmf ") + command)) << command;
    const uint32_t expected[][4] = {{1, 8200, 1040, 9},        {15, 8200, 1040, 9},
                                    {0x300, 8200, 1040, 9},    {0x1500, 8200, 1040, 9},
                                    {kCodeCed, 8200, 1040, 9}, {kCodeCng, 8201, 1040, 0},
                                    {200, 8200, 1040, 4}};
    for (const auto& x : expected) {
        Event e = nextEvent();
        EXPECT_EQ(0, std::memcmp(x, &e, sizeof e)) << "code " << x[0];
    }
    char extra;
    EXPECT_EQ(-1, ::read(fd, &extra, 1));
    for (const char* bad : {"dtmf 8200 12x", "iva 8200 0", "ced 8200 1 2", "code 10240 1 1"})
        EXPECT_TRUE(replyFails(std::string("/dev/dtmf ") + bad)) << bad;

    ASSERT_EQ(0, request(SELCAL_DIAL, SelcalDial{8200, 12000, {'A', 'B', 'C', 'D'}, {0, 0}}));
    EXPECT_EQ("1040 8200 selcal 12000 ABCD\n", board->control("/dev/dtmf timeline 8200"));
    EXPECT_EQ("ok", board->control("/dev/dtmf clear"));
    EXPECT_EQ("", board->control("/dev/dtmf timeline"));
}

}  // namespace
