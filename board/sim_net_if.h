#ifndef KORVAND_BOARD_SIM_NET_IF_H
#define KORVAND_BOARD_SIM_NET_IF_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "board/hdlc_net_driver.h"
#include "board/sim_device.h"

// The board's HDLC network interfaces, answering the interface requests
// that the daemon makes on any socket of its own (the board routes them
// here instead of to the host's kernel, which has no such interfaces):
// SIOCGIFINDEX, SIOCGIFFLAGS, SIOCSIFFLAGS (only IFF_UP changes) and
// SIOCWANDEV with IF_GET_IFACE (the 128-byte answer; ENOBUFS with the size
// needed when the buffer is smaller), IF_PROTO_PPP and IF_PROTO_HDLC (EBUSY
// while the interface is up, as the generic-HDLC layer refuses to change
// the protocol of a running device). Unknown names: ENODEV; a missing
// buffer: EFAULT; other settings types: EINVAL.
//
// The standard board has "hdlc0" and "hdlc1", point-to-point on TDM
// channels 300 and 301, and "hdlc2", a broadcast interface on channel 302;
// all down and in raw HDLC.
//
// Command words (after "/sys/class/net"):
//   list                          the interface names in index order
//   iface <name>                  "index=3 up=no ptp=yes channel=300
//                                 proto=hdlc encoding=0 parity=0" (proto
//                                 hdlc or ppp)
//   add <name> <channel> ptp|broadcast
//   remove <name>
//   log ...                       the request log summary (SimControl::log);
//                                 request names: get-index, get-flags,
//                                 set-flags, wan
class SimNetIf : public SimDevice {
public:
    static constexpr const char* kPath = "/sys/class/net";

    struct Interface {
        int index = 0;
        short flags = 0;
        uint32_t channel = 0;
        unsigned proto = HdlcNet::kProtoHdlc;
        uint16_t encoding = 0;
        uint16_t parity = 0;
    };

    SimNetIf();

    bool add(const std::string& name, uint32_t channel, bool pointToPoint);
    bool remove(const std::string& name);
    // The interface, or null.
    const Interface* find(const std::string& name) const;

    bool servesSocketRequest(unsigned long request) const override;
    int onSocketRequest(unsigned long request, void* arg) override;
    std::string control(const std::vector<std::string>& words) override;

private:
    using Words = std::vector<std::string>;

    int wanDevice(Interface& i, ifreq& req);
    static int getIface(const Interface& i, if_settings& s);

    std::string cmdList(const Words& args);
    std::string cmdIface(const Words& args);
    std::string cmdAdd(const Words& args);
    std::string cmdRemove(const Words& args);
    std::string cmdLog(const Words& args);

    std::map<std::string, Interface> interfaces_;
    int nextIndex_ = 3;
};

#endif
