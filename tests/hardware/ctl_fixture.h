#ifndef KORVAND_TESTS_HARDWARE_CTL_FIXTURE_H
#define KORVAND_TESTS_HARDWARE_CTL_FIXTURE_H

#include <string>
#include <vector>

#include "board/sim_bus_clock.h"
#include "board/sim_cas.h"
#include "board/sim_hal.h"
#include "board/sim_maintenance.h"
#include "board/sim_spi.h"
#include "board/sim_switch.h"
#include "hardware/bus_ctl.h"
#include "hardware/e1_ctl.h"
#include "hardware/hw_mux.h"
#include "hardware/hw_tests.h"
#include "hardware/spi_ctrl.h"
#include "tests/core/ctrl_fixture.h"
#include "tests/support/sim_scope.h"

// The board's control services bound to the control server in the daemon's
// order, on the standard simulated board, with a controller connected and
// its four trunk statuses of the connection received (the lines written
// meanwhile on the error stream are dropped).
class ControlServices : public ControlServer {
protected:
    void SetUp() override {
        bind(&hwTests);
        bind(&busCtl);
        bind(&e1);
        bind(&spi);
        ControlServer::SetUp();
        ASSERT_TRUE(pumpUntil([&] { return taker.connects == 1; }));
        ASSERT_TRUE(client.WaitFor(E1::kTrunks));
        err.clear();
    }
    // Lets `ms` pass on the test clock; the messages that came meanwhile.
    std::vector<std::string> wait(unsigned ms) {
        size_t before = client.Received().size();
        advanceAndPump(clock, ms, 100);
        // Events the board has reported already are read before the ping.
        pumpPasses(2);
        return barrier(before);
    }
    static std::string status(const char* type, int trunk, const char* state, int slips = 0,
                              int lossCarrier = 0) {
        return LgcpTexts::trunkStatus(type, trunk, state, slips, lossCarrier);
    }
    static std::vector<std::string> e1Statuses() { return LgcpTexts::e1Statuses(); }
    static std::string cas(int trunk, int timeslot, int rx, int tx) {
        return LgcpTexts::cas(trunk, timeslot, rx, tx);
    }
    static std::string success(int seq) { return LgcpTexts::success(seq); }
    static std::string error(int seq, const char* cause) { return LgcpTexts::failure(seq, cause); }

    SimScope sim;
    SimHal& hal = sim.model<SimHal>(SimHal::kPath);
    SimSwitch& sw = hal.switchPart();
    SimBusClock& busClock = *hal.family<SimBusClock>();
    SimSpi& spiPart = *hal.family<SimSpi>();
    SimMaintenance& maintenance = sim.model<SimMaintenance>(SimMaintenance::kPath);
    SimCas& casModel = sim.model<SimCas>(SimCas::kPath);
    HwMux mux;
    spiCtrl spi;
    HwTests hwTests{mux};
    BusCtl busCtl{&spi};
    E1Ctl e1;
};

#endif
