#include "monitoring/net_if_data_holder.h"

#include <errno.h>

#include "monitoring/net_if_probe.h"

NetIfDataHolder::NetIfDataHolder(int index, const std::string& name)
    : running(-1), operStatus(2), adminStatus(2), ifIndex(index), ifName(name) {}

bool NetIfDataHolder::probe(int fd, int& sample) const {
    NetIfProbe& p = netIfProbe();
    ifreq req;
    bool ok = p.nameOf(fd, ifIndex, req) && p.ioctl(fd, NetIfProbe::kGetFlags, req) == 0;
    if (ok)
        sample = (static_cast<unsigned short>(req.ifr_flags) & NetIfProbe::kRunning) ? 1 : 0;
    else
        traceNetIfFailure("Error ioctl socket: ", errno);
    return ok;
}

bool NetIfDataHolder::updateNetIf(int fd) {
    int sample = 0;
    return probe(fd, sample) && setNetIfStatus(sample);
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
