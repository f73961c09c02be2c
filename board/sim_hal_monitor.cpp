#include "board/sim_hal_monitor.h"

#include "board/sim_control.h"

std::vector<unsigned long> SimHalMonitor::requests() const {
    return {Hal::kLedWrite, Hal::kDipRead, Hal::kPowerRead};
}

const char* SimHalMonitor::requestName(unsigned long request) const {
    if (request == Hal::kLedWrite) return "led-write";
    if (request == Hal::kDipRead) return "dip-read";
    return request == Hal::kPowerRead ? "power-read" : nullptr;
}

// The argument is the caller's byte: written back for the reads, taken for
// the LED write.
int SimHalMonitor::onRequest(SimHandle&, unsigned long request, void* arg) {
    uint8_t* byte = static_cast<uint8_t*>(arg);
    if (request == Hal::kLedWrite) {
        leds_ = *byte;
        ++ledWrites_;
        return 0;
    }
    *byte = request == Hal::kDipRead ? dip_ : power_;
    return 0;
}

std::string SimHalMonitor::control(const std::vector<std::string>& words) {
    static const SimControl::Command<SimHalMonitor> table[] = {
        {"dip", 1, 1, &SimHalMonitor::cmdDip},
        {"power", 1, 1, &SimHalMonitor::cmdPower},
        {"leds", 0, 0, &SimHalMonitor::cmdLeds},
    };
    if (words.empty())
        return "dip " + SimControl::hex(dip_) + " power " + SimControl::hex(power_) + " leds " +
               cmdLeds(words);
    return SimControl::dispatch(*this, table, words);
}

bool SimHalMonitor::byteWord(const std::string& word, uint8_t& out) {
    long long v;
    if (!SimControl::number(word, 0, 0xFF, v)) return false;
    out = static_cast<uint8_t>(v);
    return true;
}

std::string SimHalMonitor::cmdDip(const Words& args) {
    if (!byteWord(args[0], dip_)) return SimControl::error("bad byte");
    return SimControl::hex(dip_);
}

std::string SimHalMonitor::cmdPower(const Words& args) {
    if (!byteWord(args[0], power_)) return SimControl::error("bad byte");
    return SimControl::hex(power_);
}

std::string SimHalMonitor::cmdLeds(const Words&) {
    return SimControl::hex(leds_) + " writes " + std::to_string(ledWrites_);
}
