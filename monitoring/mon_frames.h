#ifndef KORVAND_MONITORING_MON_FRAMES_H
#define KORVAND_MONITORING_MON_FRAMES_H

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "asn1/gen/mon.h"

// The MON messages of the SNMP agent link as the octets of TPKT frames.
namespace MonFrames {

typedef std::vector<char> Frame;

// The most set commands one message carries: the most elements of a list
// that a peer's PER decoder takes.
const size_t kMaxCommands = 128;

// Encodes the message in aligned PER into `out`. False when the encoder
// refuses it or the octets would not fit one TPKT frame.
bool encode(const MON::Message& message, Frame& out);

// The commands as snmp-set messages, in order, each below both limits: at
// most kMaxCommands to a message, and a batch too long for one frame is
// split further. A command that cannot be sent even alone (a value too
// long for the encoder) is left out, and "<prefix>: encode MON message
// fail!!!" with its uniq number is written to `log`.
void encodeSetCommands(const ASN1::SEQUENCE_OF<MON::SnmpSetCommand>& commands,
                       std::vector<Frame>& frames, const std::string& prefix, std::ostream& log);

}  // namespace MonFrames

#endif
