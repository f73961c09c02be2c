// Prints the frames the LAPD link sends ("lapd": name, direction n2u or
// u2n, octets in hex) or the signal units the SS7 link sends ("mtp2": name,
// octets in hex), one a line, for the scripts that remake tests/data/lapd
// and tests/data/mtp2.

#include <cstdio>
#include <cstring>

#include "tests/links/golden_frames.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "lapd") == 0) {
        std::printf(
            "# Frames the LAPD link sends; written by tests/data/lapd/generate.sh, do not edit.\n");
        for (const GoldenFrame& f : lapdLinkFrames())
            std::printf("%s %s %s\n", f.name.c_str(), f.toUser ? "n2u" : "u2n",
                        hexOf(f.octets).c_str());
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "mtp2") == 0) {
        for (const GoldenUnit& u : ss7GoldenUnits())
            std::printf("%s %s\n", u.name.c_str(), hexOf(u.octets, true).c_str());
        return 0;
    }
    std::fprintf(stderr, "usage: golden_dump lapd|mtp2\n");
    return 2;
}
