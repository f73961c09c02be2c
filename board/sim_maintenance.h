#ifndef KORVAND_BOARD_SIM_MAINTENANCE_H
#define KORVAND_BOARD_SIM_MAINTENANCE_H

#include <cstdint>
#include <string>
#include <vector>

#include "board/e1_driver.h"
#include "board/sim_request_model.h"

// The maintenance device "/dev/maintenance" of the four E1 framers. The
// trunk status request reports a framer's state and counters as the model
// holds them (settable by tests, any state number included, so a daemon can
// be shown a framer state it does not know); the transmit-clock mask and
// the clock source requests are kept for reading back. Requests refuse a
// trunk outside 0 to 3 and a mask with bits above the four trunks
// (EINVAL), and a missing status record (EFAULT).
//
// Control commands, "/dev/maintenance <words>":
//   framer <trunk> [<field> <value>]...   sets the given fields of a framer
//       and replies with its status, e.g. "trunk 2 state lossCarrier slips 0
//       lossBF 0 lossCarrier 1 lossAIS 0 lossRAI 0". Fields: state (a name:
//       normal, lossBF, lossCarrier, ais, rai, unknown, disabled; or any
//       32-bit number), slips, lossBF, lossCarrier, lossAIS, lossRAI
//       (counters). Nothing is set when one pair is bad.
//   tclk        the transmit-clock mask last written: "0x2", or "none"
//   source      the clock source last selected: "1", or "none"
//   log ...     the request log summary (SimControl::log); request names:
//               status, tclk, source
class SimMaintenance : public SimRequestModel {
public:
    static constexpr const char* kPath = E1::kMaintenanceDevice;

    struct Framer {
        int32_t state = E1::kStateNormal;
        uint32_t slips = 0;
        uint32_t lossBF = 0;
        uint32_t lossCarrier = 0;
        uint32_t lossAIS = 0;
        uint32_t lossRAI = 0;
    };

    SimMaintenance();

    // `trunk` below E1::kTrunks.
    Framer& framer(unsigned trunk) { return framers_[trunk]; }
    // -1 until the daemon wrote one.
    long transmitClockMask() const { return mask_; }
    long clockSource() const { return source_; }

    std::string control(const std::vector<std::string>& words) override;

protected:
    int onRecord(SimHandle& h, unsigned long request, void* arg) override;
    int onValue(SimHandle& h, unsigned long request, long arg) override;

private:
    using Words = std::vector<std::string>;
    std::string status(unsigned trunk) const;
    std::string cmdFramer(const Words& args);
    std::string cmdTclk(const Words& args);
    std::string cmdSource(const Words& args);

    Framer framers_[E1::kTrunks];
    long mask_ = -1;
    long source_ = -1;
};

#endif
