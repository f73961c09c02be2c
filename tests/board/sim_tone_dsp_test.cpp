#include "board/sim_tone_dsp.h"

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

TEST_F(SimToneDspTest, RequestsSetTheTimeSlotsState) {
    ASSERT_EQ(0, request(DTMF_CONFIGURE_DETECTOR, DetectorConfig{8200, 10, 20, 30, 40}));
    ASSERT_EQ(0, request(DTMF_ENABLE_DETECTOR, DetectorEnable{8200, 7}));
    ASSERT_EQ(0, request(CHANNEL_LMS_ON, 8200L));
    ASSERT_EQ(0, request(DTMF_REJECTION_ENABLE, 8200L));
    ASSERT_EQ(0, request(IVA_CONFIGURE_DETECTOR, IvaConfig{8200, -33}));
    ASSERT_EQ(0, request(IVA_DETECTOR_ENABLE, 8200L));
    ASSERT_EQ(0, request(DTMF_DISABLE_DETECTOR, 8200L));

    SimToneDsp::Channel c = dsp.channel(8200);
    EXPECT_FALSE(c.dtmf);
    EXPECT_EQ(7u, c.id);  // the last id stays for later events
    EXPECT_TRUE(c.iva && c.lms && c.rejection);
    EXPECT_EQ(40u, c.config.noise);
    EXPECT_EQ(
        "dtmf=off id=7 iva=on reject=on lms=on twist=10 ratio=20 silence=30 noise=40 "
        "iva_level=-33 generator=0,0,0,0",
        board->control("/dev/dtmf state 8200"));
    // Another time slot is untouched.
    EXPECT_EQ(
        "dtmf=off id=0 iva=off reject=off lms=off twist=- ratio=- silence=- noise=- "
        "iva_level=- generator=0,0,0,0",
        board->control("/dev/dtmf state 8201"));
}

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

TEST_F(SimToneDspTest, EventsCarryTheCodeAndTheTimeSlotsEnableId) {
    uint32_t now = 1000;
    dsp.setClock([&now] { return now; });
    ASSERT_EQ(0, request(DTMF_ENABLE_DETECTOR, DetectorEnable{8200, 9}));

    ASSERT_TRUE(dsp.emitDtmf(8200, '#'));
    Event e = nextEvent();
    EXPECT_EQ(11u, e.code);
    EXPECT_EQ(8200u, e.timeslot);
    EXPECT_EQ(1000u, e.timestamp);
    EXPECT_EQ(9u, e.id);

    now = 1040;
    EXPECT_EQ("ok", board->control("/dev/dtmf dtmf 8200 1D"));
    EXPECT_EQ("ok", board->control("/dev/dtmf iva 8200 3"));
    EXPECT_EQ("ok", board->control("/dev/dtmf ringoff 8200"));
    EXPECT_EQ("ok", board->control("/dev/dtmf ced 8200"));
    EXPECT_EQ("ok", board->control("/dev/dtmf cng 8201"));  // never enabled: id 0
    EXPECT_EQ("ok", board->control("/dev/dtmf code 8200 200 4"));
    const uint32_t expected[][4] = {{1, 8200, 1040, 9},        {15, 8200, 1040, 9},
                                    {0x300, 8200, 1040, 9},    {0x1500, 8200, 1040, 9},
                                    {kCodeCed, 8200, 1040, 9}, {kCodeCng, 8201, 1040, 0},
                                    {200, 8200, 1040, 4}};
    for (const auto& x : expected) {
        e = nextEvent();
        EXPECT_EQ(x[0], e.code);
        EXPECT_EQ(x[1], e.timeslot);
        EXPECT_EQ(x[2], e.timestamp);
        EXPECT_EQ(x[3], e.id);
    }
    char extra;
    EXPECT_EQ(-1, ::read(fd, &extra, 1));

    EXPECT_FALSE(dsp.emitDtmf(8200, 'E'));
    EXPECT_FALSE(dsp.emitIva(8200, 21));
    EXPECT_FALSE(dsp.emitCode(10240, 1));
    EXPECT_TRUE(replyFails("/dev/dtmf dtmf 8200 12x"));
    EXPECT_TRUE(replyFails("/dev/dtmf iva 8200 0"));
    EXPECT_TRUE(replyFails("/dev/dtmf ced 8200 1 2"));
}

TEST_F(SimToneDspTest, TimelineKeepsGeneratorRequestsWithTheirTimes) {
    uint32_t now = 500;
    dsp.setClock([&now] { return now; });
    ASSERT_EQ(0, request(DTMF_DIAL, Dial{8200, 697, 1209, 16384, 16384}));
    now = 570;
    ASSERT_EQ(0, request(DTMF_DIAL, Dial{8200, 1000, 1000, 0, 0}));
    ASSERT_EQ(0, request(DTMF_DIAL, Dial{8300, 425, 0, 2048, 2048}));
    now = 640;
    ASSERT_EQ(0, request(SELCAL_DIAL, SelcalDial{8200, 12000, {'A', 'B', 'C', 'D'}, {0, 0}}));

    auto steps = dsp.timeline(8200);
    ASSERT_EQ(3u, steps.size());
    EXPECT_EQ(500u, steps[0].at);
    EXPECT_EQ(697, steps[0].freq1);
    EXPECT_EQ(570u, steps[1].at);
    EXPECT_EQ(SimToneDsp::Step::Selcal, steps[2].kind);
    EXPECT_EQ("ABCD", steps[2].signs);
    EXPECT_EQ(425, dsp.channel(8300).generator.freq1);
    EXPECT_EQ(
        "500 8200 dial 697 1209 16384 16384\n"
        "570 8200 dial 1000 1000 0 0\n"
        "640 8200 selcal 12000 ABCD\n",
        board->control("/dev/dtmf timeline 8200"));
    EXPECT_EQ("ok", board->control("/dev/dtmf clear"));
    EXPECT_EQ("", board->control("/dev/dtmf timeline"));
}

}  // namespace
