#ifndef KORVAND_TESTS_LINKS_SS7_GOLDEN_H
#define KORVAND_TESTS_LINKS_SS7_GOLDEN_H

#include <string>
#include <vector>

#include "tests/links/ss7_unit_harness.h"

// A signal unit the link sends in a named situation, with the header
// fields it is meant to carry ("-" where a field does not apply). The
// committed file tests/data/mtp2/frames.txt holds the same units as
// tshark's MTP2 dissector decodes them.
struct GoldenUnit {
    std::string name;
    Bytes octets;
    std::string fields;  // "bsn bib fsn fib li status"
};

std::vector<GoldenUnit> ss7GoldenUnits();

#endif
