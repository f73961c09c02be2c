#include "hardware/spi_ctrl.h"

#include <errno.h>
#include <fcntl.h>

#include <iostream>

#include "board/board_io.h"
#include "runtime/singleton.h"

namespace {

// Set-up registers of a line channel and what initialisation writes there.
const uint8_t kSetup = 48;
const uint8_t kSetup2 = 52;
struct RegisterValue {
    uint8_t address;
    uint8_t value;
};
const RegisterValue kInitSequence[] = {
    {Hal::kSpiEnable, Hal::kSpiDisabled}, {kSetup, 8}, {Hal::kSpiClock, Hal::kSpiClockSlave},
    {kSetup2, 96}, {53, 0}, {54, 0}, {55, 0},
};

bool validChannel(int channel) {
    return channel >= 0 && static_cast<unsigned>(channel) < spiCtrl::kChannels;
}

}  // namespace

spiCtrl* spiCtrl::instance() {
    return &Singleton<spiCtrl>::get();
}

spiCtrl::spiCtrl() {
    init_device_and_channels();
}

spiCtrl::~spiCtrl() {
    if (!fd) return;
    timer.reset();
    for (unsigned c = 0; c < kChannels; ++c) disable_channel(static_cast<int>(c));
    clock(-1);
    fd.close();
}

void spiCtrl::OnConnect() {
    if (fd && spiPresent) timer.set(kPollMs, &spiCtrl::status, this);
}

void spiCtrl::init_device_and_channels() {
    if (fd || !spiPresent) return;
    std::clog << "spi: try init" << std::endl;
    int d = boardIo().open(Hal::kDevice, O_RDWR | O_CLOEXEC);
    if (d < 0) {
        std::clog << "spi: /dev/hal open fail" << std::endl;
        return;
    }
    fd = d;
    for (unsigned c = 0; c < kChannels; ++c) {
        init_channel(static_cast<int>(c));
        enable_channel(static_cast<int>(c));
    }
}

bool spiCtrl::request(unsigned long code, Hal::SpiRegister& r, int& result) {
    errno = 0;
    result = boardIo().ioctl(fd.get(), code, &r);
    if (result != -1) return true;
    if (errno != ENODEV) return false;
    // The switch driver has no SPI part: nothing more to do, ever.
    spiPresent = false;
    timer.reset();
    std::clog << "spi: hal without spi" << std::endl;
    return false;
}

void spiCtrl::write(unsigned channel, unsigned address, unsigned value) {
    if (!fd || !spiPresent) return;
    Hal::SpiRegister r{static_cast<uint8_t>(channel), static_cast<uint8_t>(address),
                       static_cast<uint8_t>(value)};
    int result;
    if (request(Hal::kSpiWrite, r, result) || !spiPresent) return;
    std::clog << "spi: write error: channel=" << channel << " addr=" << address
              << " data=" << value << std::endl;
}

int spiCtrl::readRegister(unsigned channel, unsigned address) {
    if (!fd || !spiPresent) return -1;
    Hal::SpiRegister r{static_cast<uint8_t>(channel), static_cast<uint8_t>(address), 0xFF};
    int result;
    if (request(Hal::kSpiRead, r, result)) return result & 0xFF;
    if (spiPresent)
        std::clog << "spi: read error: channel=" << channel << " addr=" << address << std::endl;
    return -1;
}

unsigned spiCtrl::read(unsigned channel, unsigned address) {
    int value = readRegister(channel, address);
    return value < 0 ? 0 : static_cast<unsigned>(value);
}

bool spiCtrl::ready(bool valid, int channel, const char* bad) {
    if (!spiPresent) return false;
    if (!valid) {
        std::clog << bad << channel << std::endl;
        return false;
    }
    init_device_and_channels();
    return spiPresent;
}

void spiCtrl::init_channel(int channel) {
    if (!ready(validChannel(channel), channel, "spi: bad channel for init ")) return;
    std::clog << "spi: init channel " << channel << std::endl;
    for (const RegisterValue& r : kInitSequence)
        write(static_cast<unsigned>(channel), r.address, r.value);
}

void spiCtrl::enable_channel(int channel) {
    if (!ready(validChannel(channel), channel, "spi: bad channel for enable ")) return;
    std::clog << "spi: enable channel " << channel << std::endl;
    write(static_cast<unsigned>(channel), Hal::kSpiEnable, 0);
}

void spiCtrl::disable_channel(int channel) {
    if (!ready(validChannel(channel), channel, "spi: bad channel for disable ")) return;
    std::clog << "spi: disable channel " << channel << std::endl;
    write(static_cast<unsigned>(channel), Hal::kSpiEnable, Hal::kSpiDisabled);
}

void spiCtrl::clock(int channel) {
    // -1 is valid here: no channel is master.
    bool valid = channel == -1 || validChannel(channel);
    if (!ready(valid, channel, "spi: bad channel for set clock master ")) return;
    if (channel == -1)
        std::clog << "spi: clock master disabled" << std::endl;
    else
        std::clog << "spi: set clock master on channel " << channel << std::endl;
    for (unsigned c = 0; c < kChannels; ++c) write(c, Hal::kSpiClock, Hal::kSpiClockSlave);
    if (channel != -1) write(static_cast<unsigned>(channel), Hal::kSpiClock, Hal::kSpiClockMaster);
}

ACP::TrunkState::NamedNumber spiCtrl::lineState(unsigned status) {
    if (!(status & Hal::kSpiStatusCarrier)) return ACP::TrunkState::lossCarrier;
    if (!(status & Hal::kSpiStatusAligned)) return ACP::TrunkState::lossBF;
    switch (status & Hal::kSpiStatusAlarmBits) {
        case 0x80:
            return ACP::TrunkState::rai;
        case Hal::kSpiStatusAlarmBits:
            return ACP::TrunkState::normal;
        default:
            return ACP::TrunkState::ais;
    }
}

unsigned spiCtrl::slips(unsigned channel, unsigned status) {
    bool slip = status & Hal::kSpiStatusSlip;
    bool fresh = slip && !slipLatch[channel];
    slipLatch[channel] = slip;
    return fresh ? 1 : 0;
}

void spiCtrl::sendStatus(unsigned channel, int status) {
    LGCP::Signal signal;
    ACP::TrunkStatus& s = signal.set_trunkStatus();
    s.set_trunk(static_cast<int>(channel));
    // A status that could not be read says nothing about the line.
    if (status < 0) {
        s.set_state(ACP::TrunkState::unknown);
        s.set_slips(0);
    } else {
        s.set_state(lineState(static_cast<unsigned>(status)));
        s.set_slips(static_cast<int>(slips(channel, static_cast<unsigned>(status))));
    }
    s.set_lossBF(0);
    s.set_lossCarrier(0);
    s.set_lossAIS(0);
    s.set_lossRAI(0);
    s.set_type(ACP::TrunkType::bri);
    SendSignal(signal);
}

void spiCtrl::status() {
    for (unsigned c = 0; c < kChannels && spiPresent; ++c) {
        int value = readRegister(c, Hal::kSpiStatus);
        // An ENODEV in the read has just turned the service off.
        if (spiPresent) sendStatus(c, value);
    }
    if (spiPresent) timer.set(kPollMs, &spiCtrl::status, this);
}
