#include "board/sim_voice_dsp.h"

#include <errno.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "board/sim_record.h"
#include "board/sim_words.h"

namespace {

// True when bytes [from, to) of the parameters are all zero.
bool zeroFrom(const uint8_t* params, size_t from, size_t to = 12) {
    for (size_t i = from; i < to; ++i)
        if (params[i]) return false;
    return true;
}

}  // namespace

SimVoiceDsp::SimVoiceDsp() : SimDriver(kPath) {
    using namespace DSProc;
    serveRecord<Configure>(DSPROC_CONFIGURE,
                           [this](SimHandle&, const Configure& r) { return configure(r); });
    serveRecord<Enable>(DSPROC_ENABLE, [this](SimHandle&, const Enable& r) { return enable(r); });
    serveRecord<Enable>(DSPROC_DISABLE, [this](SimHandle&, const Enable& r) { return disable(r); });
    serveValue(DSPROC_VERSION, [this](SimHandle&, long arg) { return reportVersion(arg); });
}

SimVoiceDsp::Channel SimVoiceDsp::channel(uint32_t timeslot) const {
    return channels_.get(timeslot);
}

int SimVoiceDsp::reportVersion(long arg) const {
    return arg == 0 ? version_ : refuse(EINVAL);
}

int SimVoiceDsp::configure(const DSProc::Configure& r) {
    using namespace DSProc;
    Channel* c = channels_.touch(r.timeslot);
    if (!c) return -1;
    const uint8_t* p = r.params;
    switch (r.function) {
        case kVad:
            if (version_ == 2 && !zeroFrom(p, offsetof(VadParamsV2, reserved))) break;
            c->vadConfigured = true;
            std::memcpy(c->vadParams, p, sizeof c->vadParams);
            return 0;
        case kSd:
            if (!zeroFrom(p, 0)) break;
            c->sdConfigured = true;
            return 0;
        case kDelays:
            c->delays = loadRecord<DelaysParams>(p);
            c->delaysSet = true;
            return 0;
        case kRxGain:
            if (!zeroFrom(p, offsetof(RxGainParams, reserved))) break;
            c->gain_dB = loadRecord<RxGainParams>(p).gain_dB;
            c->gainSet = true;
            return 0;
        case kToneFilter: {
            auto f = loadRecord<ToneFilterParams>(p);
            if (f.reserved0 || !zeroFrom(p, offsetof(ToneFilterParams, reserved1))) break;
            if (f.en)
                c->filters[f.freq] = f;
            else
                c->filters.erase(f.freq);
            return 0;
        }
    }
    return refuse(EINVAL);
}

std::vector<SimVoiceDsp::Function*> SimVoiceDsp::functions(Channel& c, uint32_t bits) {
    using namespace DSProc;
    std::vector<Function*> out;
    const std::pair<uint32_t, Function*> all[] = {
        {kVad, &c.vad}, {kSd, &c.sd}, {kBss, &c.bss}, {kNg, &c.ng}, {kSelcalSh, &c.selcalSh}};
    for (const auto& f : all)
        if (bits & f.first) out.push_back(f.second);
    return out;
}

int SimVoiceDsp::enable(const DSProc::Enable& r) {
    using namespace DSProc;
    Channel* c = channels_.touch(r.timeslot);
    if (!c) return -1;
    if (r.id == 0 || r.functions == 0 || (r.functions & ~kEnableable)) return refuse(EINVAL);
    for (Function* f : functions(*c, r.functions)) *f = Function{true, r.id};
    if (r.functions & kMute) {
        c->mute1 = r.functions & kMute1;
        c->mute2 = r.functions & kMute2;
        c->muteId = r.id;
    }
    return 0;
}

int SimVoiceDsp::disable(const DSProc::Enable& r) {
    using namespace DSProc;
    Channel* c = channels_.touch(r.timeslot);
    if (!c) return -1;
    if (r.id != 0 || r.functions == 0 || (r.functions & ~kDisableable)) return refuse(EINVAL);
    for (Function* f : functions(*c, r.functions)) f->on = false;
    if (r.functions & kMute1) c->mute1 = false;
    if (r.functions & kMute2) c->mute2 = false;
    if (r.functions & kToneFilter) c->filters.clear();
    return 0;
}

// ---- events ----------------------------------------------------------------

namespace {

DSProc::Event eventRecord(uint32_t timeslot, uint32_t type, uint32_t id, uint32_t w0 = 0,
                          uint32_t w1 = 0, uint32_t w2 = 0) {
    return DSProc::Event{timeslot, id, type, {w0, w1, w2}};
}

// A negative value leaves its direction out.
DSProc::Event vadRecord(uint32_t timeslot, uint32_t id, long rx, long tx) {
    return eventRecord(
        timeslot, DSProc::kVad, id, (rx >= 0 ? DSProc::kVadRx : 0) | (tx >= 0 ? DSProc::kVadTx : 0),
        rx >= 0 ? static_cast<uint32_t>(rx) : 0, tx >= 0 ? static_cast<uint32_t>(tx) : 0);
}

DSProc::Event bssRecord(uint32_t timeslot, uint32_t id, float score) {
    DSProc::Event e = eventRecord(timeslot, DSProc::kBss, id);
    storeRecord(e.data, dsproc_bss_event{score, {0, 0}});
    return e;
}

}  // namespace

bool SimVoiceDsp::emitEvent(const DSProc::Event& e) {
    return isTdmChannel(e.timeslot) && emitToEvery(&e, sizeof e) > 0;
}

bool SimVoiceDsp::emitVad(uint32_t timeslot, int32_t vadRx, int32_t vadTx) {
    return emitEvent(vadRecord(timeslot, channel(timeslot).vad.id, vadRx, vadTx));
}

bool SimVoiceDsp::emitSd(uint32_t timeslot, int32_t sdRx) {
    return emitEvent(
        eventRecord(timeslot, DSProc::kSd, channel(timeslot).sd.id, static_cast<uint32_t>(sdRx)));
}

bool SimVoiceDsp::emitBss(uint32_t timeslot, float score) {
    return emitEvent(bssRecord(timeslot, channel(timeslot).bss.id, score));
}

bool SimVoiceDsp::emitToneFilter(uint32_t timeslot, uint32_t freq, int32_t presence) {
    return emitEvent(
        eventRecord(timeslot, DSProc::kToneFilter, 0, freq, static_cast<uint32_t>(presence)));
}

bool SimVoiceDsp::emitFlags(uint32_t timeslot, uint32_t flags, uint32_t mask) {
    return emitEvent(eventRecord(timeslot, DSProc::kFlags, 0, flags, mask));
}

// ---- control commands ------------------------------------------------------

std::string SimVoiceDsp::control(const std::vector<std::string>& words) {
    if (words.empty()) return SimDriver::control(words);
    const std::string& verb = words[0];
    if (verb == "state") return stateCommand(words);
    if (verb == "version") return versionCommand(words);
    static const char* const kEvents[] = {"vad", "sd", "bss", "tone", "flags", "event"};
    for (const char* e : kEvents)
        if (verb == e) return emitCommand(words);
    return SimDriver::control(words);
}

std::string SimVoiceDsp::versionCommand(const std::vector<std::string>& words) {
    long v;
    if (words.size() == 1) return std::to_string(version_);
    if (words.size() != 2 || !SimWords::number(words[1], 0, 0x7FFFFFFF, v))
        return SimWords::error("usage: version [<n>]");
    version_ = static_cast<int>(v);
    return SimWords::ok();
}

std::string SimVoiceDsp::emitCommand(const std::vector<std::string>& words) {
    using namespace SimWords;
    const std::string& verb = words[0];
    // verb, time slot, the values, then an optional id for VAD, SD and BSS.
    size_t values = verb == "event"                                      ? 5
                    : verb == "vad" || verb == "tone" || verb == "flags" ? 2
                                                                         : 1;
    bool takesId = verb == "vad" || verb == "sd" || verb == "bss";
    uint32_t timeslot;
    if (words.size() < 2 + values || words.size() > 2 + values + takesId)
        return error("usage: " + verb);
    if (!timeslotWord(words[1], timeslot)) return error("bad time slot");
    Channel c = channel(timeslot);

    DSProc::Event e;
    if (verb == "bss") {
        char* end = nullptr;
        float score = std::strtof(words[2].c_str(), &end);
        if (*end != '\0' || end == words[2].c_str() || !std::isfinite(score))
            return error("bad score");
        e = bssRecord(timeslot, c.bss.id, score);
    } else {
        long v[5] = {};
        for (size_t i = 0; i < values; ++i)
            if (!number(words[2 + i], -0x80000000L, 0xFFFFFFFFL, v[i])) return error("bad value");
        auto w = [&v](size_t i) { return static_cast<uint32_t>(v[i]); };
        if (verb == "vad")
            e = vadRecord(timeslot, c.vad.id, v[0], v[1]);
        else if (verb == "sd")
            e = eventRecord(timeslot, DSProc::kSd, c.sd.id, w(0));
        else if (verb == "tone")
            e = eventRecord(timeslot, DSProc::kToneFilter, 0, w(0), w(1));
        else if (verb == "flags")
            e = eventRecord(timeslot, DSProc::kFlags, 0, w(0), w(1));
        else
            e = eventRecord(timeslot, w(1), w(0), w(2), w(3), w(4));
    }
    if (takesId && words.size() == 3 + values && !word32(words.back(), e.id))
        return error("bad id");
    return emitEvent(e) ? ok() : error("no open took the event");
}

std::string SimVoiceDsp::stateCommand(const std::vector<std::string>& words) const {
    using namespace SimWords;
    uint32_t ts;
    if (words.size() != 2 || !timeslotWord(words[1], ts)) return error("usage: state <ts>");
    Channel c = channel(ts);
    std::ostringstream out;
    const std::pair<const char*, const Function*> all[] = {
        {"vad", &c.vad}, {"sd", &c.sd}, {"bss", &c.bss}, {"ng", &c.ng}, {"selcal_sh", &c.selcalSh}};
    for (const auto& f : all)
        out << f.first << '=' << onOff(f.second->on) << ' ' << f.first << "_id=" << f.second->id
            << ' ';
    out << "mute=" << c.mute1 << ',' << c.mute2 << " mute_id=" << c.muteId
        << " vad_config=" << (c.vadConfigured ? hex(c.vadParams, sizeof c.vadParams) : "-")
        << " sd_config=" << onOff(c.sdConfigured) << " delays=";
    if (c.delaysSet)
        out << c.delays.rx << ',' << c.delays.tx << ',' << c.delays.selcal;
    else
        out << '-';
    out << " gain=" << (c.gainSet ? std::to_string(c.gain_dB) : "-") << " filters=";
    if (c.filters.empty()) out << '-';
    for (auto it = c.filters.begin(); it != c.filters.end(); ++it)
        out << (it == c.filters.begin() ? "" : ",") << it->second.freq << ':' << int(it->second.en)
            << ':' << it->second.dur_th_msec << ':' << int(it->second.det_lvl_dB);
    return out.str();
}
