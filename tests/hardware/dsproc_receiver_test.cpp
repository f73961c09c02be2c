#include "hardware/dsproc_receiver.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "board/dsp_driver.h"
#include "board/sim_voice_dsp.h"
#include "core/slot.h"
#include "core/trace_ctl.h"
#include "tests/support/capture.h"
#include "tests/support/pump.h"
#include "tests/support/sim_scope.h"

namespace {

using Hardware::DSProcReceiver;
using Hardware::DSProcReceiverService;

const unsigned kTs = 8200;

// A channel that writes down the events it gets, one line each.
class Channel : public DSProcReceiver {
public:
    explicit Channel(unsigned ts = kTs) : ts(ts) {}
    void dsproc_vad_event(const Hardware::DSProcVADEvent& e) override {
        add("vad " + std::to_string(e.vad_rx) + " " + std::to_string(e.vad_tx));
    }
    void dsproc_bss_event(const ::dsproc_bss_event* e) override {
        add("bss " + bssScoreText(*e));
    }
    void dsproc_sd_event(const Hardware::DSProcSDEvent& e) override {
        add("sd " + std::to_string(e.sd_rx));
    }
    void dsproc_tone_flt_event(const ::dsproc_tone_event* e) override {
        add("tone " + std::to_string(e->freq) + " " + std::to_string(e->presence));
    }
    void dsproc_flags_event(const ::dsproc_flags_event* e) override {
        add("flags " + std::to_string(e->flags) + " " + std::to_string(e->mask));
    }
    unsigned dsproc_timeslot() const override { return ts; }

    void add(const std::string& s) { events += s + "\n"; }

    unsigned ts;
    std::string events;
};

class DSProcTest : public ::testing::Test {
protected:
    // The enable and disable records the model received, as
    // "enable <id> <bits>" and "disable <bits>".
    std::vector<std::string> switches() const {
        std::vector<std::string> out;
        for (const SimRequest& r : dsp.log()) {
            if (r.request != DSProc::DSPROC_ENABLE && r.request != DSProc::DSPROC_DISABLE) continue;
            out.push_back(r.request == DSProc::DSPROC_ENABLE ? "enable" : "disable");
        }
        return out;
    }
    std::string state() { return sim.board().control("/dev/dsp state 8200"); }
    static void settle() { pumpPasses(3); }

    SimScope sim;
    SimVoiceDsp& dsp = sim.model<SimVoiceDsp>(SimVoiceDsp::kPath);
    DSProcReceiverService& service = DSProcReceiverService::instance();
};

TEST_F(DSProcTest, RequestsGoOutOnlyForStatesThatChange) {
    Channel c;
    StreamCapture err(std::cerr);
    ASSERT_TRUE(c.enableVAD(true));
    ASSERT_TRUE(c.enableVAD(true));
    EXPECT_TRUE(c.disableBSS());  // off from the start
    EXPECT_TRUE(c.disableSD());   // not yet set: asks the DSP
    ASSERT_TRUE(c.enableNG(true));
    ASSERT_TRUE(c.enableSelcalSh(true));
    ASSERT_TRUE(c.disableSelcalSh());
    EXPECT_EQ(1, c.ng().state);
    ASSERT_TRUE(c.enableMute(true, true));
    ASSERT_TRUE(c.enableMute(true, true));
    ASSERT_TRUE(c.enableMute(false, true));
    ASSERT_TRUE(c.disableMute());
    EXPECT_EQ((std::vector<std::string>{"enable", "disable", "enable", "enable", "disable",
                                        "enable", "enable", "disable"}),
              switches());
    EXPECT_EQ(
        "DSPROC_ENABLE VAD done: timeslot=8200 id=1\n"
        "DSPROC_DISABLE SD done: timeslot=8200\n"
        "DSPROC_ENABLE NG done: timeslot=8200 id=2\n"
        "DSPROC_ENABLE SELCAL_SH done: timeslot=8200 id=3\n"
        "DSPROC_DISABLE SELCAL_SH done: timeslot=8200\n"
        "DSPROC_ENABLE MUTE done: timeslot=8200 id=4\n"
        "DSPROC_ENABLE MUTE done: timeslot=8200 id=5\n"
        "DSPROC_DISABLE MUTE done: timeslot=8200\n",
        err.text());
    EXPECT_EQ(5u, c.muteId());
    EXPECT_EQ(0, c.mute1());
    EXPECT_EQ(0, c.mute2());
    SimVoiceDsp::Channel ch = dsp.channel(kTs);
    EXPECT_TRUE(ch.vad.on);
    EXPECT_EQ(1u, ch.vad.id);
    EXPECT_FALSE(ch.mute1 || ch.mute2);

    // A refused enable changes nothing and is said with its error.
    err.clear();
    dsp.failRequest(DSProc::DSPROC_ENABLE, EBUSY, 1);
    EXPECT_FALSE(c.enableBSS(true));
    EXPECT_EQ(0, c.bss().state);
    EXPECT_EQ("DSPROC_ENABLE BSS fail: timeslot=8200 id=6 errno=\"Device or resource busy\"\n",
              err.text());
}

TEST_F(DSProcTest, EventsReachTheReceiverByFunctionStateAndId) {
    Channel c, second, other(kTs + 1);
    // VAD and SD not yet set count as on; their ids are still 0.
    dsp.emitEvent(DSProc::Event{kTs, 0, DSProc::kVad, {DSProc::kVadTx, 5, 9}});
    dsp.emitEvent(DSProc::Event{kTs, 0, DSProc::kSd, {1, 0, 0}});
    dsp.emitBss(kTs, 0.5f);  // BSS starts off
    dsp.emitToneFilter(kTs, 2100, -1);
    dsp.emitFlags(kTs, 0x80000000u, 0xE0000000u);
    dsp.emitEvent(DSProc::Event{kTs, 0, 0x800, {0, 0, 0}});  // no such function
    dsp.emitVad(kTs + 2, 1, 1);
    settle();
    EXPECT_EQ("vad -1 9\nsd 1\ntone 2100 -1\nflags 2147483648 3758096384\n", c.events);
    EXPECT_EQ("", second.events);
    EXPECT_EQ("", other.events);

    c.events.clear();
    ASSERT_TRUE(c.enableVAD(true));
    ASSERT_TRUE(c.enableSD(true));
    ASSERT_TRUE(c.enableBSS(true));
    traces.events = true;
    StreamCapture log(std::clog), err(std::cerr);
    dsp.emitVad(kTs, 1, -1);
    dsp.emitEvent(DSProc::Event{kTs, 9, DSProc::kVad, {3, 1, 1}});  // stale id
    dsp.emitSd(kTs, 0);
    dsp.emitEvent(DSProc::Event{kTs, 77, DSProc::kBss, {0, 0, 0}});  // BSS has no id check
    settle();
    ASSERT_TRUE(c.disableVAD());
    dsp.emitVad(kTs, 0, 0);
    dsp.emitVad(kTs + 2, 1, 1);
    settle();
    EXPECT_EQ("vad 1 -1\nsd 0\nbss 0.000000\n", c.events);
    std::string text = log.text();
    EXPECT_NE(std::string::npos, text.find("ignore spurious dsproc vad event:  timeslot=8200 "
                                           "id=9 type=1 rid=1\n"));
    EXPECT_NE(std::string::npos, text.find("ignore spurious dsproc vad event (dsproc disabled):  "
                                           "timeslot=8200 id=1 type=1\n"));
    EXPECT_NE(std::string::npos,
              err.text().find("receive dsproc event from unknown timeslot 8202\n"));

    // Without the trace switch the drops are silent.
    traces.events = false;
    log.clear();
    ASSERT_TRUE(c.disableBSS());
    dsp.emitBss(kTs, 1.0f);
    settle();
    EXPECT_EQ("", log.text());
    EXPECT_EQ("vad 1 -1\nsd 0\nbss 0.000000\n", c.events);
}

TEST_F(DSProcTest, ConfigurationsCarryTheirParameters) {
    Channel c;
    LGCP::VADParams params;
    params.set_v1();
    StreamCapture err(std::cerr), log(std::clog);
    // A version-2 DSP needs the version-2 parameters.
    EXPECT_FALSE(c.configureVAD(params));
    EXPECT_EQ("DSPROC_CONFIGURE VAD: params not specified for v2:  timeslot=8200\n", err.text());
    TERM::VADParamsV2& v2 = params.set_v2();
    v2.set_voice_th_msec(300);
    v2.set_silence_th_msec(65536 + 500);
    v2.set_e_th_dB(-40);
    ASSERT_TRUE(c.configureVAD(params));
    EXPECT_NE(std::string::npos, state().find(" vad_config=2c01f401d800000000000000 "));
    dsp.setVersion(1);
    ASSERT_TRUE(c.configureVAD(params));
    EXPECT_NE(std::string::npos, state().find(" vad_config=030000007f00000000000000 "));

    ASSERT_TRUE(c.configureSD());
    ASSERT_TRUE(c.configureDelays(10, 20, 30));
    ASSERT_TRUE(c.configureRxGain(-6));
    ASSERT_TRUE(c.configureToneFilter(2100, 1, 400, -30));
    EXPECT_TRUE(c.delaysSet());
    EXPECT_TRUE(c.rxGainSet());
    std::string s = state();
    EXPECT_NE(std::string::npos,
              s.find(" sd_config=on delays=10,20,30 gain=-6 filters=2100:1:400:-30"));
    EXPECT_NE(std::string::npos, log.text().find("DSPROC_CONFIGURE RX GAIN ts=8200 gain_dB=-6\n"));

    err.clear();
    dsp.failRequest(DSProc::DSPROC_VERSION, EIO, 1);
    EXPECT_FALSE(c.configureVAD(params));
    dsp.failRequest(DSProc::DSPROC_CONFIGURE, EINVAL, 1);
    EXPECT_FALSE(c.configureDelays(0, 0, 0));
    EXPECT_TRUE(c.delaysSet());
    EXPECT_EQ(
        "DSPROC_CONFIGURE VAD fail: timeslot=8200 errno=\"Input/output error\"\n"
        "DSPROC_CONFIGURE DELAYS fail: timeslot=8200 errno=\"Invalid argument\"\n",
        err.text());
}

TEST_F(DSProcTest, CleanBeforeDestroyLeavesTheTimeSlotAsItFoundIt) {
    {
        Channel c;
        ASSERT_TRUE(c.enableVAD(true));
        ASSERT_TRUE(c.enableBSS(true));
        ASSERT_TRUE(c.enableNG(true));
        ASSERT_TRUE(c.enableSelcalSh(true));
        ASSERT_TRUE(c.enableSD(true));
        ASSERT_TRUE(c.enableMute(true, false));
        ASSERT_TRUE(c.configureDelays(10, 0, 0));
        ASSERT_TRUE(c.configureRxGain(-3));
        ASSERT_TRUE(c.configureToneFilter(1000, 1, 100, -20));
        c.CleanBeforeDestroy();
    }
    EXPECT_EQ(
        "vad=off vad_id=1 sd=off sd_id=5 bss=off bss_id=2 ng=off ng_id=3 selcal_sh=off "
        "selcal_sh_id=4 mute=0,0 mute_id=6 vad_config=- sd_config=off delays=0,0,0 gain=0 "
        "filters=-",
        state());

    // A fresh receiver only clears the tone filters.
    Channel fresh;
    dsp.clearLog();
    fresh.CleanBeforeDestroy();
    EXPECT_EQ((std::vector<std::string>{"disable"}), switches());
}

// The device's failure handling is the tone service's test: here its
// reopening by this service's configure operations, with their lines.
TEST_F(DSProcTest, AFailedDeviceIsClosedUntilAConfigureOpensItAgain) {
    Channel c;
    ASSERT_TRUE(c.enableVAD(true));
    StreamCapture err(std::cerr);
    ASSERT_EQ("ok", sim.board().control("/dev/dsp raw"));  // reads as 0 bytes
    settle();
    EXPECT_FALSE(service.isOpen());
    EXPECT_FALSE(c.enableNG(true));  // enables do not open it
    dsp.failOpen(EACCES, 1);
    EXPECT_FALSE(c.configureRxGain(1));
    EXPECT_EQ(
        "fail to read from dsproc: end of file\n"
        "DSPROC_ENABLE NG fail: timeslot=8200 id=2 errno=\"Bad file descriptor\"\n"
        "open dsproc fail, VAD proceeding disabled: Permission denied\n"
        "Configure Rx gain fail: (interface not opened) timeslot=8200\n",
        err.text());
    ASSERT_TRUE(c.disableToneAll());
    dsp.emitVad(kTs, 1, 1);
    settle();
    EXPECT_EQ("vad 1 1\n", c.events);
}

}  // namespace
