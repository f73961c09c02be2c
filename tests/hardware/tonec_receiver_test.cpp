#include "hardware/tonec_receiver.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "board/dtmf_driver.h"
#include "board/sim_tone_dsp.h"
#include "runtime/mux_clock.h"
#include "tests/support/capture.h"
#include "tests/support/pump.h"
#include "tests/support/sim_scope.h"
#include "tests/support/test_clock.h"

namespace {

using Hardware::TonecReceiver;
using Hardware::TonecReceiverService;

const unsigned kTs = 8200;

// A channel that writes down the tones it gets.
class Channel : public TonecReceiver {
public:
    explicit Channel(unsigned ts = kTs) : ts(ts) {}
    void tonec_event(const Params& p) override {
        codes.push_back(p.code);
        timestamps.push_back(p.timestamp);
    }
    unsigned tonec_timeslot() const override { return ts; }
    void tone_gen_complete() override { ++completed; }

    unsigned ts;
    std::vector<uint32_t> codes;
    std::vector<uint32_t> timestamps;
    int completed = 0;
};

LGCP::TranslateDtmfParams sequence(const std::vector<std::pair<int, int>>& tones) {
    LGCP::TranslateDtmfParams p;
    for (const auto& t : tones) {
        LGCP::DualTone d;
        d.set_freq1(t.first);
        d.set_freq2(t.second);
        p.set_digits().push_back(d);
    }
    return p;
}

class TonecTest : public ::testing::Test {
protected:
    // What the model received of one request.
    size_t requests(unsigned long code) const {
        size_t n = 0;
        for (const SimRequest& r : dsp.log()) n += r.request == code;
        return n;
    }
    std::string timeline() { return sim.board().control("/dev/dtmf timeline 8200"); }
    // Passes enough for every emitted record to be read.
    static void settle() { pumpPasses(3); }

    SimScope sim;
    SimToneDsp& dsp = sim.model<SimToneDsp>(SimToneDsp::kPath);
    TonecReceiverService& service = TonecReceiverService::instance();
};

TEST_F(TonecTest, TonesReachTheFirstReceiverOfTheTimeSlotWithTheCurrentEnableId) {
    Channel first, second, other(kTs + 1);
    dsp.setClock([] { return 4242u; });
    StreamCapture err(std::cerr), log(std::clog);
    ASSERT_TRUE(first.enableDTMF(true));
    EXPECT_TRUE(first.enableDTMF(true));  // already on: no request
    EXPECT_EQ(1u, requests(Tonec::DTMF_ENABLE_DETECTOR));

    dsp.emitDtmf(kTs, '5');
    dsp.emitCed(kTs);
    dsp.emitCode(kTs, 3, 99);  // left from an earlier enable
    dsp.emitDtmf(kTs + 1, '#');
    dsp.emitDtmf(kTs + 2, '1');
    settle();
    EXPECT_EQ((std::vector<uint32_t>{5, Tonec::kCodeCed}), first.codes);
    EXPECT_EQ((std::vector<uint32_t>{4242, 4242}), first.timestamps);
    EXPECT_TRUE(second.codes.empty());
    EXPECT_TRUE(other.codes.empty());
    EXPECT_EQ(
        "DTMF_ENABLE_DETECTOR done: timeslot=8200 id=1\n"
        "receive tonec event from unknown timeslot 8202\n",
        err.text());
    EXPECT_NE(std::string::npos, log.text().find("ignore spurious dtmf event:  timestamp=4242 "
                                                 "timeslot=8200 code=3 id=99 rid=1\n"));
}

TEST_F(TonecTest, DtmfAndIvaDetectorsKeepTheirOwnStates) {
    Channel c;
    ASSERT_TRUE(c.enableIVA(true));
    // Enabling IVA first must not make the DTMF enable look done.
    ASSERT_TRUE(c.enableDTMF(true));
    EXPECT_TRUE(dsp.channel(kTs).dtmf);
    EXPECT_TRUE(dsp.channel(kTs).iva);
    dsp.emitIva(kTs, 3);
    dsp.emitRingOff(kTs);
    settle();
    EXPECT_EQ((std::vector<uint32_t>{0x300, 0x1500}), c.codes);

    // Turning IVA off keeps DTMF digits coming, and drops IVA codes.
    ASSERT_TRUE(c.enableIVA(false));
    dsp.emitDtmf(kTs, '9');
    dsp.emitIva(kTs, 4);
    settle();
    EXPECT_EQ((std::vector<uint32_t>{0x300, 0x1500, 9}), c.codes);

    // IVA codes do not depend on the DTMF detector's enable id.
    ASSERT_TRUE(c.disableDTMF());
    ASSERT_TRUE(c.enableIVA(true));
    dsp.emitCode(kTs, 0x500, 77);
    dsp.emitDtmf(kTs, '1');
    settle();
    EXPECT_EQ((std::vector<uint32_t>{0x300, 0x1500, 9, 0x500}), c.codes);
}

TEST_F(TonecTest, RequestIdsSkipZeroAndFailuresChangeNoState) {
    Channel c;
    service.device.requestId = 0xFFFFFFFE;
    ASSERT_TRUE(c.enableDTMF(true));
    EXPECT_EQ(0xFFFFFFFFu, c.requestId());
    ASSERT_TRUE(c.disableDTMF());
    ASSERT_TRUE(c.enableDTMF(true));
    EXPECT_EQ(1u, c.requestId());
    ASSERT_TRUE(c.disableDTMF());

    StreamCapture err(std::cerr);
    dsp.failRequest(Tonec::DTMF_ENABLE_DETECTOR, EIO, 1);
    dsp.failRequest(Tonec::DTMF_REJECTION_ENABLE, EPERM, 1);
    EXPECT_FALSE(c.enableDTMF(true));
    EXPECT_FALSE(c.enableDTMFReject(true));
    EXPECT_FALSE(c.dtmfEnabled() || c.dtmfRejectEnabled());
    EXPECT_EQ(1u, c.requestId());
    EXPECT_EQ(
        "DTMF_ENABLE_DETECTOR fail: timeslot=8200 id=2 errno=\"Input/output error\"\n"
        "DTMF_REJECTION_ENABLE fail: timeslot=8200 errno=\"Operation not permitted\"\n",
        err.text());
}

TEST_F(TonecTest, ConfigurationRecordsCarryTheGivenValues) {
    Channel c;
    LGCP::DTMFParams p;
    p.set_threshold().set_twist(8);
    p.set_threshold().set_ratio(5);
    p.set_threshold().set_noise(30);
    p.set_level().set_silence(40);
    LGCP::IVAParams iva;
    iva.set_det_lvl_dB(-35);
    ASSERT_TRUE(c.configureDTMF(p) && c.configureIVA(iva) && c.echoCancel(true) &&
                c.enableDTMFReject(true));
    EXPECT_EQ(
        "dtmf=off id=0 iva=off reject=on lms=on twist=8 ratio=5 silence=40 noise=30 "
        "iva_level=-35 generator=0,0,0,0",
        sim.board().control("/dev/dtmf state 8200"));
}

TEST_F(TonecTest, ADtmfSequencePlaysEachToneAndPauseOnTheClock) {
    TestClock clock(1000);
    dsp.setClock([] { return Mux::milliseconds(); });
    Channel c;
    c.translateDTMF(sequence({{697, 1209}, {770, 1336}, {941, 1477}}));
    EXPECT_TRUE(c.sequenceRunning());
    advanceAndPump(clock, 1000);
    EXPECT_EQ(
        "1000 8200 dial 697 1209 16384 16384\n"
        "1070 8200 dial 1000 1000 0 0\n"
        "1140 8200 dial 770 1336 16384 16384\n"
        "1210 8200 dial 1000 1000 0 0\n"
        "1280 8200 dial 941 1477 16384 16384\n"
        "1350 8200 dial 1000 1000 0 0\n"
        "1420 8200 dial 0 0 0 0\n",
        timeline());
    EXPECT_EQ(1, c.completed);
    EXPECT_FALSE(c.sequenceRunning());

    // Given durations and levels (their low 16 bits); a sequence given while
    // one runs replaces the digits not yet sent.
    dsp.clearTimeline();
    LGCP::TranslateDtmfParams p = sequence({{697, 1209}, {852, 1209}});
    p.set_amp1(1000);
    p.set_amp2(65536 + 2000);
    p.set_toneDuration(40);
    p.set_pauseDuration(60);
    c.translateDTMF(p);
    advanceAndPump(clock, 50);
    c.translateDTMF(sequence({{65536 + 941, 1633}}));
    advanceAndPump(clock, 1000);
    EXPECT_EQ(
        "2000 8200 dial 697 1209 1000 2000\n"
        "2040 8200 dial 1000 1000 0 0\n"
        "2100 8200 dial 941 1633 16384 16384\n"
        "2170 8200 dial 1000 1000 0 0\n"
        "2240 8200 dial 0 0 0 0\n",
        timeline());
    EXPECT_EQ(2, c.completed);
}

TEST_F(TonecTest, TheAudibleCallCadenceRepeatsUntilCancelledAndYieldsToSequences) {
    TestClock clock(1000);
    dsp.setClock([] { return Mux::milliseconds(); });
    Channel c;
    c.activateAudibleCall();
    advanceAndPump(clock, 4500, 100);
    c.cancelAudibleCall();
    advanceAndPump(clock, 10000, 100);
    EXPECT_EQ(
        "1000 8200 dial 425 0 2048 2048\n"
        "2000 8200 dial 1000 1000 0 0\n"
        "5000 8200 dial 425 0 2048 2048\n"
        "5500 8200 dial 0 0 0 0\n",
        timeline());

    // During a sequence the cadence neither starts nor cancels; a sequence
    // started during the cadence ends it.
    dsp.clearTimeline();
    c.translateDTMF(sequence({{697, 1209}}));
    c.activateAudibleCall();
    c.cancelAudibleCall();
    advanceAndPump(clock, 1000, 10);
    c.activateAudibleCall();
    advanceAndPump(clock, 500, 100);
    c.translateDTMF(sequence({{770, 1209}}));
    advanceAndPump(clock, 10000, 10);
    EXPECT_EQ(
        "15500 8200 dial 697 1209 16384 16384\n"
        "15570 8200 dial 1000 1000 0 0\n"
        "15640 8200 dial 0 0 0 0\n"
        "16500 8200 dial 425 0 2048 2048\n"
        "17000 8200 dial 770 1209 16384 16384\n"
        "17070 8200 dial 1000 1000 0 0\n"
        "17140 8200 dial 0 0 0 0\n",
        timeline());
    EXPECT_EQ(2, c.completed);
}

TEST_F(TonecTest, SelcalNeedsFourSigns) {
    Channel c;
    TERM::SelcalCommand cmd;
    cmd.set_signs().assign("AB");
    StreamCapture err(std::cerr);
    EXPECT_FALSE(c.translateSelcal(cmd));
    EXPECT_EQ("SELCAL_DIAL fail: timeslot=8200 incorect signs:AB\n", err.text());
    EXPECT_EQ(0u, requests(Tonec::SELCAL_DIAL));

    cmd.set_signs().assign("ABCDE");
    ASSERT_TRUE(c.translateSelcal(cmd));
    cmd.set_amp(3000);
    cmd.set_signs().assign("KLMP");
    ASSERT_TRUE(c.translateSelcal(cmd));
    std::string text = timeline();
    EXPECT_NE(std::string::npos, text.find(" 8200 selcal 12000 ABCD\n"));
    EXPECT_NE(std::string::npos, text.find(" 8200 selcal 3000 KLMP\n"));
}

TEST_F(TonecTest, CleanBeforeDestroyLeavesTheTimeSlotQuiet) {
    TestClock clock(1000);
    {
        Channel c;
        ASSERT_TRUE(c.enableDTMF(true));
        ASSERT_TRUE(c.enableIVA(true));
        ASSERT_TRUE(c.enableDTMFReject(true));
        c.activateAudibleCall();
        c.CleanBeforeDestroy();
    }
    advanceAndPump(clock, 5000, 100);
    SimToneDsp::Channel ch = dsp.channel(kTs);
    EXPECT_FALSE(ch.dtmf);
    EXPECT_FALSE(ch.iva);
    EXPECT_FALSE(ch.rejection);
    EXPECT_EQ(0,
              ch.generator.freq1 | ch.generator.freq2 | ch.generator.level1 | ch.generator.level2);
    EXPECT_EQ(2u, dsp.timeline(kTs).size());
}

TEST_F(TonecTest, AFailedDeviceIsClosedUntilAConfigureOpensItAgain) {
    Channel c;
    ASSERT_TRUE(c.enableDTMF(true));
    unsigned handlers = multiplexer.handlerCount();
    StreamCapture err(std::cerr);
    // A short record is dropped; an empty read closes the device.
    ASSERT_EQ("ok", sim.board().control("/dev/dtmf raw 0102030405060708"));
    ASSERT_EQ("ok", sim.board().control("/dev/dtmf hangup"));
    settle();
    EXPECT_FALSE(service.isOpen());
    EXPECT_EQ(handlers - 1, multiplexer.handlerCount());

    // Other requests do not open it; a configure does, when it can.
    EXPECT_FALSE(c.echoCancel(true));
    dsp.failOpen(ENOENT, 1);
    LGCP::IVAParams iva;
    EXPECT_FALSE(c.configureIVA(iva));
    EXPECT_EQ(
        "fail to read from tonec: short record of 8 bytes dropped\n"
        "fail to read from tonec: end of file\n"
        "CHANNEL_LMS_ON fail: timeslot=8200 errno=\"Bad file descriptor\"\n"
        "open tonec fail, DTMF proceeding disabled: No such file or directory\n"
        "configure IVA fail: (interface not opened) timeslot=8200\n",
        err.text());
    ASSERT_TRUE(c.configureIVA(iva));
    dsp.emitDtmf(kTs, '0');
    settle();
    EXPECT_EQ((std::vector<uint32_t>{0}), c.codes);

    err.clear();
    ASSERT_EQ("ok", sim.board().control("/dev/dtmf fail"));
    settle();
    EXPECT_FALSE(service.isOpen());
    EXPECT_EQ("fail to read from tonec: Connection reset by peer\n", err.text());
}

}  // namespace
