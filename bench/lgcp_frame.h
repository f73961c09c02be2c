#ifndef KORVAND_BENCH_LGCP_FRAME_H
#define KORVAND_BENCH_LGCP_FRAME_H

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/gen/lgcp.h"

// The TPKT frame of the LGCP message written in value notation (empty when
// the text does not read or the message does not encode).
inline std::vector<uint8_t> EncodeFrame(const std::string& text) {
    LGCP::Message msg;
    std::vector<char> payload;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    if (!msg.setFromValueNotation(text) || !ASN1::encode(msg, &env, std::back_inserter(payload)))
        return {};
    std::vector<uint8_t> frame(payload.size() + 4);
    frame[0] = 3;
    frame[2] = uint8_t(frame.size() >> 8);
    frame[3] = uint8_t(frame.size());
    std::copy(payload.begin(), payload.end(), frame.begin() + 4);
    return frame;
}

#endif
