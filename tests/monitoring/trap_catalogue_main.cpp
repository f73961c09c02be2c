// Prints the golden trap catalogue, one trap a line: its name and octets.

#include <iostream>

#include "tests/monitoring/trap_catalogue.h"

int main() {
    for (const CatalogueTrap& trap : trapCatalogue()) std::cout << catalogueLine(trap) << "\n";
    return 0;
}
