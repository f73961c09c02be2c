#ifndef KORVAND_BOARD_HDLC_NET_DRIVER_H
#define KORVAND_BOARD_HDLC_NET_DRIVER_H

// linux/if.h first: the generic-HDLC header uses its IFNAMSIZ.
#include <linux/if.h>
#include <linux/hdlc/ioctl.h>
#include <linux/sockios.h>

#include <cstddef>
#include <cstdint>

// The board's HDLC network interfaces ("hdlc0", "hdlc1", ...): Linux
// network devices of the generic-HDLC family, switched between raw HDLC
// and PPP with the interface requests below on any socket. The requests
// and the interface request record (struct ifreq) are the running kernel's
// own, the same numbers on the board and on a development host; the
// simulated board answers them for its interfaces.
namespace HdlcNet {

// Interface names: the prefix and the number, from 0.
const char* const kNamePrefix = "hdlc";
const int kMaxInterfaces = 256;

const unsigned long kGetFlags = 0x8913;   // SIOCGIFFLAGS
const unsigned long kSetFlags = 0x8914;   // SIOCSIFFLAGS
const unsigned long kGetIndex = 0x8933;   // SIOCGIFINDEX
const unsigned long kWanDevice = 0x894A;  // SIOCWANDEV

static_assert(kGetFlags == SIOCGIFFLAGS && kSetFlags == SIOCSIFFLAGS &&
                  kGetIndex == SIOCGIFINDEX && kWanDevice == SIOCWANDEV,
              "interface requests");

// The settings types of SIOCWANDEV (ifr_settings.type).
const unsigned kGetIface = IF_GET_IFACE;
const unsigned kProtoHdlc = IF_PROTO_HDLC;
const unsigned kProtoPpp = IF_PROTO_PPP;

static_assert(kGetIface == 1 && kProtoHdlc == 0x2000 && kProtoPpp == 0x2001, "settings types");

// The answer of IF_GET_IFACE from the board's HDLC driver: 128 bytes whose
// word at offset 12 is the interface's TDM channel; the other words are
// the driver's own.
struct IfaceInfo {
    uint32_t words[32];
    uint32_t channel() const { return words[3]; }
};

static_assert(sizeof(IfaceInfo) == 128, "interface answer");
const size_t kChannelOffset = 12;

// The buffer IF_PROTO_PPP is given; the protocol takes no settings.
struct PppSettings {
    uint32_t unused;
};

static_assert(sizeof(PppSettings) == 4 && sizeof(raw_hdlc_proto) == 4, "protocol settings");

}  // namespace HdlcNet

#endif
