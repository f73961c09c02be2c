#include "hardware/tonec_receiver.h"

#include <fcntl.h>

#include <cstring>
#include <iostream>

#include "runtime/singleton.h"

namespace Dtmf {

const std::map<std::pair<unsigned, unsigned>, char> tonesValidator = {
    {{697, 1209}, '1'}, {{697, 1336}, '2'}, {{697, 1477}, '3'}, {{697, 1633}, 'A'},
    {{770, 1209}, '4'}, {{770, 1336}, '5'}, {{770, 1477}, '6'}, {{770, 1633}, 'B'},
    {{852, 1209}, '7'}, {{852, 1336}, '8'}, {{852, 1477}, '9'}, {{852, 1633}, 'C'},
    {{941, 1209}, '*'}, {{941, 1336}, '0'}, {{941, 1477}, '#'}, {{941, 1633}, 'D'},
};

}  // namespace Dtmf

namespace Hardware {

namespace {

// Every live tone receiver in construction order.
F_dual_list<TonecReceiver>& receivers() {
    static F_dual_list<TonecReceiver> list;
    return list;
}

const unsigned kDefaultStepMs = 70;
const uint16_t kDefaultLevel = 16384;
const uint16_t kSelcalAmplitude = 12000;
const size_t kSelcalSigns = sizeof(Tonec::SelcalDial::signs);

// The driver takes 16-bit frequencies and levels: the low 16 bits.
uint16_t low16(const ASN1::INTEGER& v) {
    return static_cast<uint16_t>(v.getValue());
}

// A step's duration; a negative one is no wait.
unsigned stepMs(bool present, const ASN1::INTEGER& v) {
    if (!present) return kDefaultStepMs;
    return v.getValue() < 0 ? 0u : static_cast<unsigned>(v.getValue());
}

// The four fields that every event line repeats.
struct EventFields {
    const Tonec::Event& e;
};

std::ostream& operator<<(std::ostream& os, EventFields f) {
    return os << " timestamp=" << f.e.timestamp << " timeslot=" << f.e.timeslot
              << " code=" << f.e.code << " id=" << f.e.id;
}

}  // namespace

// ---- TonecReceiver ---------------------------------------------------------

TonecReceiver::TonecReceiver() {
    receivers().insert_to_tail(this);
}

TonecReceiver::~TonecReceiver() {
    receivers().remove(this);
}

bool TonecReceiver::configureDTMF(const LGCP::DTMFParams& p) {
    return TonecReceiverService::instance().configureDTMF(tonec_timeslot(), p);
}

bool TonecReceiver::enableDTMF(bool on) {
    return TonecReceiverService::instance().enableDTMF(*this, on);
}

bool TonecReceiver::echoCancel(bool on) {
    return TonecReceiverService::instance().echoCancel(tonec_timeslot(), on);
}

bool TonecReceiver::enableDTMFReject(bool on) {
    if (!TonecReceiverService::instance().enableDTMFReject(tonec_timeslot(), on)) return false;
    dtmfRejectEnabled_ = on;
    return true;
}

bool TonecReceiver::enableToneGenerator(uint16_t freq1, uint16_t freq2, uint16_t level1,
                                        uint16_t level2) {
    return TonecReceiverService::instance().enableToneGenerator(tonec_timeslot(), freq1, freq2,
                                                                level1, level2);
}

bool TonecReceiver::disableToneGenerator(bool force) {
    if (!force && !sequenceRunning_) return false;
    stopSequence();
    return enableToneGenerator(0, 0, 0, 0);
}

bool TonecReceiver::enableIVA(bool on) {
    return TonecReceiverService::instance().enableIVA(*this, on);
}

bool TonecReceiver::configureIVA(const LGCP::IVAParams& p) {
    return TonecReceiverService::instance().configureIVA(*this, p);
}

bool TonecReceiver::translateSelcal(const TERM::SelcalCommand& c) {
    return TonecReceiverService::instance().translateSelcal(*this, c);
}

void TonecReceiver::stopSequence() {
    timer_.reset();
    sequenceRunning_ = false;
}

void TonecReceiver::translateDTMF(const LGCP::TranslateDtmfParams& p) {
    pending_ = p;
    nextDigit_ = 0;
    if (sequenceRunning_) return;
    sequenceRunning_ = true;
    OnPauseEnd();
}

void TonecReceiver::OnPauseEnd() {
    const auto& digits = pending_.get_digits();
    if (nextDigit_ >= digits.size()) {
        disableToneGenerator(true);
        tone_gen_complete();
        return;
    }
    const LGCP::DualTone& tone = digits[nextDigit_++];
    enableToneGenerator(low16(tone.get_freq1()), low16(tone.get_freq2()),
                        pending_.has_amp1() ? low16(pending_.get_amp1()) : kDefaultLevel,
                        pending_.has_amp2() ? low16(pending_.get_amp2()) : kDefaultLevel);
    timer_.set(stepMs(pending_.has_toneDuration(), pending_.get_toneDuration()),
               &TonecReceiver::OnToneEnd, this);
}

void TonecReceiver::OnToneEnd() {
    enableSilence();
    timer_.set(stepMs(pending_.has_pauseDuration(), pending_.get_pauseDuration()),
               &TonecReceiver::OnPauseEnd, this);
}

void TonecReceiver::activateAudibleCall() {
    if (!sequenceRunning_) OnCallTone();
}

void TonecReceiver::OnCallTone() {
    enableToneGenerator(425, 0, 2048, 2048);
    timer_.set(1000, &TonecReceiver::OnCallPause, this);
}

void TonecReceiver::OnCallPause() {
    enableSilence();
    timer_.set(3000, &TonecReceiver::OnCallTone, this);
}

void TonecReceiver::cancelAudibleCall() {
    if (sequenceRunning_) return;
    timer_.reset();
    enableToneGenerator(0, 0, 0, 0);
}

void TonecReceiver::CleanBeforeDestroy() {
    if (dtmfEnabled_) disableDTMF();
    if (ivaEnabled_) enableIVA(false);
    if (dtmfRejectEnabled_) enableDTMFReject(false);
    // The timer goes with the receiver: a tone it was playing would stay on.
    if (timer_.armed()) disableToneGenerator(true);
}

// ---- TonecReceiverService --------------------------------------------------

TonecReceiverService& TonecReceiverService::instance() {
    return Singleton<TonecReceiverService>::get();
}

TonecReceiverService::TonecReceiverService()
    : device(Tonec::kDevice, O_RDONLY,
             "open tonec fail, DTMF proceeding disabled: ", "fail to read from tonec: ") {
    device.event.Bind("TonecReceiverService::OnEvent", &TonecReceiverService::OnEvent, this);
    init();
}

bool TonecReceiverService::init() {
    return device.open();
}

bool TonecReceiverService::configureDTMF(unsigned timeslot, const LGCP::DTMFParams& p) {
    if (!device.openFor("configure DTMF fail: (interface not opened)", timeslot)) return false;
    const auto& threshold = p.get_threshold();
    Tonec::DetectorConfig r{
        timeslot, threshold.get_twist().getValue(), threshold.get_ratio().getValue(),
        p.get_level().get_silence().getValue(), threshold.get_noise().getValue()};
    if (int err = device.request(Tonec::DTMF_CONFIGURE_DETECTOR, &r)) {
        std::cerr << "DTMF_CONFIGURE_DETECTOR fail:"
                  << " timeslot=" << timeslot << ErrnoText{err} << std::endl;
        return false;
    }
    std::clog << "DTMF_CONFIGURE_DETECTOR"
              << " ts=" << timeslot << " twist=" << r.twist << " ratio=" << r.ratio
              << " noise=" << r.noise << " silence=" << r.silence << std::endl;
    return true;
}

bool TonecReceiverService::onOff(unsigned long request, unsigned timeslot, const char* name,
                                 const char* suffix) {
    if (int err = device.request(request, static_cast<long>(timeslot))) {
        std::cerr << name << suffix << " fail:"
                  << " timeslot=" << timeslot << ErrnoText{err} << std::endl;
        return false;
    }
    std::clog << name << suffix << "[" << timeslot << "] ok" << std::endl;
    return true;
}

bool TonecReceiverService::echoCancel(unsigned timeslot, bool on) {
    return on ? onOff(Tonec::CHANNEL_LMS_ON, timeslot, "CHANNEL_LMS", "_ON")
              : onOff(Tonec::CHANNEL_LMS_OFF, timeslot, "CHANNEL_LMS", "_OFF");
}

bool TonecReceiverService::enableDTMFReject(unsigned timeslot, bool on) {
    return on ? onOff(Tonec::DTMF_REJECTION_ENABLE, timeslot, "DTMF_REJECTION", "_ENABLE")
              : onOff(Tonec::DTMF_REJECTION_DISABLE, timeslot, "DTMF_REJECTION", "_DISABLE");
}

bool TonecReceiverService::enableIVA(TonecReceiver& r, bool on) {
    unsigned timeslot = r.tonec_timeslot();
    bool done = on ? onOff(Tonec::IVA_DETECTOR_ENABLE, timeslot, "IVA_DETECTOR", "_ENABLE")
                   : onOff(Tonec::IVA_DETECTOR_DISABLE, timeslot, "IVA_DETECTOR", "_DISABLE");
    if (done) r.ivaEnabled_ = on;
    return done;
}

bool TonecReceiverService::enableDTMF(TonecReceiver& r, bool on) {
    if (r.dtmfEnabled_ == on) return true;
    unsigned timeslot = r.tonec_timeslot();
    if (!on) {
        if (int err = device.request(Tonec::DTMF_DISABLE_DETECTOR, static_cast<long>(timeslot))) {
            std::cerr << "DTMF_DISABLE_DETECTOR fail:"
                      << " timeslot=" << timeslot << ErrnoText{err} << std::endl;
            return false;
        }
        r.dtmfEnabled_ = false;
        std::cerr << "DTMF_DISABLE_DETECTOR done:"
                  << " timeslot=" << timeslot << std::endl;
        return true;
    }
    Tonec::DetectorEnable e{timeslot, device.nextRequestId()};
    if (int err = device.request(Tonec::DTMF_ENABLE_DETECTOR, &e)) {
        std::cerr << "DTMF_ENABLE_DETECTOR fail:"
                  << " timeslot=" << timeslot << " id=" << e.id << ErrnoText{err} << std::endl;
        return false;
    }
    r.requestId_ = e.id;
    r.dtmfEnabled_ = true;
    std::cerr << "DTMF_ENABLE_DETECTOR done:"
              << " timeslot=" << timeslot << " id=" << e.id << std::endl;
    return true;
}

bool TonecReceiverService::enableToneGenerator(unsigned timeslot, uint16_t freq1, uint16_t freq2,
                                               uint16_t level1, uint16_t level2) {
    Tonec::Dial r{timeslot, freq1, freq2, level1, level2};
    if (int err = device.request(Tonec::DTMF_DIAL, &r)) {
        std::cerr << "DTMF_DIAL fail:"
                  << " timeslot=" << timeslot << ErrnoText{err} << std::endl;
        return false;
    }
    return true;
}

bool TonecReceiverService::configureIVA(TonecReceiver& r, const LGCP::IVAParams& p) {
    unsigned timeslot = r.tonec_timeslot();
    if (!device.openFor("configure IVA fail: (interface not opened)", timeslot)) return false;
    Tonec::IvaConfig c{timeslot, p.get_det_lvl_dB().getValue()};
    if (int err = device.request(Tonec::IVA_CONFIGURE_DETECTOR, &c)) {
        std::cerr << "IVA_CONFIGURE_DETECTOR fail:"
                  << " timeslot=" << timeslot << ErrnoText{err} << std::endl;
        return false;
    }
    std::clog << "IVA_CONFIGURE_DETECTOR"
              << " ts=" << timeslot << " det_lvl_dB=" << c.det_lvl_dB << std::endl;
    return true;
}

bool TonecReceiverService::translateSelcal(TonecReceiver& r, const TERM::SelcalCommand& c) {
    unsigned timeslot = r.tonec_timeslot();
    const std::string& signs = c.get_signs();
    if (signs.size() < kSelcalSigns) {
        std::cerr << "SELCAL_DIAL fail:"
                  << " timeslot=" << timeslot << " incorect signs:" << signs << std::endl;
        return false;
    }
    Tonec::SelcalDial d{};
    d.timeslot = timeslot;
    d.amplitude = c.has_amp() ? low16(c.get_amp()) : kSelcalAmplitude;
    std::memcpy(d.signs, signs.data(), kSelcalSigns);
    if (int err = device.request(Tonec::SELCAL_DIAL, &d)) {
        std::cerr << "SELCAL_DIAL fail:"
                  << " timeslot=" << timeslot << ErrnoText{err} << std::endl;
        return false;
    }
    return true;
}

// ---- events ----------------------------------------------------------------

void TonecReceiverService::OnEvent(int, short revents) {
    device.readRecords<Tonec::Event>(revents, [this](const Tonec::Event& e) { dispatch(e); });
}

void TonecReceiverService::dispatch(const Tonec::Event& e) {
    std::clog << "dtmf event: " << EventFields{e} << std::endl;
    TonecReceiver* r = firstReceiver(receivers(), e.timeslot, &TonecReceiver::tonec_timeslot);
    if (!r) {
        std::cerr << "receive tonec event from unknown timeslot " << e.timeslot << std::endl;
        return;
    }
    // IVA codes lie above the DTMF digits; each detector has its own state,
    // and only the DTMF detector's enable gives an id.
    bool iva = e.code > Tonec::kDtmfCodeLimit;
    if (!(iva ? r->ivaEnabled_ : r->dtmfEnabled_)) {
        std::clog << (iva ? "ignore spurious dtmf event (IVA disabled): "
                          : "ignore spurious dtmf event (DTMF disabled): ")
                  << EventFields{e} << std::endl;
        return;
    }
    if (!iva && e.id != r->requestId_) {
        std::clog << "ignore spurious dtmf event: " << EventFields{e} << " rid=" << r->requestId_
                  << std::endl;
        return;
    }
    r->tonec_event(TonecReceiver::Params{e.code, e.timestamp});
}

}  // namespace Hardware
