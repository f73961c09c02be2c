#include "board/sim_spi.h"

#include <errno.h>

#include <cstdlib>
#include <cstring>

#include "board/sim_control.h"

namespace {

struct LineState {
    const char* name;
    uint8_t status;
};
const LineState kLineStates[] = {
    {"normal", SimSpi::kLineNormal},
    {"rai", SimSpi::kLineRai},
    {"ais", SimSpi::kLineAis},
    {"lossBF", SimSpi::kLineLossBF},
    {"lossCarrier", SimSpi::kLineLossCarrier},
};

}  // namespace

SimSpi::SimSpi(bool present) : present_(present) {
    std::memset(regs_, 0, sizeof regs_);
    for (auto& bank : regs_) {
        bank[Hal::kSpiEnable] = Hal::kSpiDisabled;
        bank[Hal::kSpiStatus] = kLineNormal;
    }
}

bool SimSpi::presentFromEnvironment() {
    const char* spi = std::getenv("KORVAND_SIM_SPI");
    return !spi || std::strcmp(spi, "absent") != 0;
}

std::vector<unsigned long> SimSpi::requests() const {
    return {Hal::kSpiWrite, Hal::kSpiRead};
}

const char* SimSpi::requestName(unsigned long request) const {
    if (request == Hal::kSpiWrite) return "spi-write";
    return request == Hal::kSpiRead ? "spi-read" : nullptr;
}

int SimSpi::onRequest(SimHandle&, unsigned long request, void* arg) {
    if (!present_) {
        errno = ENODEV;
        return -1;
    }
    Hal::SpiRegister r;
    std::memcpy(&r, arg, sizeof r);
    bool write = request == Hal::kSpiWrite;
    if (r.channel >= Hal::kSpiChannels || (write && r.address == Hal::kSpiStatus)) {
        errno = EINVAL;
        return -1;
    }
    if (!write) return regs_[r.channel][r.address];
    regs_[r.channel][r.address] = r.value;
    return 0;
}

void SimSpi::setLine(unsigned channel, uint8_t status) {
    if (channel < Hal::kSpiChannels) regs_[channel][Hal::kSpiStatus] = status;
}

uint8_t SimSpi::reg(unsigned channel, uint8_t address) const {
    return channel < Hal::kSpiChannels ? regs_[channel][address] : 0;
}

std::string SimSpi::control(const std::vector<std::string>& words) {
    static const SimControl::Command<SimSpi> table[] = {
        {"present", 0, 0, &SimSpi::cmdPresent}, {"absent", 0, 0, &SimSpi::cmdAbsent},
        {"line", 2, 2, &SimSpi::cmdLine},       {"slip", 2, 2, &SimSpi::cmdSlip},
        {"channel", 1, 1, &SimSpi::cmdChannel}, {"reg", 2, 2, &SimSpi::cmdReg},
        {"clock", 0, 0, &SimSpi::cmdClock},
    };
    if (words.empty()) return present_ ? "present" : "absent";
    return SimControl::dispatch(*this, table, words);
}

bool SimSpi::channelWord(const std::string& word, unsigned& channel) {
    long long c;
    if (!SimControl::number(word, 0, Hal::kSpiChannels - 1, c)) return false;
    channel = static_cast<unsigned>(c);
    return true;
}

std::string SimSpi::cmdPresent(const Words&) {
    present_ = true;
    return "present";
}

std::string SimSpi::cmdAbsent(const Words&) {
    present_ = false;
    return "absent";
}

std::string SimSpi::cmdLine(const Words& args) {
    unsigned c;
    if (!channelWord(args[0], c)) return SimControl::error("bad channel");
    uint8_t& status = regs_[c][Hal::kSpiStatus];
    for (const LineState& s : kLineStates) {
        if (args[1] == s.name) {
            status = static_cast<uint8_t>(s.status | (status & Hal::kSpiStatusSlip));
            return SimControl::hex(status);
        }
    }
    long long byte;
    if (!SimControl::number(args[1], 0, 0xFF, byte)) return SimControl::error("bad line state");
    status = static_cast<uint8_t>(byte);
    return SimControl::hex(status);
}

std::string SimSpi::cmdSlip(const Words& args) {
    unsigned c;
    if (!channelWord(args[0], c)) return SimControl::error("bad channel");
    if (args[1] != "on" && args[1] != "off") return SimControl::error("slip is on or off");
    uint8_t& status = regs_[c][Hal::kSpiStatus];
    status = static_cast<uint8_t>(args[1] == "on" ? status | Hal::kSpiStatusSlip
                                                  : status & ~Hal::kSpiStatusSlip);
    return SimControl::hex(status);
}

std::string SimSpi::cmdChannel(const Words& args) {
    unsigned c;
    if (!channelWord(args[0], c)) return SimControl::error("bad channel");
    const uint8_t* bank = regs_[c];
    return "channel " + std::to_string(c) +
           (bank[Hal::kSpiEnable] == 0 ? " enabled" : " disabled") +
           (bank[Hal::kSpiClock] == Hal::kSpiClockMaster ? " master" : " slave") + " status " +
           SimControl::hex(bank[Hal::kSpiStatus]);
}

std::string SimSpi::cmdReg(const Words& args) {
    unsigned c;
    long long address;
    if (!channelWord(args[0], c)) return SimControl::error("bad channel");
    if (!SimControl::number(args[1], 0, 0xFF, address)) return SimControl::error("bad address");
    return SimControl::hex(regs_[c][address]);
}

std::string SimSpi::cmdClock(const Words&) {
    std::string out = "master";
    for (unsigned c = 0; c < Hal::kSpiChannels; ++c)
        if (regs_[c][Hal::kSpiClock] == Hal::kSpiClockMaster) out += " " + std::to_string(c);
    return out == "master" ? "master none" : out;
}
