#include "board/sim_tone_dsp.h"

#include <errno.h>
#include <time.h>

#include <cstring>
#include <sstream>

#include "board/sim_words.h"

namespace {

uint32_t monotonicMs() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

}  // namespace

SimToneDsp::SimToneDsp() : SimDriver(kPath), clock_(monotonicMs) {
    using namespace Tonec;
    serveRecord<DetectorConfig>(
        DTMF_CONFIGURE_DETECTOR,
        [this](SimHandle&, const DetectorConfig& r) { return configure(r); });
    serveRecord<DetectorEnable>(DTMF_ENABLE_DETECTOR,
                                [this](SimHandle&, const DetectorEnable& r) { return enable(r); });
    serveSwitch(DTMF_DISABLE_DETECTOR, &Channel::dtmf, false);
    serveRecord<Dial>(DTMF_DIAL, [this](SimHandle&, const Dial& r) { return dial(r); });
    serveSwitch(CHANNEL_LMS_ON, &Channel::lms, true);
    serveSwitch(CHANNEL_LMS_OFF, &Channel::lms, false);
    serveSwitch(DTMF_REJECTION_ENABLE, &Channel::rejection, true);
    serveSwitch(DTMF_REJECTION_DISABLE, &Channel::rejection, false);
    serveSwitch(IVA_DETECTOR_ENABLE, &Channel::iva, true);
    serveSwitch(IVA_DETECTOR_DISABLE, &Channel::iva, false);
    serveRecord<IvaConfig>(IVA_CONFIGURE_DETECTOR,
                           [this](SimHandle&, const IvaConfig& r) { return configureIva(r); });
    serveRecord<SelcalDial>(SELCAL_DIAL,
                            [this](SimHandle&, const SelcalDial& r) { return selcal(r); });
}

SimToneDsp::Channel SimToneDsp::channel(uint32_t timeslot) const {
    return channels_.get(timeslot);
}

void SimToneDsp::serveSwitch(unsigned long request, bool Channel::*flag, bool on) {
    serveValue(request, [this, flag, on](SimHandle&, long timeslot) {
        Channel* c = channels_.touch(timeslot);
        if (!c) return -1;
        c->*flag = on;
        return 0;
    });
}

int SimToneDsp::configure(const Tonec::DetectorConfig& r) {
    Channel* c = channels_.touch(r.timeslot);
    if (!c) return -1;
    c->configured = true;
    c->config = r;
    return 0;
}

int SimToneDsp::enable(const Tonec::DetectorEnable& r) {
    Channel* c = channels_.touch(r.timeslot);
    if (!c) return -1;
    if (r.id == 0) return refuse(EINVAL);
    c->dtmf = true;
    c->id = r.id;
    return 0;
}

int SimToneDsp::dial(const Tonec::Dial& r) {
    Channel* c = channels_.touch(r.timeslot);
    if (!c) return -1;
    c->generator = r;
    addStep(Step{Step::Dial, 0, r.timeslot, r.freq1, r.freq2, r.level1, r.level2, 0, {}});
    return 0;
}

int SimToneDsp::configureIva(const Tonec::IvaConfig& r) {
    Channel* c = channels_.touch(r.timeslot);
    if (!c) return -1;
    c->ivaConfigured = true;
    c->ivaLevel = r.det_lvl_dB;
    return 0;
}

int SimToneDsp::selcal(const Tonec::SelcalDial& r) {
    if (!channels_.touch(r.timeslot)) return -1;
    // Four tone letters, no terminator, then zero padding.
    if (std::memchr(r.signs, '\0', sizeof r.signs) || r.reserved[0] || r.reserved[1])
        return refuse(EINVAL);
    addStep(Step{Step::Selcal, 0, r.timeslot, 0, 0, 0, 0, r.amplitude,
                 std::string(r.signs, sizeof r.signs)});
    return 0;
}

void SimToneDsp::addStep(Step step) {
    step.at = clock_();
    if (timeline_.size() >= kTimelineLimit) timeline_.pop_front();
    timeline_.push_back(std::move(step));
}

std::vector<SimToneDsp::Step> SimToneDsp::timeline(uint32_t timeslot) const {
    std::vector<Step> out;
    for (const Step& s : timeline_)
        if (s.timeslot == timeslot) out.push_back(s);
    return out;
}

// ---- events ----------------------------------------------------------------

int SimToneDsp::dtmfCode(char digit) {
    const char* p = digit ? std::strchr(Tonec::kDtmfDigits, digit) : nullptr;
    return p ? static_cast<int>(p - Tonec::kDtmfDigits) : -1;
}

bool SimToneDsp::emitCode(uint32_t timeslot, uint32_t code, uint32_t id) {
    if (!isTdmChannel(timeslot)) return false;
    Tonec::Event e{code, timeslot, clock_(), id};
    return emitToEvery(&e, sizeof e) > 0;
}

bool SimToneDsp::emitCode(uint32_t timeslot, uint32_t code) {
    return emitCode(timeslot, code, channel(timeslot).id);
}

bool SimToneDsp::emitDtmf(uint32_t timeslot, char digit) {
    int code = dtmfCode(digit);
    return code >= 0 && emitCode(timeslot, static_cast<uint32_t>(code));
}

bool SimToneDsp::emitCed(uint32_t timeslot) {
    return emitCode(timeslot, Tonec::kCodeCed);
}

bool SimToneDsp::emitCng(uint32_t timeslot) {
    return emitCode(timeslot, Tonec::kCodeCng);
}

bool SimToneDsp::emitIva(uint32_t timeslot, uint32_t code) {
    return code >= Tonec::kIvaFirst && code <= Tonec::kIvaLast &&
           emitCode(timeslot, code << Tonec::kIvaShift);
}

bool SimToneDsp::emitRingOff(uint32_t timeslot) {
    return emitCode(timeslot, Tonec::kIvaRingOff << Tonec::kIvaShift);
}

// ---- control commands ------------------------------------------------------

std::string SimToneDsp::control(const std::vector<std::string>& words) {
    if (words.empty()) return SimDriver::control(words);
    const std::string& verb = words[0];
    if (verb == "state") return stateCommand(words);
    if (verb == "timeline") return timelineCommand(words);
    if (verb == "clear" && words.size() == 1) {
        clearTimeline();
        return SimWords::ok();
    }
    static const char* const kEvents[] = {"dtmf", "ced", "cng", "iva", "ringoff", "code"};
    for (const char* e : kEvents)
        if (verb == e) return emitCommand(words);
    return SimDriver::control(words);
}

std::string SimToneDsp::emitCommand(const std::vector<std::string>& words) {
    using namespace SimWords;
    const std::string& verb = words[0];
    // The words between the time slot and the optional id.
    size_t values = verb == "ced" || verb == "cng" || verb == "ringoff" ? 0 : 1;
    uint32_t ts;
    if (words.size() < 2 + values || words.size() > 3 + values) return error("usage: " + verb);
    if (!timeslotWord(words[1], ts)) return error("bad time slot");
    uint32_t id = channel(ts).id;
    if (words.size() == 3 + values && !word32(words.back(), id)) return error("bad id");

    std::vector<uint32_t> codes;
    uint32_t value = 0;
    if (verb == "dtmf") {
        for (char d : words[2]) {
            int code = dtmfCode(d);
            if (code < 0) return error("bad digit");
            codes.push_back(static_cast<uint32_t>(code));
        }
    } else if (verb == "iva") {
        if (!word32(words[2], value) || value < Tonec::kIvaFirst || value > Tonec::kIvaLast)
            return error("bad IVA code");
        codes.push_back(value << Tonec::kIvaShift);
    } else if (verb == "code") {
        if (!word32(words[2], value)) return error("bad code");
        codes.push_back(value);
    } else {
        codes.push_back(verb == "ced"   ? Tonec::kCodeCed
                        : verb == "cng" ? Tonec::kCodeCng
                                        : Tonec::kIvaRingOff << Tonec::kIvaShift);
    }
    for (uint32_t code : codes)
        if (!emitCode(ts, code, id)) return error("no open took the event");
    return ok();
}

std::string SimToneDsp::stateCommand(const std::vector<std::string>& words) const {
    using namespace SimWords;
    uint32_t ts;
    if (words.size() != 2 || !timeslotWord(words[1], ts)) return error("usage: state <ts>");
    Channel c = channel(ts);
    auto configured = [](bool set, long v) { return set ? std::to_string(v) : std::string("-"); };
    std::ostringstream out;
    out << "dtmf=" << onOff(c.dtmf) << " id=" << c.id << " iva=" << onOff(c.iva)
        << " reject=" << onOff(c.rejection) << " lms=" << onOff(c.lms)
        << " twist=" << configured(c.configured, c.config.twist)
        << " ratio=" << configured(c.configured, c.config.ratio)
        << " silence=" << configured(c.configured, c.config.silence)
        << " noise=" << configured(c.configured, c.config.noise)
        << " iva_level=" << configured(c.ivaConfigured, c.ivaLevel)
        << " generator=" << c.generator.freq1 << ',' << c.generator.freq2 << ','
        << c.generator.level1 << ',' << c.generator.level2;
    return out.str();
}

std::string SimToneDsp::timelineCommand(const std::vector<std::string>& words) const {
    using namespace SimWords;
    uint32_t ts = 0;
    bool all = words.size() == 1;
    if (words.size() > 2 || (!all && !timeslotWord(words[1], ts)))
        return error("usage: timeline [<ts>]");
    std::ostringstream out;
    for (const Step& s : timeline_) {
        if (!all && s.timeslot != ts) continue;
        out << s.at << ' ' << s.timeslot;
        if (s.kind == Step::Dial)
            out << " dial " << s.freq1 << ' ' << s.freq2 << ' ' << s.level1 << ' ' << s.level2;
        else
            out << " selcal " << s.amplitude << ' ' << s.signs;
        out << '\n';
    }
    return out.str();
}
