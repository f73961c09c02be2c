#ifndef KORVAND_BOARD_SIM_SPI_H
#define KORVAND_BOARD_SIM_SPI_H

#include <cstdint>
#include <string>
#include <vector>

#include "board/hal_driver.h"
#include "board/sim_hal.h"

// The SPI line interface part of "/dev/hal": eight BRI line channels, each
// with a bank of 256 8-bit registers that the register write and read
// requests reach. Register 51 is the line status, read only, and shows the
// line state the model was given. At power-up every register is 0 except
// the enable register 50, which holds 128 (channel disabled). On a board
// without the SPI part both requests fail with ENODEV. A channel above 7 or
// a write to the status register is refused with EINVAL.
//
// Control commands, "/dev/hal spi <words>":
//   (none)                       "present" or "absent"
//   present | absent             fits or removes the SPI part
//   line <channel> <state>       the line's status register: a state name
//                                (normal 0xc5, rai 0x85, ais 0x45, lossBF
//                                0x01, lossCarrier 0x00; the slip bit is
//                                kept) or the register's byte itself
//   slip <channel> on|off        the slip bit (5) of the status register
//   channel <channel>            what the daemon set up:
//                                "channel 3 enabled master status 0xc5"
//                                (enabled: register 50 is 0; master:
//                                register 87 is 56)
//   reg <channel> <address>      one register: "0x38"
//   clock                        the clock master channels: "master 3" or
//                                "master none"
//
// The standard board fits the SPI part unless the environment variable
// KORVAND_SIM_SPI is "absent" when it is built.
class SimSpi : public SimHalFamily {
public:
    // Status register values of the line states.
    static constexpr uint8_t kLineNormal =
        Hal::kSpiStatusAlarmBits | Hal::kSpiStatusAligned | Hal::kSpiStatusCarrier;
    static constexpr uint8_t kLineRai = 0x80 | Hal::kSpiStatusAligned | Hal::kSpiStatusCarrier;
    static constexpr uint8_t kLineAis = 0x40 | Hal::kSpiStatusAligned | Hal::kSpiStatusCarrier;
    static constexpr uint8_t kLineLossBF = Hal::kSpiStatusCarrier;
    static constexpr uint8_t kLineLossCarrier = 0x00;

    explicit SimSpi(bool present = true);

    // False when KORVAND_SIM_SPI is "absent".
    static bool presentFromEnvironment();

    std::vector<unsigned long> requests() const override;
    int onRequest(SimHandle& h, unsigned long request, void* arg) override;
    const char* controlWord() const override { return "spi"; }
    std::string control(const std::vector<std::string>& words) override;
    const char* requestName(unsigned long request) const override;

    bool present() const { return present_; }
    void setPresent(bool present) { present_ = present; }
    // Sets the line status register of `channel` (0 to 7).
    void setLine(unsigned channel, uint8_t status);
    // A register as a read request returns it.
    uint8_t reg(unsigned channel, uint8_t address) const;

private:
    using Words = std::vector<std::string>;
    static bool channelWord(const std::string& word, unsigned& channel);
    std::string cmdPresent(const Words& args);
    std::string cmdAbsent(const Words& args);
    std::string cmdLine(const Words& args);
    std::string cmdSlip(const Words& args);
    std::string cmdChannel(const Words& args);
    std::string cmdReg(const Words& args);
    std::string cmdClock(const Words& args);

    bool present_;
    uint8_t regs_[Hal::kSpiChannels][256];
};

#endif
