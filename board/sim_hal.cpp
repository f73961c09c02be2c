#include "board/sim_hal.h"

#include <errno.h>
#include <sys/socket.h>

#include <cstdlib>
#include <iostream>

#include "board/sim_control.h"
#include "board/sim_switch.h"

std::string SimHalFamily::control(const std::vector<std::string>& words) {
    return SimControl::error("unknown command " + (words.empty() ? std::string() : words[0]));
}

SimHal::SimHal() : SimDevice(kPath, SOCK_SEQPACKET) {
    switch_ = static_cast<SimSwitch*>(&add(std::unique_ptr<SimHalFamily>(new SimSwitch)));
    setLogLimit(kLogRequests);
}

SimHal::~SimHal() = default;

SimHalFamily& SimHal::add(std::unique_ptr<SimHalFamily> family) {
    for (unsigned long request : family->requests()) {
        if (!routes_.emplace(request, family.get()).second) {
            std::cerr << "sim hal: request 0x" << std::hex << request << " served twice"
                      << std::endl;
            std::abort();
        }
    }
    families_.push_back(std::move(family));
    return *families_.back();
}

SimHalFamily* SimHal::route(unsigned long request) const {
    auto it = routes_.find(request);
    return it == routes_.end() ? nullptr : it->second;
}

bool SimHal::routedByNumber(unsigned long request) const {
    return route(request) == switch_;
}

int SimHal::onIoctl(SimHandle& h, unsigned long request, void* arg) {
    SimHalFamily* f = route(request);
    if (!f) return SimDevice::onIoctl(h, request, arg);
    if (!arg) {
        errno = EFAULT;
        return -1;
    }
    return f->onRequest(h, request, arg);
}

int SimHal::onIoctlValue(SimHandle& h, unsigned long request, long arg) {
    if (!route(request)) return SimDevice::onIoctlValue(h, request, arg);
    errno = EFAULT;
    return -1;
}

std::string SimHal::control(const std::vector<std::string>& words) {
    if (!words.empty() && words[0] == "log") {
        return SimControl::log(*this, SimControl::tail(words, 1), [this](unsigned long request) {
            SimHalFamily* f = route(request);
            return f ? f->requestName(request) : nullptr;
        });
    }
    for (const auto& f : families_) {
        const char* word = f->controlWord();
        if (word && !words.empty() && words[0] == word)
            return f->control(SimControl::tail(words, 1));
    }
    return SimDevice::control(words);
}
