#ifndef KORVAND_SLOTS_SIGNALLING_SUPPORT_H
#define KORVAND_SLOTS_SIGNALLING_SUPPORT_H

#include <cstddef>
#include <vector>

#include "asn1/gen/lgcp.h"
#include "hardware/hdlc.h"
#include "protocol/packet.h"
#include "protocol/protocol.h"

class SlotFactory;

// What the signalling-link slots (PSTN, ISDN and ATS Q.SIG, HDLC packet)
// share.

// Pool packets for what the controller hands such a slot to send (user
// data, HDLC packages). They may wait in the links' and the slots' queues,
// so they must never drain the pool from which the control connection and
// every channel's reads take their packets: a slot takes a block for
// controller data only while more than kPoolReserve blocks stay free, and
// never for data that would not fit one block.
namespace ControllerData {

const unsigned kPoolReserve = 256;

// Whether `blocks` blocks may be taken for controller data now.
bool PoolAllows(unsigned blocks);

// Hands `data` to the top layer of `stack` in a packet with the head room
// of every layer; null when the layer took it, else why it was refused:
// there is no layer, the pool cannot spare the packet, the data would not
// fit one, or the layer discarded it.
const char* SendDown(ProtocolsFamily& stack, const std::vector<char>& data);

}  // namespace ControllerData

// The `ioctl` response `hdlcLinkInfo` with the channel's five counters.
LGCP::IoctlResponse HdlcLinkInfo(const HDLC& channel);

// Hands an E1 trunk's `trunkStatus` signal's trunk and state to every slot
// of the factory; other signals, the BRI lines' statuses among them (their
// line numbers are no E1 trunks), are ignored.
void ForwardTrunkStatus(const SlotFactory& factory, const LGCP::Signal& signal);

#endif
