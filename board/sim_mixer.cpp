#include "board/sim_mixer.h"

#include <errno.h>

using namespace Mix;

namespace {

const char* requestName(unsigned long request) {
    switch (request) {
        case MIX_RX_CLEAR:
            return "clear";
        case MIX_RX_ADD:
            return "add";
        case MIX_RX_REMOVE:
            return "remove";
        case MIX_TDM:
            return "tdm";
        case MIX_ENUM:
            return "enum";
        default:
            return nullptr;
    }
}

}  // namespace

SimMixer::SimMixer() : SimDriver(kPath) {
    serveRecord<mix_slot>(MIX_RX_CLEAR, [this](SimHandle&, const mix_slot& s) { return clear(s); });
    serveRecord<mix_rx>(MIX_RX_ADD, [this](SimHandle&, const mix_rx& r) { return add(r); });
    serveRecord<mix_rx>(MIX_RX_REMOVE, [this](SimHandle&, const mix_rx& r) { return remove(r); });
    serveRecord<mix_slot>(MIX_TDM, [this](SimHandle&, const mix_slot& s) { return tdm(s); });
    serveReport<mix_info>(MIX_ENUM, [this](SimHandle&, mix_info& info) { return enumerate(info); });
    setMixer(0, 32, 128);
    setMixer(1, 24, 96);
}

bool SimMixer::setMixer(int32_t unit, int32_t tdm, int32_t inputs) {
    if (unit < 0 || unit > kMaxUnit || tdm < 1 || tdm > kUnitSpan || inputs < 0) return false;
    Unit& u = units_[unit];
    u.tdm = tdm;
    u.inputs = inputs;
    return true;
}

bool SimMixer::removeMixer(int32_t unit) {
    return units_.erase(unit) > 0;
}

const SimMixer::Sums& SimMixer::sums(int32_t unit) const {
    static const Sums kNone;
    auto it = units_.find(unit);
    return it == units_.end() ? kNone : it->second.sums;
}

// ---- requests --------------------------------------------------------------

SimMixer::Unit* SimMixer::channel(const mix_slot& s) {
    auto it = units_.find(s.dev_no);
    if (it == units_.end()) {
        errno = ENODEV;
        return nullptr;
    }
    if (s.type != kTdm || s.number < 0 || s.number >= it->second.tdm) {
        errno = EINVAL;
        return nullptr;
    }
    return &it->second;
}

int SimMixer::clear(const mix_slot& s) {
    Unit* u = channel(s);
    if (!u) return -1;
    u->sums.erase(s.number);
    return 0;
}

int SimMixer::add(const mix_rx& r) {
    Unit* u = channel(r.rx);
    if (!u || !channel(r.tx)) return -1;
    if (r.rx.dev_no != r.tx.dev_no) return refuse(EINVAL);
    u->sums[r.rx.number][r.tx.number] = r.gain;
    return 0;
}

int SimMixer::remove(const mix_rx& r) {
    Unit* u = channel(r.rx);
    if (!u || !channel(r.tx)) return -1;
    if (r.rx.dev_no != r.tx.dev_no) return refuse(EINVAL);
    auto sum = u->sums.find(r.rx.number);
    if (sum == u->sums.end() || !sum->second.erase(r.tx.number)) return refuse(ENOENT);
    if (sum->second.empty()) u->sums.erase(sum);
    return 0;
}

int SimMixer::tdm(const mix_slot& s) {
    if (!channel(s)) return -1;
    return kFirstTdm + s.dev_no * kUnitSpan + s.number;
}

int SimMixer::enumerate(mix_info& info) const {
    auto next = info.unit < 0 ? units_.begin() : units_.upper_bound(info.unit);
    if (next == units_.end()) return refuse(ENODEV);
    info = mix_info{next->first, next->second.tdm, 0, next->second.inputs};
    return 0;
}

// ---- control commands ------------------------------------------------------

std::string SimMixer::control(const std::vector<std::string>& words) {
    static const SimControl::Command<SimMixer> table[] = {
        {"mixers", 0, 0, &SimMixer::mixersCommand}, {"mixer", 3, 3, &SimMixer::mixerCommand},
        {"remove", 1, 1, &SimMixer::removeCommand}, {"sums", 1, 2, &SimMixer::sumsCommand},
        {"log", 0, 1, &SimMixer::logCommand},
    };
    for (const auto& c : table)
        if (!words.empty() && words[0] == c.word) return SimControl::dispatch(*this, table, words);
    return SimDriver::control(words);
}

std::string SimMixer::mixersCommand(const Words&) {
    std::string out;
    for (const auto& u : units_)
        out += (out.empty() ? "" : "\n") + ("unit=" + std::to_string(u.first) + " tdm=" + std::to_string(u.second.tdm) +
                                           " inputs=" + std::to_string(u.second.inputs));
    return out;
}

std::string SimMixer::mixerCommand(const Words& args) {
    long long v[3];
    for (int i = 0; i < 3; ++i)
        if (!SimControl::number(args[size_t(i)], 0, 0x7FFFFFFF, v[i])) return SimControl::error("bad number");
    return setMixer(int32_t(v[0]), int32_t(v[1]), int32_t(v[2])) ? SimWords::ok() : SimControl::error("bad mixer");
}

std::string SimMixer::removeCommand(const Words& args) {
    long long unit;
    if (!SimControl::number(args[0], 0, kMaxUnit, unit)) return SimControl::error("bad unit");
    return removeMixer(int32_t(unit)) ? SimWords::ok() : SimControl::error("no such mixer");
}

std::string SimMixer::sumsCommand(const Words& args) {
    long long unit, only = -1;
    if (!SimControl::number(args[0], 0, kMaxUnit, unit) ||
        (args.size() == 2 && !SimControl::number(args[1], 0, kUnitSpan - 1, only)))
        return SimControl::error("bad channel");
    std::string out;
    for (const auto& sum : sums(int32_t(unit))) {
        if (only >= 0 && sum.first != only) continue;
        out += (out.empty() ? "" : "\n") + std::to_string(sum.first) + ":";
        for (const auto& term : sum.second) out += " " + std::to_string(term.first) + "@" + std::to_string(term.second);
    }
    return out;
}

std::string SimMixer::logCommand(const Words& args) {
    return SimControl::log(*this, args, requestName);
}
