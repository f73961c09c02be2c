#include "hardware/bus_ctl.h"

#include <errno.h>
#include <fcntl.h>

#include <iostream>

#include "board/board_io.h"
#include "board/hal_driver.h"
#include "hardware/spi_ctrl.h"
#include "runtime/singleton.h"

namespace {

const char* const kPrefix = "clkctl: ";
// The source selected when an external clock is not enabled.
const int kClockX3 = 5;

}  // namespace

BusCtl* BusCtl::instance() {
    return &Singleton<BusCtl>::get();
}

BusCtl::BusCtl(spiCtrl* spi) : spi(spi) {}

BusCtl::~BusCtl() {
    if (fd) fd.close();
}

void BusCtl::DisableControl() {
    std::clog << "clock control disabled." << std::endl;
    enabled = false;
}

bool BusCtl::IsOpened() {
    if (fd) return true;
    if (!enabled) return false;
    fd = boardIo().open(Hal::kDevice, O_RDWR | O_CLOEXEC);
    return bool(fd);
}

bool BusCtl::OnCommand(const LGCP::Command& command) {
    if (command.currentSelection() != LGCP::Command::e_clockCfg) return false;
    if (!enabled) {
        Error(LGCP::ErrorCause::unsupported);
        return true;
    }
    switch (SetClockSrc(command.get_clockCfg())) {
        case 0:
            Success();
            break;
        case EINVAL:  // a source the driver does not have
            Error(LGCP::ErrorCause::invalidParams);
            break;
        default:
            Error(LGCP::ErrorCause::internal);
            break;
    }
    return true;
}

int BusCtl::SetDefaultClock() {
    if (!enabled) return 0;
    LGCP::ClockCfg cfg;
    cfg.set_clkSel0(LGCP::ClkSel0::internal);
    cfg.set_bextEn(LGCP::BExtEn::disabled);
    cfg.set_source(-1);
    return SetClockSrc(cfg);
}

int BusCtl::SetClockSrc(const LGCP::ClockCfg& cfg) {
    if (!IsOpened()) {
        int err = enabled ? errno : EPERM;
        // Without the switch the SPI lines must not drive the clock either.
        (spi ? spi : spiCtrl::instance())->clock(-1);
        std::cerr << kPrefix << "set clock source fail: code 1." << std::endl;
        return err ? err : ENODEV;
    }
    std::cerr << kPrefix << "set clock source cmd: " << cfg << std::endl;
    if (cfg.get_clkSel0().getValue() == LGCP::ClkSel0::internal)
        return DrvSetClkSrc(Hal::kClockFreeRun);
    if (cfg.get_bextEn().getValue() == LGCP::BExtEn::disabled) return DrvSetClkSrc(kClockX3);
    int source = cfg.get_source().getValue();
    return source < 0 ? 0 : DrvSetClkSrc(source);
}

int BusCtl::DrvSetClkSrc(int source) {
    if (!fd) {
        std::cerr << kPrefix << "device open error" << std::endl;
        return ENODEV;
    }
    Hal::ClockSelect r{source};
    errno = 0;
    if (boardIo().ioctl(fd.get(), Hal::HW_CLOCK_SELECT, &r) < 0) {
        int err = errno ? errno : EIO;
        std::cerr << kPrefix << "HW_CLOCK_SELECT fail." << std::endl;
        return err;
    }
    std::cerr << kPrefix << "clock source = ";
    if (source >= 0 && source < Hal::kClockSources)
        std::cerr << Hal::kClockSourceNames[source];
    else
        std::cerr << source;
    std::cerr << std::endl;
    return 0;
}
