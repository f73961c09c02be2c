#include "monitoring/net_if_data_holder.h"

#include <errno.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "core/trace_ctl.h"
#include "monitoring/net_if_probe.h"

namespace {

void traceFailure(const char* what, int err) {
    if (!traces.internal) return;
    std::clog << what << " errno=\"" << std::strerror(err) << "\"" << std::endl;
}

}  // namespace

NetIfDataHolder::NetIfDataHolder(int index, const std::string& name)
    : running(-1), operStatus(2), adminStatus(2), ifIndex(index), ifName(name) {}

bool NetIfDataHolder::probe(int& sample) const {
    NetIfProbe& p = netIfProbe();
    int fd = p.open();
    if (fd < 0) {
        traceFailure("Error open socket: ", errno);
        return false;
    }
    ifreq req;
    bool ok = p.nameOf(fd, ifIndex, req) && p.ioctl(fd, NetIfProbe::kGetFlags, req) == 0;
    if (ok)
        sample = (static_cast<unsigned short>(req.ifr_flags) & NetIfProbe::kRunning) ? 1 : 0;
    else
        traceFailure("Error ioctl socket: ", errno);
    ::close(fd);
    return ok;
}

bool NetIfDataHolder::updateNetIf() {
    int sample = 0;
    return probe(sample) && setNetIfStatus(sample);
}

bool NetIfDataHolder::setNetIfStatus(int sample) {
    samples.push_back(sample);
    while (samples.size() > kSamples) samples.pop_front();
    int up = 0;
    for (int s : samples) up += s == 1;
    int state = up > 1 ? 1 : 0;
    bool changed = state != running;
    running = state;
    operStatus = adminStatus = state ? 1 : 2;
    return changed;
}
