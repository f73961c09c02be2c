#include "board/sim_watchdog.h"

#include <errno.h>
#include <sys/socket.h>

SimWatchdog::SimWatchdog() : SimDevice(kPath, SOCK_SEQPACKET) {}

ssize_t SimWatchdog::onWrite(SimHandle&, int, const void* buf, size_t len) {
    std::string rec(static_cast<const char*>(buf), len);
    if (rec != "START" && rec != "PING" && rec != "STOP") {
        errno = EINVAL;
        return -1;
    }
    if (rec == "START") running_ = true;
    if (rec == "STOP") running_ = false;
    // A daemon pings once a second for as long as it runs: keep the newest.
    if (records_.size() >= kLogLimit) records_.erase(records_.begin());
    records_.push_back(rec);
    return static_cast<ssize_t>(len);
}

std::string SimWatchdog::control(const std::vector<std::string>& words) {
    if (words.size() != 1 || words[0] != "records") return SimDevice::control(words);
    std::string out;
    for (const std::string& r : records_) out += (out.empty() ? "" : " ") + r;
    return out;
}
