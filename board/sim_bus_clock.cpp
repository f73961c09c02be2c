#include "board/sim_bus_clock.h"

#include <errno.h>

#include <cstring>

#include "board/sim_control.h"

std::vector<unsigned long> SimBusClock::requests() const {
    return {Hal::HW_CLOCK_SELECT};
}

const char* SimBusClock::requestName(unsigned long request) const {
    return request == Hal::HW_CLOCK_SELECT ? "clock-select" : nullptr;
}

int SimBusClock::onRequest(SimHandle&, unsigned long, void* arg) {
    Hal::ClockSelect r;
    std::memcpy(&r, arg, sizeof r);
    if (r.source < 0 || r.source >= Hal::kClockSources) {
        errno = EINVAL;
        return -1;
    }
    source_ = r.source;
    ++selects_;
    if (history_.size() == kHistory) history_.pop_front();
    history_.push_back(r.source);
    return 0;
}

std::string SimBusClock::control(const std::vector<std::string>& words) {
    if (!words.empty()) return SimControl::error("unknown command " + words[0]);
    std::string out = "source " + std::to_string(source_) + " " + Hal::kClockSourceNames[source_] +
                      " selects " + std::to_string(selects_) + " history";
    for (int32_t s : history_) out += " " + std::to_string(s);
    return out;
}
