// The event records that the tone DSP and the voice-processing DSP deliver,
// read by their services from the simulated board's devices: records of any
// length and content, for the channels' time slots or others, with their
// current ids or stale ones, while the channels' detectors and functions
// are on or off. Besides memory faults it checks that a channel only gets
// the events of what it has turned on, and that the BSS score text stays
// within its bound. Empty records close a device; the next input opens it
// again through a configure operation.

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "board/board_io.h"
#include "board/sim_board.h"
#include "board/sim_tone_dsp.h"
#include "board/sim_voice_dsp.h"
#include "core/trace_ctl.h"
#include "fuzz/fuzz_input.h"
#include "hardware/dsproc_receiver.h"
#include "hardware/tonec_receiver.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

class Tone : public Hardware::TonecReceiver {
public:
    explicit Tone(unsigned ts) : ts(ts) {}
    void tonec_event(const Params& p) override {
        check(p.code > Tonec::kDtmfCodeLimit ? ivaEnabled() : dtmfEnabled());
    }
    unsigned tonec_timeslot() const override { return ts; }
    unsigned ts;
};

class Voice : public Hardware::DSProcReceiver {
public:
    explicit Voice(unsigned ts) : ts(ts) {}
    void dsproc_vad_event(const Hardware::DSProcVADEvent&) override { check(vad().state != 0); }
    void dsproc_bss_event(const ::dsproc_bss_event* e) override {
        check(bss().state != 0 && Hardware::bssScoreText(*e).size() <= 30);
    }
    void dsproc_sd_event(const Hardware::DSProcSDEvent&) override { check(sd().state != 0); }
    void dsproc_tone_flt_event(const ::dsproc_tone_event*) override {}
    void dsproc_flags_event(const ::dsproc_flags_event*) override {}
    unsigned dsproc_timeslot() const override { return ts; }
    unsigned ts;
};

// The board, the services and two channels of each kind live across inputs.
struct World {
    World() : board(SimBoard::makeStandard()) {
        setBoardIo(board.get());
        // The services' lines are not what is tested here.
        std::cerr.rdbuf(nullptr);
        std::clog.rdbuf(nullptr);
    }
    std::unique_ptr<SimBoard> board;
    SimToneDsp& toneDsp = board->model<SimToneDsp>(SimToneDsp::kPath);
    SimVoiceDsp& voiceDsp = board->model<SimVoiceDsp>(SimVoiceDsp::kPath);
    Hardware::TonecReceiverService& toneService = Hardware::TonecReceiverService::instance();
    Hardware::DSProcReceiverService& voiceService = Hardware::DSProcReceiverService::instance();
    Tone tone[2] = {Tone(8200), Tone(8201)};
    Voice voice[2] = {Voice(8200), Voice(8201)};
};

// Turns the channels' detectors and functions on or off by the bits of `s`.
void setStates(World& w, uint8_t s) {
    LGCP::IVAParams iva;
    if (!w.toneService.isOpen()) w.tone[0].configureIVA(iva);
    if (!w.voiceService.isOpen()) w.voice[0].configureSD();
    w.tone[0].enableDTMF(s & 1);
    w.tone[0].enableIVA(s & 2);
    w.tone[1].enableDTMF(s & 4);
    w.voice[0].enableVAD(s & 8);
    w.voice[0].enableSD(s & 16);
    w.voice[0].enableBSS(s & 32);
    w.voice[1].enableVAD(s & 64);
    traces.events = s & 128;
}

void putWord(std::string& record, size_t offset, uint32_t value) {
    if (record.size() >= offset + sizeof value) std::memcpy(&record[offset], &value, sizeof value);
}

// One record of the input on one of the devices, read at once.
void deliver(World& w, FuzzInput& in) {
    uint8_t how = in.byte();
    std::string record = in.bytes(in.byte() % 33);
    bool voice = how & 1;
    unsigned channel = (how >> 1) & 1;
    if (voice) {
        const Voice& v = w.voice[channel];
        if (how & 4) putWord(record, offsetof(DSProc::Event, timeslot), v.ts);
        if (how & 8)
            putWord(record, offsetof(DSProc::Event, id), (how & 16) ? v.sd().id : v.vad().id);
        w.voiceDsp.emitToEvery(record.data(), record.size());
        w.voiceService.OnEvent(-1, POLLIN);
    } else {
        const Tone& t = w.tone[channel];
        if (how & 4) putWord(record, offsetof(Tonec::Event, timeslot), t.ts);
        if (how & 8) putWord(record, offsetof(Tonec::Event, id), t.requestId());
        w.toneDsp.emitToEvery(record.data(), record.size());
        w.toneService.OnEvent(-1, POLLIN);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World world;
    FuzzInput in(data, size);
    setStates(world, in.byte());
    while (!in.empty()) deliver(world, in);
    return 0;
}
