#include <memory>

#include "board/sim_board.h"
#include "board/sim_bus_clock.h"
#include "board/sim_cas.h"
#include "board/sim_dsp_data.h"
#include "board/sim_echo.h"
#include "board/sim_hal.h"
#include "board/sim_hal_monitor.h"
#include "board/sim_maintenance.h"
#include "board/sim_mcc.h"
#include "board/sim_mixer.h"
#include "board/sim_modem.h"
#include "board/sim_net_if.h"
#include "board/sim_rtp.h"
#include "board/sim_rtp_ext.h"
#include "board/sim_spi.h"
#include "board/sim_tone_dsp.h"
#include "board/sim_voice.h"
#include "board/sim_voice_dsp.h"
#include "board/sim_watchdog.h"

namespace {

// Four E1 framers: three in sync (one has slipped a few times), trunk 2 has
// lost its signal.
void installE1(SimBoard& board) {
    auto& maintenance =
        static_cast<SimMaintenance&>(board.add(std::unique_ptr<SimDevice>(new SimMaintenance)));
    maintenance.framer(1).slips = 3;
    maintenance.framer(2).state = E1::kStateLossCarrier;
    maintenance.framer(2).lossCarrier = 1;
    board.add(std::unique_ptr<SimDevice>(new SimCas));
}

// The switch with the bus clock, the board monitoring part, echo cancellers
// on buses 4 and 5 and, unless KORVAND_SIM_SPI says it is absent, the SPI
// line interface of eight BRI lines: six in sync, the last two without a
// line plugged in.
void installHal(SimBoard& board) {
    auto& hal = static_cast<SimHal&>(board.add(std::unique_ptr<SimDevice>(new SimHal)));
    hal.add(std::unique_ptr<SimHalFamily>(new SimBusClock));
    hal.add(std::unique_ptr<SimHalFamily>(new SimHalMonitor));
    auto& echo = static_cast<SimEchoCanceller&>(
        hal.add(std::unique_ptr<SimHalFamily>(new SimEchoCanceller(hal.switchPart()))));
    echo.fit(4);
    echo.fit(5);
    auto& spi = static_cast<SimSpi&>(
        hal.add(std::unique_ptr<SimHalFamily>(new SimSpi(SimSpi::presentFromEnvironment()))));
    spi.setLine(6, SimSpi::kLineLossCarrier);
    spi.setLine(7, SimSpi::kLineLossCarrier);
}

}  // namespace

void installStandardDevices(SimBoard& board) {
    board.add(std::unique_ptr<SimDevice>(new SimWatchdog));
    installHal(board);
    installE1(board);
    board.add(std::unique_ptr<SimDevice>(new SimMcc));
    board.add(std::unique_ptr<SimDevice>(new SimDspData));
    board.add(std::unique_ptr<SimDevice>(new SimToneDsp));
    board.add(std::unique_ptr<SimDevice>(new SimVoiceDsp));
    board.add(std::unique_ptr<SimDevice>(new SimMixer));
    auto& rtp = static_cast<SimRtp&>(board.add(std::unique_ptr<SimDevice>(new SimRtp)));
    board.add(std::unique_ptr<SimDevice>(new SimRtpExt(rtp)));
    board.add(std::unique_ptr<SimDevice>(new SimVoice));
    board.add(std::unique_ptr<SimDevice>(new SimModem));
    board.add(std::unique_ptr<SimDevice>(new SimNetIf));
}
