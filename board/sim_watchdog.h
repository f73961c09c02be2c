#ifndef KORVAND_BOARD_SIM_WATCHDOG_H
#define KORVAND_BOARD_SIM_WATCHDOG_H

#include <string>
#include <vector>

#include "board/sim_device.h"

// The watchdog "/dev/misc/gw-wd": it takes the records "START", "PING" and
// "STOP" and keeps the newest kLogLimit of them in order.
class SimWatchdog : public SimDevice {
public:
    static constexpr const char* kPath = "/dev/misc/gw-wd";

    SimWatchdog();
    ssize_t onWrite(SimHandle& h, int fd, const void* buf, size_t len) override;
    // "records": the records received so far, separated by blanks.
    std::string control(const std::vector<std::string>& words) override;

    const std::vector<std::string>& records() const { return records_; }
    bool started() const { return running_; }

private:
    std::vector<std::string> records_;
    bool running_ = false;
};

#endif
