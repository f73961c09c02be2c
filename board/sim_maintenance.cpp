#include "board/sim_maintenance.h"

#include <errno.h>
#include <sys/socket.h>

#include <cstring>
#include <limits>

#include "board/sim_control.h"

namespace {

// The counters of a framer by their control names.
struct Counter {
    const char* name;
    uint32_t SimMaintenance::Framer::*field;
};
const Counter kCounters[] = {
    {"slips", &SimMaintenance::Framer::slips},
    {"lossBF", &SimMaintenance::Framer::lossBF},
    {"lossCarrier", &SimMaintenance::Framer::lossCarrier},
    {"lossAIS", &SimMaintenance::Framer::lossAIS},
    {"lossRAI", &SimMaintenance::Framer::lossRAI},
};

// Sets one field of `f` from a control pair; false when either word is bad.
bool setField(SimMaintenance::Framer& f, const std::string& name, const std::string& value) {
    long long v;
    if (name == "state") {
        if (SimControl::trunkState(value, f.state)) return true;
        if (!SimControl::number(value, std::numeric_limits<int32_t>::min(),
                                std::numeric_limits<int32_t>::max(), v))
            return false;
        f.state = static_cast<int32_t>(v);
        return true;
    }
    for (const Counter& c : kCounters) {
        if (name != c.name) continue;
        if (!SimControl::number(value, 0, std::numeric_limits<uint32_t>::max(), v)) return false;
        f.*c.field = static_cast<uint32_t>(v);
        return true;
    }
    return false;
}

}  // namespace

SimMaintenance::SimMaintenance()
    : SimRequestModel(kPath, SOCK_SEQPACKET,
                      {{E1::kTrunkStatus, "status", false},
                       {E1::kTransmitClockMask, "tclk", true},
                       {E1::kClockSource, "source", true}}) {}

int SimMaintenance::onRecord(SimHandle&, unsigned long, void* arg) {
    E1::TrunkStatusRecord r;
    std::memcpy(&r, arg, sizeof r);
    if (r.trunk < 0 || static_cast<unsigned>(r.trunk) >= E1::kTrunks) return simRefuse(EINVAL);
    const Framer& f = framers_[r.trunk];
    int32_t trunk = r.trunk;
    std::memset(&r, 0, sizeof r);
    r.trunk = trunk;
    r.slips = f.slips;
    r.lossBF = f.lossBF;
    r.lossCarrier = f.lossCarrier;
    r.lossAIS = f.lossAIS;
    r.lossRAI = f.lossRAI;
    r.state = f.state;
    std::memcpy(arg, &r, sizeof r);
    return 0;
}

int SimMaintenance::onValue(SimHandle&, unsigned long request, long arg) {
    if (request == E1::kTransmitClockMask) {
        if (arg < 0 || arg >= (1L << E1::kTrunks)) return simRefuse(EINVAL);
        mask_ = arg;
        return 0;
    }
    if (arg < 0 || arg >= static_cast<long>(E1::kTrunks)) return simRefuse(EINVAL);
    source_ = arg;
    return 0;
}

std::string SimMaintenance::control(const std::vector<std::string>& words) {
    static const SimControl::Command<SimMaintenance> table[] = {
        {"framer", 1, 1 + 2 * 6, &SimMaintenance::cmdFramer},
        {"tclk", 0, 0, &SimMaintenance::cmdTclk},
        {"source", 0, 0, &SimMaintenance::cmdSource},
        {"log", 0, 1, &SimMaintenance::logCommand},
    };
    return SimControl::dispatch(*this, table, words);
}

std::string SimMaintenance::status(unsigned trunk) const {
    const Framer& f = framers_[trunk];
    std::string out =
        "trunk " + std::to_string(trunk) + " state " + SimControl::trunkStateName(f.state);
    for (const Counter& c : kCounters)
        out += std::string(" ") + c.name + " " + std::to_string(f.*c.field);
    return out;
}

std::string SimMaintenance::cmdFramer(const Words& args) {
    long long trunk;
    if (!SimControl::number(args[0], 0, E1::kTrunks - 1, trunk))
        return SimControl::error("bad trunk");
    if (args.size() % 2 == 0) return SimControl::error("fields come in pairs");
    Framer f = framers_[trunk];
    for (size_t i = 1; i < args.size(); i += 2)
        if (!setField(f, args[i], args[i + 1])) return SimControl::error("bad field " + args[i]);
    framers_[trunk] = f;
    return status(static_cast<unsigned>(trunk));
}

std::string SimMaintenance::cmdTclk(const Words&) {
    return mask_ < 0 ? "none" : SimControl::hex(static_cast<unsigned long>(mask_));
}

std::string SimMaintenance::cmdSource(const Words&) {
    return source_ < 0 ? "none" : std::to_string(source_);
}
