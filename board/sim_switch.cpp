#include "board/sim_switch.h"

#include <errno.h>

#include "board/hal_driver.h"
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
    r.value = static_cast<int32_t>(byteOf(r.channel));
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

unsigned SimSwitch::byteOf(int channel) const {
    // Every hop of a loop-free chain visits a distinct channel.
    for (size_t hops = 0; hops <= channels_.size(); ++hops) {
        const Channel* c = find(channel);
        if (!c) return kIdleBus;
        if (c->kind == Channel::Constant) return c->constant;
        if (c->kind == Channel::Disabled)
            return c->carried < 0 ? kIdleBus : static_cast<unsigned>(c->carried);
        channel = c->source;
    }
    return kIdleBus;
}
