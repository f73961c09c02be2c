#ifndef KORVAND_MONITORING_NET_IF_DATA_HOLDER_H
#define KORVAND_MONITORING_NET_IF_DATA_HOLDER_H

#include <list>
#include <string>

// The monitored state of one network interface: its running flag, sampled
// by updateNetIf and smoothed over the last three samples, so that one odd
// sample does not flap the state the SNMP agents see.
class NetIfDataHolder {
  public:
    static constexpr size_t kSamples = 3;

    NetIfDataHolder(int ifIndex, const std::string& name);

    // Probes the interface once through netIfProbe() on `fd`, a descriptor
    // that probe opened, and feeds the sample to setNetIfStatus. False when
    // the probe failed: then nothing changes.
    bool updateNetIf(int fd);
    // Adds one sample (1 running, 0 not). True when the smoothed state
    // changed; the first sample always does.
    bool setNetIfStatus(int running);

    int running;             // 1 up, 0 down, -1 not sampled yet
    int operStatus;          // 1 up, 2 down
    int adminStatus;         // always equal to operStatus
    std::list<int> samples;  // oldest first, at most kSamples
    int ifIndex;
    std::string ifName;

  private:
    // The running flag of the interface; false when the probe failed.
    bool probe(int fd, int& sample) const;
};

#endif
