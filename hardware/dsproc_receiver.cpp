#include "hardware/dsproc_receiver.h"

#include <fcntl.h>

#include <cstring>
#include <iostream>

#include "core/trace_ctl.h"
#include "runtime/hex_out.h"
#include "runtime/singleton.h"

namespace Hardware {

namespace {

// Every live DSP receiver in construction order.
F_dual_list<DSProcReceiver>& receivers() {
    static F_dual_list<DSProcReceiver> list;
    return list;
}

// The three fields that every event line repeats.
struct EventFields {
    const DSProc::Event& e;
};

std::ostream& operator<<(std::ostream& os, EventFields f) {
    return os << " timeslot=" << f.e.timeslot << " id=" << f.e.id << " type=" << f.e.type;
}

// The data words of an event record as the type the receivers get.
template <class T>
T wordsAs(const uint32_t (&words)[3]) {
    static_assert(sizeof(T) <= sizeof words, "data words");
    T t;
    std::memcpy(&t, words, sizeof t);
    return t;
}

// VAD parameters for DSPs of interface versions other than 2.
const DSProc::VadParamsV1 kVadParamsV1 = {{3, 127, 0}};
const int kVadParamsVersion2 = 2;

}  // namespace

// ---- DSProcReceiver --------------------------------------------------------

DSProcReceiver::DSProcReceiver() {
    receivers().insert_to_tail(this);
}

DSProcReceiver::~DSProcReceiver() {
    receivers().remove(this);
}

bool DSProcReceiver::configureVAD(const LGCP::VADParams& p) {
    return DSProcReceiverService::instance().configureVAD(dsproc_timeslot(), p);
}

bool DSProcReceiver::enableVAD(bool on) {
    return DSProcReceiverService::instance().enableVAD(*this, on);
}

bool DSProcReceiver::enableBSS(bool on) {
    return DSProcReceiverService::instance().enableBSS(*this, on);
}

bool DSProcReceiver::enableNG(bool on) {
    return DSProcReceiverService::instance().enableNG(*this, on);
}

bool DSProcReceiver::enableSelcalSh(bool on) {
    return DSProcReceiverService::instance().enableSelcalSh(*this, on);
}

bool DSProcReceiver::configureSD() {
    return DSProcReceiverService::instance().configureSD(dsproc_timeslot());
}

bool DSProcReceiver::enableSD(bool on) {
    return DSProcReceiverService::instance().enableSD(*this, on);
}

bool DSProcReceiver::enableMute(bool first, bool second) {
    return DSProcReceiverService::instance().enableMute(*this, first, second);
}

bool DSProcReceiver::configureDelays(unsigned rx, unsigned tx, unsigned selcal) {
    if (!DSProcReceiverService::instance().configureDelays(dsproc_timeslot(), rx, tx, selcal))
        return false;
    delaysSet_ = rx || tx || selcal;
    return true;
}

bool DSProcReceiver::configureRxGain(int8_t gain_dB) {
    if (!DSProcReceiverService::instance().configureRxGain(dsproc_timeslot(), gain_dB))
        return false;
    rxGainSet_ = gain_dB != 0;
    return true;
}

bool DSProcReceiver::configureToneFilter(unsigned freq, unsigned en, int dur_th_msec,
                                         int det_lvl_dB) {
    return DSProcReceiverService::instance().configureToneFilter(dsproc_timeslot(), freq, en,
                                                                 dur_th_msec, det_lvl_dB);
}

bool DSProcReceiver::disableToneAll() {
    return DSProcReceiverService::instance().disableToneAll(*this);
}

void DSProcReceiver::CleanBeforeDestroy() {
    if (vad_.state == 1) disableVAD();
    if (bss_.state == 1) disableBSS();
    if (ng_.state == 1) disableNG();
    if (selcalSh_.state == 1) disableSelcalSh();
    // Signal detection and mute too: a time slot left muted would stay
    // muted for its next user.
    if (sd_.state == 1) disableSD();
    if (mute1_ == 1 || mute2_ == 1) disableMute();
    if (delaysSet_) configureDelays(0, 0, 0);
    if (rxGainSet_) configureRxGain(0);
    disableToneAll();
}

// ---- DSProcReceiverService: requests ---------------------------------------

DSProcReceiverService& DSProcReceiverService::instance() {
    return Singleton<DSProcReceiverService>::get();
}

DSProcReceiverService::DSProcReceiverService()
    : device(DSProc::kDevice, O_RDWR,
             "open dsproc fail, VAD proceeding disabled: ", "fail to read from dsproc: ") {
    device.event.Bind("DSProcReceiverService::OnEvent", &DSProcReceiverService::OnEvent, this);
    init();
}

bool DSProcReceiverService::init() {
    return device.open();
}

bool DSProcReceiverService::configure(unsigned timeslot, uint32_t function, const void* params,
                                      const char* notOpened, const char* failText) {
    if (!device.openFor(notOpened, timeslot)) return false;
    DSProc::Configure c{timeslot, function, {}};
    std::memcpy(c.params, params, sizeof c.params);
    if (int err = device.request(DSProc::DSPROC_CONFIGURE, &c)) {
        std::cerr << failText << " timeslot=" << timeslot << ErrnoText{err} << std::endl;
        return false;
    }
    return true;
}

bool DSProcReceiverService::configureVAD(unsigned timeslot, const LGCP::VADParams& p) {
    const char* const kNotOpened = "configure VAD fail: (interface not opened)";
    const char* const kFail = "DSPROC_CONFIGURE VAD fail:";
    if (!device.openFor(kNotOpened, timeslot)) return false;
    int version = 0;
    if (int err = device.request(DSProc::DSPROC_VERSION, 0L, &version)) {
        std::cerr << kFail << " timeslot=" << timeslot << ErrnoText{err} << std::endl;
        return false;
    }
    DSProc::VadParamsV2 v2{};
    const void* params = &kVadParamsV1;
    if (version == kVadParamsVersion2) {
        if (!p.is_v2()) {
            std::cerr << "DSPROC_CONFIGURE VAD: params not specified for v2: "
                      << " timeslot=" << timeslot << std::endl;
            return false;
        }
        const TERM::VADParamsV2& given = p.get_v2();
        v2.voice_th_msec = static_cast<uint16_t>(given.get_voice_th_msec().getValue());
        v2.silence_th_msec = static_cast<uint16_t>(given.get_silence_th_msec().getValue());
        v2.e_th_dB = static_cast<int8_t>(given.get_e_th_dB().getValue());
        params = &v2;
    }
    if (!configure(timeslot, DSProc::kVad, params, kNotOpened, kFail)) return false;
    std::clog << "DSPROC_CONFIGURE VAD"
              << " ts=" << timeslot << std::endl;
    return true;
}

bool DSProcReceiverService::configureSD(unsigned timeslot) {
    const uint8_t none[sizeof(DSProc::Configure::params)] = {};
    if (!configure(timeslot, DSProc::kSd, none, "configure SD fail: (interface not opened)",
                   "DSPROC_CONFIGURE SD fail:"))
        return false;
    std::clog << "DSPROC_CONFIGURE SD"
              << " ts=" << timeslot << std::endl;
    return true;
}

bool DSProcReceiverService::configureDelays(unsigned timeslot, unsigned rx, unsigned tx,
                                            unsigned selcal) {
    DSProc::DelaysParams d{rx, tx, selcal};
    if (!configure(timeslot, DSProc::kDelays, &d, "configure Delays fail: (interface not opened)",
                   "DSPROC_CONFIGURE DELAYS fail:"))
        return false;
    std::clog << "DSPROC_CONFIGURE DELAYS"
              << " ts=" << timeslot << " rx=" << rx << " tx=" << tx << " selcal=" << selcal
              << std::endl;
    return true;
}

bool DSProcReceiverService::configureRxGain(unsigned timeslot, int8_t gain_dB) {
    DSProc::RxGainParams g{gain_dB, {}};
    if (!configure(timeslot, DSProc::kRxGain, &g, "Configure Rx gain fail: (interface not opened)",
                   "DSPROC_CONFIGURE Rx Gain fail:"))
        return false;
    std::clog << "DSPROC_CONFIGURE RX GAIN"
              << " ts=" << timeslot << " gain_dB=" << static_cast<int>(gain_dB) << std::endl;
    return true;
}

bool DSProcReceiverService::configureToneFilter(unsigned timeslot, unsigned freq, unsigned en,
                                                int dur_th_msec, int det_lvl_dB) {
    DSProc::ToneFilterParams f{};
    f.freq = static_cast<uint16_t>(freq);
    f.en = static_cast<uint8_t>(en);
    f.dur_th_msec = static_cast<uint16_t>(dur_th_msec);
    f.det_lvl_dB = static_cast<int8_t>(det_lvl_dB);
    if (!configure(timeslot, DSProc::kToneFilter, &f,
                   "Configure Tone Filter fail: (interface not opened)",
                   "DSPROC_CONFIGURE Tone Filter fail:"))
        return false;
    std::clog << "DSPROC_CONFIGURE TONE FILTER"
              << " ts=" << timeslot << " freq=" << freq << ", en=" << en
              << ", dur_th_msec=" << dur_th_msec << ", det_lvl_dB=" << det_lvl_dB << std::endl;
    return true;
}

bool DSProcReceiverService::disableToneAll(DSProcReceiver& r) {
    unsigned timeslot = r.dsproc_timeslot();
    if (!device.openFor("Disable All Tone fail: (interface not opened)", timeslot)) return false;
    DSProc::Enable e{timeslot, 0, DSProc::kToneFilter};
    if (int err = device.request(DSProc::DSPROC_DISABLE, &e)) {
        std::cerr << "Disable All Tone fail:"
                  << " timeslot=" << timeslot << ErrnoText{err} << std::endl;
        return false;
    }
    std::clog << "DISABLE ALL TONE done: "
              << " timeslot=" << timeslot << std::endl;
    return true;
}

bool DSProcReceiverService::switchFunctions(DSProcReceiver& r, uint32_t code, const char* name,
                                            bool on, uint32_t& id) {
    unsigned timeslot = r.dsproc_timeslot();
    id = on ? device.nextRequestId() : 0;
    DSProc::Enable e{timeslot, id, code};
    const char* request = on ? "DSPROC_ENABLE " : "DSPROC_DISABLE ";
    int err = device.request(on ? DSProc::DSPROC_ENABLE : DSProc::DSPROC_DISABLE, &e);
    std::cerr << request << name << (err ? " fail:" : " done:") << " timeslot=" << timeslot;
    if (on) std::cerr << " id=" << id;
    if (err) std::cerr << ErrnoText{err};
    std::cerr << std::endl;
    return err == 0;
}

bool DSProcReceiverService::enableFunction(DSProcReceiver& r, DSProcReceiver::Function& f,
                                           uint32_t code, const char* name, bool on) {
    if (f.state != -1 && f.state == static_cast<int32_t>(on)) return true;
    uint32_t id;
    if (!switchFunctions(r, code, name, on, id)) return false;
    f.state = on;
    if (on) f.id = id;
    return true;
}

bool DSProcReceiverService::enableVAD(DSProcReceiver& r, bool on) {
    return enableFunction(r, r.vad_, DSProc::kVad, "VAD", on);
}

bool DSProcReceiverService::enableBSS(DSProcReceiver& r, bool on) {
    return enableFunction(r, r.bss_, DSProc::kBss, "BSS", on);
}

bool DSProcReceiverService::enableNG(DSProcReceiver& r, bool on) {
    return enableFunction(r, r.ng_, DSProc::kNg, "NG", on);
}

bool DSProcReceiverService::enableSelcalSh(DSProcReceiver& r, bool on) {
    return enableFunction(r, r.selcalSh_, DSProc::kSelcalSh, "SELCAL_SH", on);
}

bool DSProcReceiverService::enableSD(DSProcReceiver& r, bool on) {
    return enableFunction(r, r.sd_, DSProc::kSd, "SD", on);
}

bool DSProcReceiverService::enableMute(DSProcReceiver& r, bool first, bool second) {
    if (r.mute1_ != -1 && r.mute2_ != -1 && r.mute1_ == static_cast<int32_t>(first) &&
        r.mute2_ == static_cast<int32_t>(second))
        return true;
    bool on = first || second;
    uint32_t code = DSProc::kMute;
    if (on)
        code = (first ? uint32_t(DSProc::kMute1) : 0u) | (second ? uint32_t(DSProc::kMute2) : 0u);
    uint32_t id;
    if (!switchFunctions(r, code, "MUTE", on, id)) return false;
    if (on) r.muteId_ = id;
    r.mute1_ = first;
    r.mute2_ = second;
    return true;
}

// ---- events ----------------------------------------------------------------

void DSProcReceiverService::OnEvent(int, short revents) {
    device.readRecords<DSProc::Event>(revents, [this](const DSProc::Event& e) { dispatch(e); });
}

namespace {

void traceEvent(const DSProc::Event& e) {
    std::clog << "dsproc event: " << EventFields{e} << std::endl;
    switch (e.type) {
        case DSProc::kVad:
            std::clog << "dsproc vad event: "
                      << " dir_mask=" << e.data[0] << " vad_rx=" << static_cast<int32_t>(e.data[1])
                      << " vad_tx=" << static_cast<int32_t>(e.data[2]) << std::endl;
            break;
        case DSProc::kSd:
            std::clog << "dsproc sd event: "
                      << " sd_rx=" << static_cast<int32_t>(e.data[0]) << std::endl;
            break;
        case DSProc::kBss:
            std::clog << "dsproc bss event: "
                      << " score=" << wordsAs<float>(e.data) << std::endl;
            break;
        case DSProc::kFlags:
            std::clog << "dsproc flags event: "
                      << " flags=" << ext::OutUnsignedInHex(e.data[0])
                      << ", mask=" << ext::OutUnsignedInHex(e.data[1]) << std::endl;
            break;
    }
}

// Whether an event of function `f` reaches the receiver: not while the
// function is off, and with `checkId` only with the id of its last enable.
bool accepted(const DSProcReceiver::Function& f, const DSProc::Event& e, bool checkId,
              const char* offText, const char* staleText) {
    if (f.state == 0) {
        if (traces.events) std::clog << offText << EventFields{e} << std::endl;
        return false;
    }
    if (checkId && e.id != f.id) {
        if (traces.events) std::clog << staleText << EventFields{e} << " rid=" << f.id << std::endl;
        return false;
    }
    return true;
}

const char* const kVadOff = "ignore spurious dsproc vad event (dsproc disabled): ";
const char* const kVadStale = "ignore spurious dsproc vad event: ";
const char* const kBssOff = "ignore spurious dsproc bss event (dsproc disabled): ";

int32_t direction(const DSProc::Event& e, uint32_t bit, int word) {
    return (e.data[0] & bit) ? static_cast<int32_t>(e.data[word]) : -1;
}

}  // namespace

void DSProcReceiverService::dispatch(const DSProc::Event& e) {
    if (traces.events) traceEvent(e);
    DSProcReceiver* r = firstReceiver(receivers(), e.timeslot, &DSProcReceiver::dsproc_timeslot);
    if (!r) {
        if (traces.events)
            std::cerr << "receive dsproc event from unknown timeslot " << e.timeslot << std::endl;
        return;
    }
    switch (e.type) {
        case DSProc::kVad:
            if (accepted(r->vad_, e, true, kVadOff, kVadStale))
                r->dsproc_vad_event(DSProcVADEvent{direction(e, DSProc::kVadRx, 1),
                                                   direction(e, DSProc::kVadTx, 2)});
            break;
        case DSProc::kSd:
            if (accepted(r->sd_, e, true, kVadOff, kVadStale))
                r->dsproc_sd_event(DSProcSDEvent{static_cast<int32_t>(e.data[0])});
            break;
        case DSProc::kBss:
            if (accepted(r->bss_, e, false, kBssOff, nullptr)) {
                auto bss = wordsAs<dsproc_bss_event>(e.data);
                r->dsproc_bss_event(&bss);
            }
            break;
        case DSProc::kToneFilter: {
            auto tone = wordsAs<dsproc_tone_event>(e.data);
            r->dsproc_tone_flt_event(&tone);
            break;
        }
        case DSProc::kFlags: {
            auto flags = wordsAs<dsproc_flags_event>(e.data);
            r->dsproc_flags_event(&flags);
            break;
        }
    }
}

}  // namespace Hardware
