#include "monitoring/mon_frames.h"

#include <algorithm>
#include <iterator>

#include "asn1/coder_env.h"
#include "protocol/tpkt_protocol.h"

namespace MonFrames {

namespace {

void encodeRange(const ASN1::SEQUENCE_OF<MON::SnmpSetCommand>& commands, size_t begin,
                 size_t end, std::vector<Frame>& frames, const std::string& prefix,
                 std::ostream& log) {
    MON::Message message;
    ASN1::SEQUENCE_OF<MON::SnmpSetCommand>& list =
        message.set_pdu().set_command().set_snmp_set().set_commands();
    list.reserve(end - begin);
    for (size_t i = begin; i < end; ++i) list.push_back(commands[i]);
    Frame octets;
    if (encode(message, octets)) {
        frames.push_back(std::move(octets));
        return;
    }
    if (end - begin == 1) {
        log << prefix << ": encode MON message fail!!! uniq=" << commands[begin].get_uniq().getValue()
            << std::endl;
        return;
    }
    size_t middle = begin + (end - begin) / 2;
    encodeRange(commands, begin, middle, frames, prefix, log);
    encodeRange(commands, middle, end, frames, prefix, log);
}

}  // namespace

bool encode(const MON::Message& message, Frame& out) {
    out.clear();
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    if (!ASN1::encode(message, &env, std::back_inserter(out))) return false;
    return out.size() <= Tpkt_protocol::max_payload;
}

void encodeSetCommands(const ASN1::SEQUENCE_OF<MON::SnmpSetCommand>& commands,
                       std::vector<Frame>& frames, const std::string& prefix, std::ostream& log) {
    for (size_t begin = 0; begin < commands.size(); begin += kMaxCommands)
        encodeRange(commands, begin, std::min(commands.size(), begin + kMaxCommands), frames,
                    prefix, log);
}

}  // namespace MonFrames
