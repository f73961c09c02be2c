#include "board/sim_modem.h"

#include <errno.h>
#include <sys/socket.h>

#include "board/sim_control.h"
#include "board/sim_record.h"

SimModem::SimModem()
    : SimRequestModel(kPath, SOCK_SEQPACKET,
                      {{Mdm::MDM_ENUM, "enum", true},
                       {Mdm::MDM_ALLOCATE, "allocate", true},
                       {Mdm::MDM_TIMESLOT, "timeslot", true},
                       {Mdm::MDM_SET_DDM, "set-ddm", false},
                       {Mdm::MDM_RESET_DMP, "reset-dmp", false},
                       {Mdm::MDM_SET_DMP, "set-dmp", false},
                       {Mdm::MDM_ANSWER, "answer", false},
                       {Mdm::MDM_ORIGINATE, "originate", false},
                       {Mdm::MDM_FAX_ORIGINATE, "fax-originate", false}}) {}

bool SimModem::setModems(int count) {
    if (count < 1 || count > kMaxModems) return false;
    count_ = count;
    return true;
}

const SimModem::Modem& SimModem::modem(int number) const {
    static const Modem idle;
    auto it = modems_.find(number);
    return it == modems_.end() ? idle : it->second;
}

std::vector<int> SimModem::allocated() const {
    std::vector<int> out;
    for (const auto& m : modems_)
        if (m.second.holder) out.push_back(m.first);
    return out;
}

int SimModem::heldBy(const SimHandle& h) const {
    for (const auto& m : modems_)
        if (m.second.holder == &h) return m.first;
    return -1;
}

void SimModem::onClose(SimHandle& h) {
    int m = heldBy(h);
    if (m < 0) return;
    modems_[m].holder = nullptr;
    modems_[m].call = "none";
}

// ---- requests -----------------------------------------------------------------------

int SimModem::onValue(SimHandle& h, unsigned long request, long arg) {
    if (request == Mdm::MDM_ENUM) return next(arg);
    if (arg != 0) return simRefuse(EINVAL);
    if (request == Mdm::MDM_ALLOCATE) return allocate(h);
    int m = heldBy(h);
    return m < 0 ? simRefuse(EINVAL) : kFirstChannel + m;
}

int SimModem::next(long previous) const {
    if (previous < -1 || previous >= count_) return simRefuse(EINVAL);
    return previous + 1 < count_ ? int(previous + 1) : simRefuse(ENODEV);
}

int SimModem::allocate(SimHandle& h) {
    if (heldBy(h) >= 0) return simRefuse(EBUSY);
    for (int m = 0; m < count_; ++m) {
        if (modem(m).holder) continue;
        modems_[m] = Modem();
        modems_[m].holder = &h;
        return m;
    }
    return simRefuse(ENOSPC);
}

SimModem::Modem* SimModem::named(SimHandle& h, int32_t number) {
    if (number < 0 || number != heldBy(h)) {
        errno = EINVAL;
        return nullptr;
    }
    return &modems_[number];
}

int SimModem::onRecord(SimHandle& h, unsigned long request, void* arg) {
    if (request == Mdm::MDM_SET_DMP) {
        auto r = loadRecord<Mdm::DmpParameter>(arg);
        Modem* m = named(h, r.modem);
        if (!m) return -1;
        if (r.index < 0 || r.index > 255) return simRefuse(EINVAL);
        m->dmp[r.index] = r.value;
        return 0;
    }
    auto r = loadRecord<Mdm::ModemWord>(arg);
    Modem* m = named(h, r.modem);
    if (!m) return -1;
    switch (request) {
        case Mdm::MDM_SET_DDM:
            if (r.value < 0 || r.value > 7) return simRefuse(EINVAL);
            m->ddm = uint32_t(r.value);
            return 0;
        case Mdm::MDM_RESET_DMP:
            if (r.value != -1) return simRefuse(EINVAL);
            m->dmp.clear();
            ++m->resets;
            return 0;
        case Mdm::MDM_ANSWER:
            return call(*m, r, "answer");
        case Mdm::MDM_ORIGINATE:
            return call(*m, r, "originate");
        default:
            return call(*m, r, "fax-originate");
    }
}

int SimModem::call(Modem& m, const Mdm::ModemWord& r, const char* what) {
    if (r.value != -1) return simRefuse(EINVAL);
    if (m.call != "none") return simRefuse(EBUSY);
    m.call = what;
    return 0;
}

// ---- control ------------------------------------------------------------------------

std::string SimModem::control(const std::vector<std::string>& words) {
    static const SimControl::Command<SimModem> table[] = {
        {"modems", 0, 1, &SimModem::cmdModems},
        {"state", 1, 1, &SimModem::cmdState},
        {"log", 0, 1, &SimModem::logCommand},
    };
    return SimControl::dispatch(*this, table, words);
}

std::string SimModem::cmdModems(const Words& args) {
    long long count;
    if (!args.empty() && (!SimControl::number(args[0], 1, kMaxModems, count) || !setModems(int(count))))
        return SimControl::error("bad count");
    std::string out = "count=" + std::to_string(count_) + " allocated=";
    std::string sep;
    for (int m : allocated()) {
        out += sep + std::to_string(m);
        sep = " ";
    }
    return out;
}

std::string SimModem::cmdState(const Words& args) {
    long long number;
    if (!SimControl::number(args[0], 0, kMaxModems - 1, number)) return SimControl::error("bad modem");
    const Modem& m = modem(int(number));
    std::string dmp;
    for (const auto& p : m.dmp) dmp += (dmp.empty() ? "" : ",") + std::to_string(p.first) + ":" + std::to_string(p.second);
    return std::string("allocated=") + (m.holder ? "yes" : "no") + " ddm=" + std::to_string(m.ddm) +
           " dmp=" + dmp + " resets=" + std::to_string(m.resets) + " call=" + m.call;
}
