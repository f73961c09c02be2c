#ifndef KORVAND_HARDWARE_BUS_CTL_H
#define KORVAND_HARDWARE_BUS_CTL_H

#include "asn1/gen/lgcp.h"
#include "core/ctrl_server.h"
#include "runtime/fd.h"

class spiCtrl;

// Selects the source of the TDM bus clock through the switch device
// "/dev/hal": on the controller's `clockCfg`, and internal free run
// whenever a controller connects or is lost, so a board left by its
// controller never follows a line that may be gone. Clock control can be
// turned off for the life of the process.
class BusCtl : public CtrlSrv::Service {
public:
    // The one service of the process, created on first use.
    static BusCtl* instance();

    // `spi` drops its clock master when the switch device does not open;
    // null means spiCtrl::instance(), reached only then.
    explicit BusCtl(spiCtrl* spi = nullptr);
    ~BusCtl() override;

    void OnConnect() override { SetDefaultClock(); }
    void OnDisconnect() override { SetDefaultClock(); }
    // Takes `clockCfg`: refused `unsupported` while clock control is off;
    // a selection the driver refuses is answered with an error.
    bool OnCommand(const LGCP::Command& command) override;

    // For "--disable-clock": no default clock and no `clockCfg` from now on.
    void DisableControl();
    bool ControlEnabled() const { return enabled; }

    // Each gives 0, or the error number of the failed open or request.
    int SetClockSrc(const LGCP::ClockCfg& cfg);
    // Internal free run (source 4); nothing while clock control is off.
    int SetDefaultClock();
    int DrvSetClkSrc(int source);

private:
    bool IsOpened();

    Fd fd;
    bool enabled = true;
    spiCtrl* spi;
};

#endif
