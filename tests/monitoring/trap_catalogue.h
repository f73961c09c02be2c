#ifndef KORVAND_TESTS_MONITORING_TRAP_CATALOGUE_H
#define KORVAND_TESTS_MONITORING_TRAP_CATALOGUE_H

#include <cstdint>
#include <string>
#include <vector>

// The traps of the golden set, built with the trap builder: every value
// type, a community of the parameters, an empty binding list and an
// identifier under the top arc 2.
struct CatalogueTrap {
    std::string name;
    std::string community;
    int requestId;
    std::vector<std::string> names;  // the bindings' object identifiers, dotted
    std::vector<uint8_t> octets;
};

std::vector<CatalogueTrap> trapCatalogue();

// "name hex hex ..." as the golden file holds it.
std::string catalogueLine(const CatalogueTrap& trap);

#endif
