#include "board/sim_cas.h"

#include <errno.h>
#include <sys/socket.h>

#include <cstring>
#include <limits>

#include "board/sim_control.h"
#include "board/sim_words.h"

namespace {

const size_t kRawLimit = 64;

bool hexBytes(const std::string& word, std::vector<uint8_t>& out) {
    return !word.empty() && word.size() / 2 <= kRawLimit && SimWords::bytes(word, out);
}

}  // namespace

SimCas::SimCas()
    : SimRequestModel(kPath, SOCK_SEQPACKET,
                      {{E1::kCasOpen, "cas-open", true},
                       {E1::kCasClose, "cas-close", true},
                       {E1::kCasSet, "set", false},
                       {E1::kCasGet, "get", false},
                       {E1::kCasEnable, "enable", false}}) {}

bool SimCas::casChannel(uint32_t trunk, uint32_t timeslot) {
    return trunk < E1::kTrunks && timeslot < E1::kTimeslots && timeslot != 0 && timeslot != 16;
}

int SimCas::check(const SimHandle& h, uint32_t trunk, uint32_t timeslot) const {
    if (!casChannel(trunk, timeslot)) return EINVAL;
    const SimHandle* holder = trunks_[trunk].holder;
    if (!holder) return ENXIO;
    return holder == &h ? 0 : EBUSY;
}

int SimCas::onValue(SimHandle& h, unsigned long request, long arg) {
    return request == E1::kCasOpen ? openTrunk(h, arg) : closeTrunk(h, arg);
}

int SimCas::openTrunk(SimHandle& h, long trunk) {
    if (trunk < 0 || trunk >= static_cast<long>(E1::kTrunks)) return simRefuse(EINVAL);
    Trunk& t = trunks_[trunk];
    if (t.holder && t.holder != &h) return simRefuse(EBUSY);
    t.holder = &h;
    return 0;
}

int SimCas::closeTrunk(SimHandle& h, long trunk) {
    if (trunk < 0 || trunk >= static_cast<long>(E1::kTrunks)) return simRefuse(EINVAL);
    Trunk& t = trunks_[trunk];
    if (!t.holder) return simRefuse(ENXIO);
    if (t.holder != &h) return simRefuse(EBUSY);
    release(t);
    return 0;
}

void SimCas::release(Trunk& t) {
    t.holder = nullptr;
    for (Channel& c : t.channels) c.enabled = false;
}

void SimCas::onClose(SimHandle& h) {
    for (Trunk& t : trunks_)
        if (t.holder == &h) release(t);
}

int SimCas::onRecord(SimHandle& h, unsigned long request, void* arg) {
    if (request == E1::kCasEnable) {
        E1::CasChannelRecord r;
        std::memcpy(&r, arg, sizeof r);
        if (int err = check(h, r.cas.trunk, r.cas.timeslot)) return simRefuse(err);
        if (r.disable > 1 || r.cas.tx > E1::kCasBitsMask) return simRefuse(EINVAL);
        Channel& c = trunks_[r.cas.trunk].channels[r.cas.timeslot];
        c.enabled = r.disable == 0;
        c.tx = r.cas.tx;
        return 0;
    }
    E1::CasRecord r;
    std::memcpy(&r, arg, sizeof r);
    if (int err = check(h, r.trunk, r.timeslot)) return simRefuse(err);
    Channel& c = trunks_[r.trunk].channels[r.timeslot];
    if (request == E1::kCasSet) {
        if (r.tx > E1::kCasBitsMask) return simRefuse(EINVAL);
        c.tx = r.tx;
        return 0;
    }
    r.rx = c.rx;
    r.tx = c.tx;
    std::memcpy(arg, &r, sizeof r);
    return 0;
}

std::string SimCas::lineBits(unsigned trunk, unsigned timeslot, uint8_t rx) {
    if (!casChannel(trunk, timeslot)) return SimControl::error("no CAS channel there");
    if (rx > E1::kCasBitsMask) return SimControl::error("bad bits");
    Trunk& t = trunks_[trunk];
    Channel& c = t.channels[timeslot];
    c.rx = rx;
    if (!t.holder || !c.enabled) return "held";
    E1::CasRecord r{trunk, timeslot, c.rx, c.tx, {0, 0}};
    return emit(*t.holder, &r, sizeof r) ? "sent" : "dropped";
}

size_t SimCas::emitToAll(const void* data, size_t len) {
    size_t sent = 0;
    for (SimHandle* h : handles()) sent += emit(*h, data, len);
    return sent;
}

std::string SimCas::control(const std::vector<std::string>& words) {
    static const SimControl::Command<SimCas> table[] = {
        {"event", 3, 3, &SimCas::cmdEvent},     {"record", 4, 4, &SimCas::cmdRecord},
        {"raw", 1, 1, &SimCas::cmdRaw},         {"trunk", 1, 1, &SimCas::cmdTrunk},
        {"channel", 2, 2, &SimCas::cmdChannel}, {"hangup", 0, 0, &SimCas::cmdHangup},
        {"log", 0, 1, &SimCas::logCommand},
    };
    return SimControl::dispatch(*this, table, words);
}

std::string SimCas::cmdEvent(const Words& args) {
    long long trunk, slot, rx;
    if (!SimControl::number(args[0], 0, E1::kTrunks - 1, trunk) ||
        !SimControl::number(args[1], 0, E1::kTimeslots - 1, slot) ||
        !SimControl::number(args[2], 0, E1::kCasBitsMask, rx))
        return SimControl::error("bad event");
    return lineBits(static_cast<unsigned>(trunk), static_cast<unsigned>(slot),
                    static_cast<uint8_t>(rx));
}

std::string SimCas::cmdRecord(const Words& args) {
    const long long u32 = std::numeric_limits<uint32_t>::max();
    long long trunk, slot, rx, tx;
    if (!SimControl::number(args[0], 0, u32, trunk) || !SimControl::number(args[1], 0, u32, slot) ||
        !SimControl::number(args[2], 0, 0xFF, rx) || !SimControl::number(args[3], 0, 0xFF, tx))
        return SimControl::error("bad record");
    E1::CasRecord r{static_cast<uint32_t>(trunk),
                    static_cast<uint32_t>(slot),
                    static_cast<uint8_t>(rx),
                    static_cast<uint8_t>(tx),
                    {0, 0}};
    return "sent " + std::to_string(emitToAll(&r, sizeof r));
}

std::string SimCas::cmdRaw(const Words& args) {
    std::vector<uint8_t> bytes;
    if (!hexBytes(args[0], bytes)) return SimControl::error("bad bytes");
    return "sent " + std::to_string(emitToAll(bytes.data(), bytes.size()));
}

std::string SimCas::cmdTrunk(const Words& args) {
    long long trunk;
    if (!SimControl::number(args[0], 0, E1::kTrunks - 1, trunk))
        return SimControl::error("bad trunk");
    const Trunk& t = trunks_[trunk];
    std::string out = "trunk " + std::to_string(trunk);
    if (!t.holder) return out + " closed";
    out += " open channels";
    for (unsigned s = 0; s < E1::kTimeslots; ++s)
        if (t.channels[s].enabled) out += " " + std::to_string(s);
    return out;
}

std::string SimCas::cmdChannel(const Words& args) {
    long long trunk, slot;
    if (!SimControl::number(args[0], 0, E1::kTrunks - 1, trunk) ||
        !SimControl::number(args[1], 0, E1::kTimeslots - 1, slot) ||
        !casChannel(static_cast<uint32_t>(trunk), static_cast<uint32_t>(slot)))
        return SimControl::error("no CAS channel there");
    const Channel& c = trunks_[trunk].channels[slot];
    return "trunk " + std::to_string(trunk) + " timeslot " + std::to_string(slot) +
           (c.enabled ? " enabled" : " disabled") + " rx " + std::to_string(c.rx) + " tx " +
           std::to_string(c.tx);
}

std::string SimCas::cmdHangup(const Words&) {
    for (SimHandle* h : handles()) {
        ::shutdown(h->peer, SHUT_RDWR);
        onClose(*h);
    }
    return "ok";
}
