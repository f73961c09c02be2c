#include "board/sim_net_if.h"

#include <errno.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "board/sim_control.h"
#include "board/sim_record.h"

SimNetIf::SimNetIf() : SimDevice(kPath, SOCK_DGRAM) {
    // A directory, never opened as a device.
    failOpen(EISDIR);
    add("hdlc0", 300, true);
    add("hdlc1", 301, true);
    add("hdlc2", 302, false);
}

bool SimNetIf::add(const std::string& name, uint32_t channel, bool pointToPoint) {
    if (name.empty() || name.size() >= IFNAMSIZ || interfaces_.count(name)) return false;
    Interface i;
    i.index = nextIndex_++;
    i.flags = short(pointToPoint ? IFF_POINTOPOINT | IFF_NOARP : IFF_BROADCAST | IFF_MULTICAST);
    i.channel = channel;
    interfaces_[name] = i;
    return true;
}

bool SimNetIf::remove(const std::string& name) {
    return interfaces_.erase(name) > 0;
}

const SimNetIf::Interface* SimNetIf::find(const std::string& name) const {
    auto it = interfaces_.find(name);
    return it == interfaces_.end() ? nullptr : &it->second;
}

// ---- requests -----------------------------------------------------------------------

bool SimNetIf::servesSocketRequest(unsigned long request) const {
    return request == HdlcNet::kGetIndex || request == HdlcNet::kGetFlags ||
           request == HdlcNet::kSetFlags || request == HdlcNet::kWanDevice;
}

int SimNetIf::onSocketRequest(unsigned long request, void* arg) {
    if (!arg) {
        errno = EFAULT;
        return -1;
    }
    ifreq req = loadRecord<ifreq>(arg);
    std::string name(req.ifr_name, strnlen(req.ifr_name, IFNAMSIZ));
    auto it = interfaces_.find(name);
    if (it == interfaces_.end()) {
        errno = ENODEV;
        return -1;
    }
    Interface& i = it->second;
    int result = 0;
    switch (request) {
        case HdlcNet::kGetIndex:
            req.ifr_ifindex = i.index;
            break;
        case HdlcNet::kGetFlags:
            req.ifr_flags = i.flags;
            break;
        case HdlcNet::kSetFlags:
            i.flags = short((i.flags & ~IFF_UP) | (req.ifr_flags & IFF_UP));
            break;
        default:
            result = wanDevice(i, req);
    }
    if (result == 0 || errno == ENOBUFS) storeRecord(arg, req);
    return result;
}

int SimNetIf::wanDevice(Interface& i, ifreq& req) {
    if_settings& s = req.ifr_settings;
    if (s.type == HdlcNet::kGetIface) return getIface(i, s);
    if (s.type != HdlcNet::kProtoPpp && s.type != HdlcNet::kProtoHdlc) {
        errno = EINVAL;
        return -1;
    }
    if (i.flags & IFF_UP) {
        errno = EBUSY;
        return -1;
    }
    if (!s.ifs_ifsu.raw_hdlc) {
        errno = EFAULT;
        return -1;
    }
    if (s.type == HdlcNet::kProtoHdlc) {
        auto hdlc = loadRecord<raw_hdlc_proto>(s.ifs_ifsu.raw_hdlc);
        i.encoding = hdlc.encoding;
        i.parity = hdlc.parity;
    }
    i.proto = s.type;
    return 0;
}

int SimNetIf::getIface(const Interface& i, if_settings& s) {
    if (s.size < sizeof(HdlcNet::IfaceInfo)) {
        s.size = sizeof(HdlcNet::IfaceInfo);
        errno = ENOBUFS;
        return -1;
    }
    if (!s.ifs_ifsu.raw_hdlc) {
        errno = EFAULT;
        return -1;
    }
    HdlcNet::IfaceInfo info{};
    info.words[3] = i.channel;
    storeRecord(s.ifs_ifsu.raw_hdlc, info);
    s.type = IF_IFACE_E1;
    return 0;
}

// ---- control ------------------------------------------------------------------------

std::string SimNetIf::control(const std::vector<std::string>& words) {
    static const SimControl::Command<SimNetIf> table[] = {
        {"list", 0, 0, &SimNetIf::cmdList},     {"iface", 1, 1, &SimNetIf::cmdIface},
        {"add", 3, 3, &SimNetIf::cmdAdd},       {"remove", 1, 1, &SimNetIf::cmdRemove},
        {"log", 0, 1, &SimNetIf::cmdLog},
    };
    return SimControl::dispatch(*this, table, words);
}

std::string SimNetIf::cmdList(const Words&) {
    std::vector<std::pair<int, std::string>> byIndex;
    for (const auto& i : interfaces_) byIndex.emplace_back(i.second.index, i.first);
    std::sort(byIndex.begin(), byIndex.end());
    std::string out;
    for (const auto& i : byIndex) out += (out.empty() ? "" : " ") + i.second;
    return out;
}

std::string SimNetIf::cmdIface(const Words& args) {
    const Interface* i = find(args[0]);
    if (!i) return SimControl::error("no interface " + args[0]);
    return "index=" + std::to_string(i->index) + " up=" + ((i->flags & IFF_UP) ? "yes" : "no") +
           " ptp=" + ((i->flags & IFF_POINTOPOINT) ? "yes" : "no") + " channel=" + std::to_string(i->channel) +
           " proto=" + (i->proto == HdlcNet::kProtoPpp ? "ppp" : "hdlc") + " encoding=" +
           std::to_string(i->encoding) + " parity=" + std::to_string(i->parity);
}

std::string SimNetIf::cmdAdd(const Words& args) {
    long long channel;
    if (!SimControl::number(args[1], 0, 0xFFFFFFFFLL, channel)) return SimControl::error("bad channel");
    if (args[2] != "ptp" && args[2] != "broadcast") return SimControl::error("ptp or broadcast");
    return add(args[0], uint32_t(channel), args[2] == "ptp") ? SimWords::ok() : SimControl::error("cannot add " + args[0]);
}

std::string SimNetIf::cmdRemove(const Words& args) {
    return remove(args[0]) ? SimWords::ok() : SimControl::error("no interface " + args[0]);
}

std::string SimNetIf::cmdLog(const Words& args) {
    return SimControl::log(*this, args, [](unsigned long number) -> const char* {
        switch (number) {
            case HdlcNet::kGetIndex:
                return "get-index";
            case HdlcNet::kGetFlags:
                return "get-flags";
            case HdlcNet::kSetFlags:
                return "set-flags";
            case HdlcNet::kWanDevice:
                return "wan";
            default:
                return nullptr;
        }
    });
}
