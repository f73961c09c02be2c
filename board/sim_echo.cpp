#include "board/sim_echo.h"

#include <errno.h>

#include <algorithm>

#include "board/hal_driver.h"
#include "board/sim_control.h"
#include "board/sim_switch.h"

int SimEchoCanceller::onRequest(SimHandle&, unsigned long, void*) {
    errno = ENOTTY;
    return -1;
}

bool SimEchoCanceller::fit(int bus) {
    if (bus < 0 || bus >= Hal::kEchoBuses) return false;
    for (int slot = 0; slot < Hal::kEchoTimeslots; ++slot) switch_.carry(bus * Hal::kEchoTimeslots + slot, kSilence);
    if (std::find(fitted_.begin(), fitted_.end(), bus) == fitted_.end()) fitted_.push_back(bus);
    std::sort(fitted_.begin(), fitted_.end());
    return true;
}

std::string SimEchoCanceller::control(const std::vector<std::string>& words) {
    if (words.empty()) {
        std::string out;
        for (int bus : fitted_) out += (out.empty() ? "" : " ") + std::to_string(bus);
        return out;
    }
    long long bus;
    if (words[0] != "fit" || words.size() != 2) return SimControl::error("unknown command " + words[0]);
    if (!SimControl::number(words[1], 0, Hal::kEchoBuses - 1, bus)) return SimControl::error("bad bus");
    fit(int(bus));
    return "ok";
}
