// The DSP and RTP events of a slot's channel as the controller receives
// them: a test slot kind wired through SlotDspEvents, the tone and
// voice-processing DSP services on the simulated board, the slot table and
// the control server on loopback.

#include <limits>

#include "board/rtp_driver.h"
#include "board/sim_tone_dsp.h"
#include "board/sim_voice_dsp.h"
#include "core/slot_factory.h"
#include "hardware/slot_dsp_events.h"
#include "runtime/mux_clock.h"
#include "tests/core/slot_fixture.h"

namespace {

using namespace Hardware;

const unsigned kTs = 8200;

size_t occurrences(const std::string& text, const std::string& line) {
    size_t n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
}

// A slot kind wired as the DSP-using kinds are: the time slot comes from
// the `ext` transmitter.
class DspSlot : public Slot, private SlotDspEvents {
public:
    DspSlot(unsigned ts, unsigned reported) : SlotDspEvents(*this, reported), ts(ts) {}
    const char* GetName() const override { return "dsp"; }
    SlotDspEvents& dsp() { return *this; }

private:
    unsigned tonec_timeslot() const override { return ts; }
    unsigned dsproc_timeslot() const override { return ts; }
    unsigned ts;
};

class DspSlotFactory : public SlotFactory {
public:
    const char* GetName() const override { return "Dsp"; }
    Slot* INewSlot(const LGCP::CreateParams& p) override {
        return p.is_ext() ? new DspSlot(p.get_ext().get_transmitter().getValue(), reported) : nullptr;
    }
    void Query(LGCP::Resources&) override {}
    unsigned reported = kAllDspEvents;
};

class SlotDspEventsTest : public SlotServer {
protected:
    void SetUp() override {
        SlotServer::SetUp();
        tone.setClock([] { return Mux::milliseconds(); });
    }
    // Slot `slot` on time slot `ts`, reporting the `reported` events.
    SlotDspEvents& create(int slot, unsigned ts = kTs, unsigned reported = kAllDspEvents) {
        factory.reported = reported;
        std::string t = std::to_string(ts);
        EXPECT_EQ(Texts{ok(slot)}, command(slot, "create : ext : { transmitter " + t + ", receiver " + t + " }"));
        return static_cast<DspSlot*>(at(slot))->dsp();
    }
    // What the controller received while the DSP models emitted.
    template <class Emit>
    Texts received(Emit emit) {
        size_t before = client.Received().size();
        emit();
        pumpPasses(3);
        return barrier(before);
    }
    static std::string signal(int slot, const std::string& s) { return slotMessage(-1, slot, "signal : " + s); }

    DspSlotFactory factory;
    SimToneDsp& tone = sim.model<SimToneDsp>(SimToneDsp::kPath);
    SimVoiceDsp& voice = sim.model<SimVoiceDsp>(SimVoiceDsp::kPath);
};

TEST_F(SlotDspEventsTest, ToneCodesBecomeTonecSignalsWhileTheirDetectorIsOn) {
    SlotDspEvents& dsp = create(1);
    auto tonec = [](const std::string& event) { return signal(1, "tonec : { timestamp 1000, event " + event + " }"); };
    EXPECT_EQ(Texts{}, received([&] { tone.emitDtmf(kTs, '1'); }));  // detector off

    ASSERT_TRUE(dsp.enableDTMF(true));
    ASSERT_TRUE(dsp.enableIVA(true));
    EXPECT_EQ((Texts{tonec("dtmf : 5"), tonec("dtmf : 15"), tonec("ced : NULL"), tonec("cng : NULL"),
                     tonec("iva : code : 3"), tonec("iva : code : 20"), tonec("iva : ringoff : NULL")}),
              received([&] {
                  tone.emitDtmf(kTs, '5');
                  tone.emitDtmf(kTs, 'D');
                  tone.emitCode(kTs, 3, 99);  // an id from another enable
                  tone.emitCed(kTs);
                  tone.emitCng(kTs);
                  tone.emitCode(kTs, 0x0305);
                  tone.emitIva(kTs, 20);
                  tone.emitRingOff(kTs);
                  tone.emitCode(kTs, 0x1600);
                  tone.emitCode(kTs, 200);
                  tone.emitCode(kTs, 0xFFFFFF00u);
              }));
    EXPECT_EQ(3u, occurrences(err.text(), "bad DTMF code, ignored.\n"));

    // IVA off drops IVA codes and keeps the digits coming.
    ASSERT_TRUE(dsp.enableIVA(false));
    EXPECT_EQ(Texts{tonec("dtmf : 0")}, received([&] {
                  tone.emitRingOff(kTs);
                  tone.emitDtmf(kTs, '0');
              }));
}

TEST_F(SlotDspEventsTest, VoiceProcessingEventsBecomeVadSdBssTonecAndSelcalSignals) {
    SlotDspEvents& dsp = create(1);
    // An output-like kind that reports only tone filters and flags.
    create(2, kTs + 1, kToneGenComplete | kToneFltEvents | kFlagsEvents).enableBSS(true);
    ASSERT_TRUE(dsp.enableVAD(true) && dsp.enableSD(true) && dsp.enableBSS(true));
    EXPECT_EQ((Texts{signal(1, "vad : { vad-rx TRUE, vad-tx FALSE }"), signal(1, "vad : { vad-tx FALSE }"),
                     signal(1, "vad : { vad-rx TRUE }"), signal(1, "sd : { sd-rx TRUE }"),
                     signal(1, "sd : { sd-rx FALSE }"), signal(1, "bss : { score \"0.500000\" }"),
                     signal(1, "bss : { score \" nan\" }"),
                     signal(1, "bss : { score \"340282346638528859811704183484\" }"),
                     signal(1, "tonec : { timestamp 0, event tone-presence : { freq 2100, presence FALSE } }"),
                     signal(1, "tonec : { timestamp 0, event tone-presence : { freq 1020, presence TRUE } }"),
                     signal(1, "vad : { vad-rx FALSE, vad-tx FALSE }"), signal(1, "selcal : { in-progress TRUE }"),
                     signal(1, "vad : { vad-rx TRUE }"), signal(1, "selcal : { in-progress FALSE }"),
                     signal(2, "selcal : { in-progress TRUE }")}),
              received([&] {
                  voice.emitVad(kTs, 1, 0);
                  voice.emitVad(kTs, -1, 0);
                  voice.emitVad(kTs, -1, -1);
                  voice.emitVad(kTs, 7, -1);
                  voice.emitEvent(DSProc::Event{kTs, 99, DSProc::kVad, {3, 1, 1}});  // stale id
                  voice.emitSd(kTs, 1);
                  voice.emitSd(kTs, 0);
                  voice.emitSd(kTs, -2);
                  voice.emitBss(kTs, 0.5f);
                  voice.emitBss(kTs, std::numeric_limits<float>::quiet_NaN());
                  voice.emitBss(kTs, std::numeric_limits<float>::max());
                  voice.emitToneFilter(kTs, 2100, -1);
                  voice.emitToneFilter(kTs, 1020, 3);
                  voice.emitFlags(kTs, 1u << 31, 7u << 29);
                  voice.emitFlags(kTs, 1u << 29, 1u << 29);
                  voice.emitFlags(kTs, 0, 1u << 31);
                  voice.emitFlags(kTs, ~0u, ~(7u << 29));
                  voice.emitVad(kTs + 1, 1, 1);
                  voice.emitBss(kTs + 1, 1.0f);
                  voice.emitFlags(kTs + 1, 1u << 31, 1u << 31);
              }));
    EXPECT_EQ(1u, occurrences(err.text(), "bad VAD event, ignored.\n"));
    EXPECT_EQ(1u, occurrences(err.text(), "bad SD event, ignored.\n"));

    ASSERT_TRUE(dsp.disableVAD() && dsp.disableSD() && dsp.disableBSS());
    EXPECT_EQ(Texts{}, received([&] {
                  voice.emitVad(kTs, 1, 1);
                  voice.emitSd(kTs, 1);
                  voice.emitBss(kTs, 1.0f);
              }));
}

TEST_F(SlotDspEventsTest, OnlyPacketDetectionRtpEventsAreReported) {
    create(1);
    size_t before = client.Received().size();
    at(1)->processRtpEvent(rtp_event{kRtpEventPd, 250, 3000, {}});
    at(1)->processRtpEvent(rtp_event{2, 1, 1, {}});
    at(1)->processRtpEvent(rtp_event{kRtpEventPd, -1, 0, {}});
    EXPECT_EQ((Texts{signal(1, "rtp : pd : { value 250, timeout 3000 }"),
                     signal(1, "rtp : pd : { value -1, timeout 0 }")}),
              barrier(before));
}

TEST_F(SlotDspEventsTest, TheEndOfADialledSequenceIsReportedOnTime) {
    SlotDspEvents& reporting = create(1, kTs, kToneGenComplete);
    SlotDspEvents& silent = create(2, kTs + 1, kAllDspEvents & ~kToneGenComplete);
    LGCP::TranslateDtmfParams p;
    for (int f : {1209, 1336}) {
        LGCP::DualTone d;
        d.set_freq1(697);
        d.set_freq2(f);
        p.set_digits().push_back(d);
    }
    p.set_toneDuration(100);
    p.set_pauseDuration(50);
    reporting.translateDTMF(p);
    silent.translateDTMF(p);
    EXPECT_EQ(Texts{}, advance(299));
    EXPECT_EQ(Texts{signal(1, "tonec : { timestamp 0, event dtmfDone : NULL }")}, advance(1));
    EXPECT_EQ(Texts{}, advance(1000));
}

}  // namespace
