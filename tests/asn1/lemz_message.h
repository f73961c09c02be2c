#ifndef KORVAND_TESTS_ASN1_LEMZ_MESSAGE_H
#define KORVAND_TESTS_ASN1_LEMZ_MESSAGE_H

// The largest control message of the system: an `LGCP` protoLemz command
// of 128 radio packets, about 23 KB of aligned PER, each packet the
// keep-alive of a digital radio interface with the ten flags of 112
// channels: some 160,000 values, most of them one bit on the wire. Fewer
// packets make a smaller message of the same kind.

#include <string>

namespace LemzMessage {

const int kPackets = 128;
const int kChannels = 112;

// One channel's ten flags: 11 bits on the wire, 11 values in memory.
inline std::string channel(int n) {
    static const char* const flags[] = {"rc", "ptt", "ptt-selcall", "self-hear", "receiver",
                                        "bss", "detected-rx", "detected-tx", "sql", "rc-line-state"};
    std::string text;
    for (int f = 0; f < 10; ++f)
        text += std::string(f ? ", " : "{ ") + flags[f] + ((n + f) % 3 ? " TRUE" : " FALSE");
    return text + " }";
}

inline std::string packet(int seq) {
    std::string channels;
    for (int c = 0; c < kChannels; ++c) channels += (c ? ", " : "") + channel(c);
    return "{ msgLength 180, msgSeqNum " + std::to_string(seq) +
           ", msgID dli-keep-alive=8208, stateProtocol protocol-v1, stateMode radio, stateMaster 1,"
           " srcAddr dli, srcChannel 3, dstAddr lgw, dstChannel " +
           std::to_string(seq % 8) + ", payload dli-keep-alive : radio-v1 : { id " + std::to_string(seq) +
           ", channels { " + channels + " } } }";
}

// The message in value notation.
inline std::string text(int count = kPackets) {
    std::string packets;
    for (int p = 0; p < count; ++p) packets += (p ? ", " : "") + packet(p);
    return "{ seq 1, pdu command : protoLemz : { packets { " + packets + " } } }";
}

}  // namespace LemzMessage

#endif
