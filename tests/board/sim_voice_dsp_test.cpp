#include "board/sim_voice_dsp.h"

#include <cstring>

#include "board/dsp_driver.h"
#include "tests/board/sim_model_fixture.h"

namespace {

using namespace DSProc;

template <class Params>
Configure configureRecord(uint32_t ts, uint32_t function, const Params& p) {
    static_assert(sizeof p == sizeof(Configure::params), "parameter block");
    Configure r{ts, function, {}};
    std::memcpy(r.params, &p, sizeof p);
    return r;
}

class SimVoiceDspTest : public SimModelTest<SimVoiceDsp> {
protected:
    SimVoiceDspTest() : SimModelTest(kDevice, O_RDWR | O_NONBLOCK), dsp(model) {}
    Event nextEvent() { return next<Event>(); }
    SimVoiceDsp& dsp;
};

TEST_F(SimVoiceDspTest, ConfigurationsFollowTheInterfaceVersion) {
    EXPECT_EQ(2, board->ioctl(fd, DSPROC_VERSION, 0L));
    ASSERT_EQ(
        0, request(DSPROC_CONFIGURE, configureRecord(8200, kVad, VadParamsV2{200, 300, -40, {}})));
    ASSERT_EQ(0, request(DSPROC_CONFIGURE, configureRecord(8200, kSd, VadParamsV1{{0, 0, 0}})));
    ASSERT_EQ(0,
              request(DSPROC_CONFIGURE, configureRecord(8200, kDelays, DelaysParams{20, 40, 60})));
    ASSERT_EQ(0, request(DSPROC_CONFIGURE, configureRecord(8200, kRxGain, RxGainParams{-6, {}})));
    ASSERT_EQ(
        0, request(DSPROC_CONFIGURE,
                   configureRecord(8200, kToneFilter, ToneFilterParams{2100, 1, 0, 400, -30, {}})));
    ASSERT_EQ(
        0, request(DSPROC_CONFIGURE,
                   configureRecord(8200, kToneFilter, ToneFilterParams{1000, 1, 0, 100, -20, {}})));
    EXPECT_EQ(
        "vad=off vad_id=0 sd=off sd_id=0 bss=off bss_id=0 ng=off ng_id=0 selcal_sh=off "
        "selcal_sh_id=0 mute=0,0 mute_id=0 vad_config=c8002c01d800000000000000 "
        "sd_config=on delays=20,40,60 gain=-6 filters=1000:1:100:-20,2100:1:400:-30",
        board->control("/dev/dsp state 8200"));

    // en 0 turns one filter off; disabling the function turns off the rest.
    ASSERT_EQ(0,
              request(DSPROC_CONFIGURE,
                      configureRecord(8200, kToneFilter, ToneFilterParams{1000, 0, 0, 0, 0, {}})));
    EXPECT_EQ(1u, dsp.channel(8200).filters.count(2100));
    ASSERT_EQ(0, request(DSPROC_DISABLE, Enable{8200, 0, kToneFilter}));
    EXPECT_TRUE(dsp.channel(8200).filters.empty());

    // Version 1 takes three plain words; padding that version 2 needs zero.
    EXPECT_EQ("ok", board->control("/dev/dsp version 1"));
    EXPECT_EQ(1, board->ioctl(fd, DSPROC_VERSION, 0L));
    EXPECT_EQ(0, request(DSPROC_CONFIGURE, configureRecord(8201, kVad, VadParamsV1{{3, 127, 0}})));
    EXPECT_EQ(3, dsp.channel(8201).vadParams[0]);
}

TEST_F(SimVoiceDspTest, HostileRequestsAreRefusedAndChangeNothing) {
    EXPECT_EQ(EINVAL, refusedWith(request(DSPROC_ENABLE, Enable{8200, 0, kVad})));
    EXPECT_EQ(EINVAL, refusedWith(request(DSPROC_ENABLE, Enable{8200, 1, 0})));
    EXPECT_EQ(EINVAL, refusedWith(request(DSPROC_ENABLE, Enable{8200, 1, kVad | kDelays})));
    EXPECT_EQ(EINVAL, refusedWith(request(DSPROC_ENABLE, Enable{10240, 1, kVad})));
    EXPECT_EQ(EINVAL, refusedWith(request(DSPROC_DISABLE, Enable{8200, 3, kVad})));
    EXPECT_EQ(EINVAL, refusedWith(request(DSPROC_DISABLE, Enable{8200, 0, kFlags})));
    EXPECT_EQ(EINVAL, refusedWith(request(DSPROC_CONFIGURE,
                                          configureRecord(8200, kFlags, DelaysParams{}))));
    EXPECT_EQ(EINVAL, refusedWith(request(DSPROC_CONFIGURE,
                                          configureRecord(8200, kVad | kSd, DelaysParams{}))));
    EXPECT_EQ(EINVAL, refusedWith(request(DSPROC_CONFIGURE,
                                          configureRecord(8200, kSd, DelaysParams{0, 0, 1}))));
    EXPECT_EQ(EINVAL,
              refusedWith(request(DSPROC_CONFIGURE,
                                  configureRecord(8200, kRxGain, RxGainParams{1, {0, 9}}))));
    EXPECT_EQ(EINVAL,
              refusedWith(request(
                  DSPROC_CONFIGURE,
                  configureRecord(8200, kToneFilter, ToneFilterParams{1000, 1, 1, 0, 0, {}}))));
    EXPECT_EQ(EINVAL, refusedWith(request(DSPROC_CONFIGURE,
                                          configureRecord(8200, kVad, VadParamsV1{{3, 127, 1}}))));
    EXPECT_EQ(EINVAL, refusedWith(board->ioctl(fd, DSPROC_VERSION, 1L)));
    EXPECT_EQ(EINVAL, refusedWith(board->ioctl(fd, DSPROC_VERSION, static_cast<void*>(nullptr))));
    EXPECT_EQ(EFAULT, refusedWith(board->ioctl(fd, DSPROC_ENABLE, static_cast<void*>(nullptr))));
    EXPECT_EQ(EFAULT, refusedWith(board->ioctl(fd, DSPROC_ENABLE, 8200L)));

    SimVoiceDsp::Channel c = dsp.channel(8200);
    EXPECT_FALSE(c.vad.on || c.vadConfigured || c.sdConfigured || c.gainSet);
    EXPECT_TRUE(c.filters.empty());
}

// The daemon's tests drive the model's calls; users and the end-to-end
// tests its control commands.
TEST_F(SimVoiceDspTest, ControlCommandsEmitRecordsWithTheirTypeDataAndId) {
    for (const char* command : {"tone 8200 2100 -1", "flags 8200 0x80000000 0xE0000000",
                                "vad 8200 1 0 99", "sd 8201 1", "bss 8200 0.25", "event 8200 3 0x800 1 2 3"})
        EXPECT_EQ("ok", board->control(std::string("/dev/dsp ") + command)) << command;
    const uint32_t expected[][6] = {{8200, 0, kToneFilter, 2100, 0xFFFFFFFF, 0},
                                    {8200, 0, kFlags, 0x80000000, 0xE0000000, 0},
                                    {8200, 99, kVad, kVadRx | kVadTx, 1, 0},
                                    {8201, 0, kSd, 1, 0, 0}};
    for (const auto& x : expected) {
        Event e = nextEvent();
        EXPECT_EQ(0, std::memcmp(x, &e, sizeof e)) << "type " << x[2];
    }
    Event e = nextEvent();
    dsproc_bss_event bss;
    std::memcpy(&bss, e.data, sizeof bss);
    EXPECT_EQ(0.25f, bss.score);
    e = nextEvent();
    EXPECT_EQ(0x800u, e.type);
    EXPECT_EQ(3u, e.id);
    for (const char* bad : {"bss 8200 nan", "tone 8200 2100", "flags 8200 1 2 3", "sd 10240 1"})
        EXPECT_TRUE(replyFails(std::string("/dev/dsp ") + bad)) << bad;
}

}  // namespace
