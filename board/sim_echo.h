#ifndef KORVAND_BOARD_SIM_ECHO_H
#define KORVAND_BOARD_SIM_ECHO_H

#include <cstdint>
#include <string>
#include <vector>

#include "board/sim_hal.h"

class SimSwitch;

// The echo-canceller modules behind the time-slot switch of "/dev/hal". A
// fitted canceller drives every channel of its bus (Hal::kEchoTimeslots
// channels from bus * Hal::kEchoTimeslots) with its output, which is the
// A-law silence byte while it has nothing to cancel; the channels of a bus
// without one read as the idle bus level. A read-byte request of the switch
// therefore tells a fitted bus from an empty one, as on the board.
//
// Control commands, "/dev/hal echo <words>":
//   (none)       the fitted buses, blank separated: "4 5"
//   fit <bus>    fits a canceller on the bus
class SimEchoCanceller : public SimHalFamily {
public:
    static constexpr uint8_t kSilence = 0xD5;

    explicit SimEchoCanceller(SimSwitch& sw) : switch_(sw) {}

    std::vector<unsigned long> requests() const override { return {}; }
    int onRequest(SimHandle& h, unsigned long request, void* arg) override;
    const char* controlWord() const override { return "echo"; }
    std::string control(const std::vector<std::string>& words) override;

    // False for a bus outside 0 to 15.
    bool fit(int bus);
    const std::vector<int>& fitted() const { return fitted_; }

private:
    SimSwitch& switch_;
    std::vector<int> fitted_;
};

#endif
