#include "board/sim_switch.h"

#include <errno.h>
#include <stdlib.h>

#include <cstring>
#include <limits>

#include "board/hal_driver.h"
#include "board/sim_control.h"
#include "board/sim_record.h"

namespace {

int answer(bool done) {
    if (done) return 0;
    errno = EINVAL;
    return -1;
}

}  // namespace

std::vector<unsigned long> SimSwitch::requests() const {
    return {Hal::kMuxConnect, Hal::kMuxDisable, Hal::kMuxWrite, Hal::kMuxRead};
}

int SimSwitch::onRequest(SimHandle&, unsigned long request, void* arg) {
    switch (request) {
        case Hal::kMuxConnect:
            return onConnect(arg);
        case Hal::kMuxDisable:
            return onDisable(arg);
        case Hal::kMuxWrite:
            return onWrite(arg);
        case Hal::kMuxRead:
            return onRead(arg);
    }
    errno = ENOTTY;
    return -1;
}

int SimSwitch::onConnect(void* arg) {
    auto r = loadRecord<Hal::MuxConnect>(arg);
    return answer(connect(r.output, r.source));
}

int SimSwitch::onDisable(void* arg) {
    return answer(disable(loadRecord<Hal::MuxChannel>(arg).channel));
}

int SimSwitch::onWrite(void* arg) {
    auto r = loadRecord<Hal::MuxByte>(arg);
    return answer(r.value >= 0 && write(r.channel, static_cast<unsigned>(r.value)));
}

int SimSwitch::onRead(void* arg) {
    auto r = loadRecord<Hal::MuxByte>(arg);
    if (r.channel < 0) return answer(false);
    r.value = static_cast<int32_t>(readback(r.channel));
    storeRecord(arg, r);
    return 0;
}

bool SimSwitch::connect(int output, int source) {
    if (output < 0 || source < 0) return false;
    Channel& c = channels_[output];
    c.kind = Channel::Connected;
    c.source = source;
    return true;
}

bool SimSwitch::disable(int output) {
    if (output < 0) return false;
    channels_[output].kind = Channel::Disabled;
    return true;
}

bool SimSwitch::write(int channel, unsigned value) {
    if (channel < 0 || value > 0xFF) return false;
    Channel& c = channels_[channel];
    c.kind = Channel::Constant;
    c.constant = value;
    return true;
}

void SimSwitch::carry(int channel, uint8_t byte) {
    if (channel >= 0) channels_[channel].carried = byte;
}

const SimSwitch::Channel* SimSwitch::find(int channel) const {
    auto it = channels_.find(channel);
    return it == channels_.end() ? nullptr : &it->second;
}

int SimSwitch::sourceOf(int output) const {
    const Channel* c = find(output);
    return c && c->kind == Channel::Connected ? c->source : -1;
}

int SimSwitch::constantOf(int channel) const {
    const Channel* c = find(channel);
    return c && c->kind == Channel::Constant ? static_cast<int>(c->constant) : -1;
}

bool SimSwitch::isDisabled(int output) const {
    const Channel* c = find(output);
    return !c || c->kind == Channel::Disabled;
}

unsigned SimSwitch::arriving(int channel) const {
    const Channel* c = find(channel);
    return !c || c->carried < 0 ? kIdleBus : static_cast<unsigned>(c->carried);
}

unsigned SimSwitch::byteOf(int channel) const {
    // Every hop of a loop-free chain visits a distinct bus channel.
    for (size_t hops = 0; hops <= channels_.size(); ++hops) {
        const Channel* c = find(channel);
        if (!c || c->kind == Channel::Disabled) return arriving(channel);
        if (c->kind == Channel::Constant) return c->constant;
        // A port's line, not the switch, puts on it what a connection takes.
        if (c->source < Hal::kBusFirst) return arriving(c->source);
        channel = c->source;
    }
    return kIdleBus;
}

void SimSwitch::damage(int channel, uint8_t mask) {
    if (channel < 0) return;
    if (mask)
        damaged_[channel] = mask;
    else
        damaged_.erase(channel);
}

unsigned SimSwitch::readback(int channel) const {
    auto it = damaged_.find(channel);
    return byteOf(channel) ^ (it == damaged_.end() ? 0U : it->second);
}

const char* SimSwitch::requestName(unsigned long request) const {
    switch (request) {
        case Hal::kMuxConnect:
            return "connect";
        case Hal::kMuxDisable:
            return "disable";
        case Hal::kMuxWrite:
            return "write-byte";
        case Hal::kMuxRead:
            return "read-byte";
    }
    return nullptr;
}

namespace {

const long long kMaxChannel = std::numeric_limits<int32_t>::max();

}  // namespace

std::string SimSwitch::control(const std::vector<std::string>& words) {
    static const SimControl::Command<SimSwitch> table[] = {
        {"read", 1, 1, &SimSwitch::cmdRead},       {"carry", 2, 2, &SimSwitch::cmdCarry},
        {"pattern", 4, 4, &SimSwitch::cmdPattern}, {"mismatch", 1, 2, &SimSwitch::cmdMismatch},
        {"clear", 0, 0, &SimSwitch::cmdClear},
    };
    return SimControl::dispatch(*this, table, words);
}

std::string SimSwitch::cmdRead(const Words& args) {
    long long channel;
    if (!SimControl::number(args[0], 0, kMaxChannel, channel))
        return SimControl::error("bad channel");
    return SimControl::hex(readback(static_cast<int>(channel)));
}

std::string SimSwitch::cmdCarry(const Words& args) {
    long long channel, byte;
    if (!SimControl::number(args[0], 0, kMaxChannel, channel))
        return SimControl::error("bad channel");
    if (!SimControl::number(args[1], 0, 0xFF, byte)) return SimControl::error("bad byte");
    carry(static_cast<int>(channel), static_cast<uint8_t>(byte));
    return "ok";
}

std::string SimSwitch::cmdPattern(const Words& args) {
    long long bus, slot, count, seed;
    if (!SimControl::number(args[0], 0, Hal::kBuses - 1, bus)) return SimControl::error("bad bus");
    if (!SimControl::number(args[1], 0, Hal::kBusTimeslots - 1, slot) ||
        !SimControl::number(args[2], 0, Hal::kBusTimeslots - slot, count))
        return SimControl::error("bad time slots");
    if (!SimControl::number(args[3], 0, std::numeric_limits<unsigned>::max(), seed))
        return SimControl::error("bad seed");
    // A generator of its own: the board runs inside the daemon's process and
    // must not disturb the daemon's srandom()/random() sequence.
    char state[128];
    random_data gen;
    std::memset(&gen, 0, sizeof gen);
    initstate_r(static_cast<unsigned>(seed), state, sizeof state, &gen);
    int first = Hal::kBusFirst + static_cast<int>(bus * Hal::kBusTimeslots + slot);
    for (int i = 0; i < count; ++i) {
        int32_t next;
        random_r(&gen, &next);
        carry(first + i, static_cast<uint8_t>(next & 0xFF));
    }
    return "ok";
}

std::string SimSwitch::cmdMismatch(const Words& args) {
    long long channel, mask = 0xFF;
    if (!SimControl::number(args[0], 0, kMaxChannel, channel))
        return SimControl::error("bad channel");
    if (args.size() > 1 && !SimControl::number(args[1], 1, 0xFF, mask))
        return SimControl::error("bad mask");
    damage(static_cast<int>(channel), static_cast<uint8_t>(mask));
    return "ok";
}

std::string SimSwitch::cmdClear(const Words&) {
    damaged_.clear();
    return "ok";
}
