#include <memory>

#include "board/sim_board.h"
#include "board/sim_hal.h"
#include "board/sim_mcc.h"
#include "board/sim_tone_dsp.h"
#include "board/sim_voice_dsp.h"
#include "board/sim_watchdog.h"

void installStandardDevices(SimBoard& board) {
    board.add(std::unique_ptr<SimDevice>(new SimWatchdog));
    board.add(std::unique_ptr<SimDevice>(new SimHal));
    board.add(std::unique_ptr<SimDevice>(new SimMcc));
    board.add(std::unique_ptr<SimDevice>(new SimToneDsp));
    board.add(std::unique_ptr<SimDevice>(new SimVoiceDsp));
}
