// Prints the golden packets of one kind ("rtcp", "lemz" or "r2s"), one
// "NAME<tab>HEX" a line, for tests/data/rtp/generate.sh.

#include <cstdio>
#include <cstring>

#include "tests/rtp/rtp_golden.h"

int main(int argc, char** argv) {
    const char* kind = argc > 1 ? argv[1] : "";
    std::vector<GoldenPacket> packets = !std::strcmp(kind, "rtcp")   ? rtcpGoldenPackets()
                                        : !std::strcmp(kind, "lemz") ? lemzGoldenPackets()
                                        : !std::strcmp(kind, "r2s")  ? r2sGoldenPackets()
                                                                     : std::vector<GoldenPacket>{};
    if (packets.empty()) {
        std::fprintf(stderr, "usage: rtp_golden_dump rtcp|lemz|r2s\n");
        return 2;
    }
    for (const GoldenPacket& p : packets) {
        std::printf("%s\t", p.name.c_str());
        for (unsigned char b : p.packet) std::printf("%02x", b);
        std::printf("\n");
    }
    return 0;
}
