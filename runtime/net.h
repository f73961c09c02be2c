#ifndef KORVAND_RUNTIME_NET_H
#define KORVAND_RUNTIME_NET_H

#include <list>
#include <string>

#include "runtime/inet4_addr.h"

namespace Net {

// Interface selection bits; 0 selects every IPv4 interface and an interface
// is taken when any selected condition holds.
typedef unsigned ifconfig_mode_t;
enum : ifconfig_mode_t {
    IF_NOT_LOOPBACK = 1,  // name is not "lo", compared without case
    IF_LINK_LOCAL = 2,    // 169.254.0.0/16
    IF_PRIVATE = 4,       // 192.168.0.0/16, 172.16.0.0/12, 10.0.0.0/8
};

std::string hostname();
int hostname(const std::string& name);

// The IPv4 addresses of the selected interfaces (port 0); -1 on failure.
int ifconfig(std::list<INet4::Addr>& out, ifconfig_mode_t mode);
// The names of the selected interfaces whose flags hold all of `flags`.
int ifconfig(std::list<std::string>& out, ifconfig_mode_t mode, unsigned int flags);

// True when an interface of this name and address is selected by `mode`.
bool ifconfig_selects(const std::string& name, uint32_t addressNetOrder, ifconfig_mode_t mode);

}  // namespace Net

#endif
