// The event records that the tone DSP and the voice-processing DSP deliver,
// read by their services from the simulated board's devices and reported by
// two slots through their event translators: records of any length and
// content, for the slots' time slots or others, with their current ids or
// stale ones, while the slots' detectors and functions are on or off.
// Besides memory faults it checks that a slot only gets the events of what
// it has turned on, and that every signal the translators raise is a valid
// value that encodes, its BSS score text within its bound. Empty records
// close a device; the next input opens it again through a configure
// operation.
//
// Every input starts on a fresh board with fresh slots and closed devices.

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "board/board_io.h"
#include "board/sim_board.h"
#include "board/sim_tone_dsp.h"
#include "board/sim_voice_dsp.h"
#include "core/ctrl_server.h"
#include "core/slot_factory.h"
#include "core/slot_table.h"
#include "core/trace_ctl.h"
#include "fuzz/fuzz_input.h"
#include "hardware/slot_dsp_events.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// The value's aligned PER octets; aborts when it does not encode.
std::vector<char> encoded(const ASN1::AbstractData& value) {
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    std::vector<char> octets;
    check(ASN1::encode(value, &env, std::back_inserter(octets)));
    return octets;
}

// A slot kind with both DSP handles that checks each event it gets against
// the states it set before reporting it.
class Channel : public Slot, public Hardware::SlotDspEvents {
public:
    explicit Channel(unsigned ts) : SlotDspEvents(*this, Hardware::kAllDspEvents), ts(ts) {}
    const char* GetName() const override { return "fuzz"; }

    void tonec_event(const Params& p) override {
        check(p.code > Tonec::kDtmfCodeLimit ? ivaEnabled() : dtmfEnabled());
        SlotDspEvents::tonec_event(p);
    }
    void dsproc_vad_event(const Hardware::DSProcVADEvent& e) override {
        check(vad().state != 0);
        SlotDspEvents::dsproc_vad_event(e);
    }
    void dsproc_bss_event(const ::dsproc_bss_event* e) override {
        check(bss().state != 0);
        SlotDspEvents::dsproc_bss_event(e);
    }
    void dsproc_sd_event(const Hardware::DSProcSDEvent& e) override {
        check(sd().state != 0);
        SlotDspEvents::dsproc_sd_event(e);
    }
    unsigned tonec_timeslot() const override { return ts; }
    unsigned dsproc_timeslot() const override { return ts; }

    unsigned ts;
};

// Builds the channels from `ext` parameters (the transmitter is the time
// slot).
class ChannelFactory : public SlotFactory {
public:
    const char* GetName() const override { return "Channels"; }
    Slot* INewSlot(const LGCP::CreateParams& p) override {
        if (!p.is_ext()) return nullptr;
        return new Channel(unsigned(p.get_ext().get_transmitter().getValue()));
    }
    void Query(LGCP::Resources&) override {}
};

// Bound beside the slot table, it sees every signal the slots raise.
class SignalCheck : public CtrlSrv::Service {
public:
    void OnConnect() override {}
    void OnDisconnect() override {}
    bool OnCommand(const LGCP::Command&) override { return false; }
    void OnSignal(const LGCP::Signal& s) override {
        check(s.isStrictlyValid());
        if (s.is_bss()) check(s.get_bss().get_score().size() <= 30);
        encoded(s);
    }
};

// Creates slot `id` on time slot `ts` as the controller would.
Channel& create(unsigned id, unsigned ts) {
    LGCP::Message m;
    m.set_seq(1);
    m.set_slot(id);
    LGCP::ExtParams& ext = m.set_pdu().set_command().set_create().set_ext();
    ext.set_transmitter(int(ts));
    ext.set_receiver(int(ts));
    std::vector<char> octets = encoded(m);
    ctrlServer.OnMessage(octets.data(), int(octets.size()));
    Slot* slot = Slots::instance()->Find(id);
    check(slot != nullptr);
    return *static_cast<Channel*>(slot);
}

// Bound once beside the slot table; the standard streams silenced: the
// services' lines are not what is tested here.
struct Services {
    Services() {
        std::cerr.rdbuf(nullptr);
        std::clog.rdbuf(nullptr);
        ctrlServer.Bind(Slots::instance());
        ctrlServer.Bind(&signals);
    }
    ChannelFactory factory;
    SignalCheck signals;
};

// A fresh board and two fresh slots for every input; afterwards the slots
// go, the DSP services close their devices and start their request ids
// again, and the trace switch is off, so an input replays alone.
std::unique_ptr<SimBoard> installBoard() {
    std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
    setBoardIo(board.get());
    return board;
}

struct World {
    World() {
        channel[0] = &create(0, 8200);
        channel[1] = &create(1, 8201);
    }
    ~World() {
        Slots& table = *Slots::instance();
        while (!table.Live().empty()) check(table.Destroy(table.Live().front()));
        for (Hardware::DspDevice* d : {&toneService.device, &voiceService.device}) {
            d->close();
            d->requestId = 0;
        }
        traces.events = false;
        setBoardIo(nullptr);
    }
    std::unique_ptr<SimBoard> board = installBoard();
    SimToneDsp& toneDsp = board->model<SimToneDsp>(SimToneDsp::kPath);
    SimVoiceDsp& voiceDsp = board->model<SimVoiceDsp>(SimVoiceDsp::kPath);
    Hardware::TonecReceiverService& toneService = Hardware::TonecReceiverService::instance();
    Hardware::DSProcReceiverService& voiceService = Hardware::DSProcReceiverService::instance();
    Channel* channel[2] = {};
};

// Turns the channels' detectors and functions on or off by the bits of `s`.
void setStates(World& w, uint8_t s) {
    LGCP::IVAParams iva;
    Channel& first = *w.channel[0];
    if (!w.toneService.isOpen()) first.configureIVA(iva);
    if (!w.voiceService.isOpen()) first.configureSD();
    first.enableDTMF(s & 1);
    first.enableIVA(s & 2);
    w.channel[1]->enableDTMF(s & 4);
    first.enableVAD(s & 8);
    first.enableSD(s & 16);
    first.enableBSS(s & 32);
    w.channel[1]->enableVAD(s & 64);
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
    const Channel& c = *w.channel[(how >> 1) & 1];
    if (voice) {
        if (how & 4) putWord(record, offsetof(DSProc::Event, timeslot), c.ts);
        if (how & 8)
            putWord(record, offsetof(DSProc::Event, id), (how & 16) ? c.sd().id : c.vad().id);
        w.voiceDsp.emitToEvery(record.data(), record.size());
        w.voiceService.OnEvent(-1, POLLIN);
    } else {
        if (how & 4) putWord(record, offsetof(Tonec::Event, timeslot), c.ts);
        if (how & 8) putWord(record, offsetof(Tonec::Event, id), c.requestId());
        w.toneDsp.emitToEvery(record.data(), record.size());
        w.toneService.OnEvent(-1, POLLIN);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Services services;
    (void)services;
    World world;
    FuzzInput in(data, size);
    setStates(world, in.byte());
    while (!in.empty()) deliver(world, in);
    return 0;
}
