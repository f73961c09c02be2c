#ifndef KORVAND_HARDWARE_HDLC_NET_IF_H
#define KORVAND_HARDWARE_HDLC_NET_IF_H

#include <cstdint>
#include <string>
#include <vector>

// The interface requests on the board's HDLC network interfaces ("hdlcN"),
// made through the board's driver seam on a datagram socket. Each returns
// false with errno set on failure.
namespace HdlcNet {

// A datagram socket for the requests (close-on-exec), or -1.
int OpenSocket();

bool GetFlags(int fd, const std::string& name, short& flags);
bool SetFlags(int fd, const std::string& name, short flags);
// The interface's TDM channel, from the driver's IF_GET_IFACE answer.
bool GetChannel(int fd, const std::string& name, int& channel);
// Switches the interface to PPP, or back to raw HDLC.
bool SetPpp(int fd, const std::string& name);
bool SetRawHdlc(int fd, const std::string& name, uint16_t encoding, uint16_t parity);

// The point-to-point interfaces among "hdlc0", "hdlc1", ... up to the
// first name whose index or flags cannot be read, in that order.
std::vector<std::string> PointToPoint(int fd);

}  // namespace HdlcNet

#endif
