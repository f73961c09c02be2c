#ifndef KORVAND_BOARD_SIM_BUS_CLOCK_H
#define KORVAND_BOARD_SIM_BUS_CLOCK_H

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "board/hal_driver.h"
#include "board/sim_hal.h"

// The bus clock part of "/dev/hal": HW_CLOCK_SELECT makes the TDM bus clock
// follow one of the eight sources (Hal::kClockSourceNames). The board powers
// up in free run; a source outside 0 to 7 is refused with EINVAL.
//
// Control command, "/dev/hal clock": the source in use, how many selections
// the driver took and the last ones, oldest first:
//   "source 4 freerun selects 3 history 4 2 4"
class SimBusClock : public SimHalFamily {
public:
    static constexpr size_t kHistory = 16;

    std::vector<unsigned long> requests() const override;
    int onRequest(SimHandle& h, unsigned long request, void* arg) override;
    const char* controlWord() const override { return "clock"; }
    std::string control(const std::vector<std::string>& words) override;
    const char* requestName(unsigned long request) const override;

    int32_t source() const { return source_; }
    unsigned selects() const { return selects_; }
    const std::deque<int32_t>& history() const { return history_; }

private:
    int32_t source_ = Hal::kClockFreeRun;
    unsigned selects_ = 0;
    std::deque<int32_t> history_;
};

#endif
