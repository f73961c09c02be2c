// Prints the golden signal units, one "NAME HEX" a line, for
// tests/data/mtp2/generate.sh.

#include <cstdio>

#include "tests/links/ss7_golden.h"

int main() {
    for (const GoldenUnit& u : ss7GoldenUnits()) {
        std::printf("%s ", u.name.c_str());
        for (uint8_t b : u.octets) std::printf("%02x", b);
        std::printf("\n");
    }
    return 0;
}
