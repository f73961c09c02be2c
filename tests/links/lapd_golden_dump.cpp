// Prints the frames the LAPD link sends in named situations, one a line:
// name, direction (n2u: sent by the network side, u2n), octets in hex. The
// script tests/data/lapd/generate.sh writes them to link_frames.txt.

#include <cstdio>

#include "tests/links/golden_frames.h"
#include "tests/links/lapd_golden.h"

int main() {
    std::printf(
        "# Frames the LAPD link sends; written by tests/data/lapd/generate.sh, do not edit.\n");
    for (const LinkFrame& f : lapdLinkFrames())
        std::printf("%s %s %s\n", f.name.c_str(), f.toUser ? "n2u" : "u2n",
                    hexOf(f.octets).c_str());
    return 0;
}
