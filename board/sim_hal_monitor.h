#ifndef KORVAND_BOARD_SIM_HAL_MONITOR_H
#define KORVAND_BOARD_SIM_HAL_MONITOR_H

#include <cstdint>
#include <string>
#include <vector>

#include "board/hal_driver.h"
#include "board/sim_hal.h"

// The board monitoring part of "/dev/hal": the DIP switch and the power
// supply state, each read as one byte, and the framer LEDs, written as one
// byte. At power-up the DIP switch reads 0, the power supply reads 2 (main
// supply) and every LED is off.
//
// Control commands, "/dev/hal monitor <words>":
//   (none)             "dip 0x0 power 0x2 leds 0x0 writes 0"
//   dip <byte>         sets what the DIP read returns
//   power <byte>       sets what the power read returns
//   leds               the last LED byte written and how many writes came:
//                      "0x15 writes 3"
class SimHalMonitor : public SimHalFamily {
public:
    static constexpr uint8_t kPowerMain = 2;

    std::vector<unsigned long> requests() const override;
    int onRequest(SimHandle& h, unsigned long request, void* arg) override;
    const char* controlWord() const override { return "monitor"; }
    std::string control(const std::vector<std::string>& words) override;
    const char* requestName(unsigned long request) const override;

    void setDip(uint8_t dip) { dip_ = dip; }
    void setPower(uint8_t power) { power_ = power; }
    uint8_t leds() const { return leds_; }
    unsigned ledWrites() const { return ledWrites_; }

private:
    using Words = std::vector<std::string>;
    std::string cmdDip(const Words& args);
    std::string cmdPower(const Words& args);
    std::string cmdLeds(const Words& args);
    static bool byteWord(const std::string& word, uint8_t& out);

    uint8_t dip_ = 0;
    uint8_t power_ = kPowerMain;
    uint8_t leds_ = 0;
    unsigned ledWrites_ = 0;
};

#endif
