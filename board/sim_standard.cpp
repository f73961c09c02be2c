#include <memory>

#include "board/sim_board.h"
#include "board/sim_hal.h"
#include "board/sim_watchdog.h"

void installStandardDevices(SimBoard& board) {
    board.add(std::unique_ptr<SimDevice>(new SimWatchdog));
    board.add(std::unique_ptr<SimDevice>(new SimHal));
}
