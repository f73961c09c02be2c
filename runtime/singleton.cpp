#include "runtime/singleton.h"

#include <cstdlib>
#include <vector>

namespace {

std::vector<Singletons::Reset>& built() {
    static std::vector<Singletons::Reset> list;
    return list;
}

void resetAll() {
    Singletons::resetTo(0);
}

}  // namespace

size_t Singletons::count() {
    return built().size();
}

void Singletons::resetTo(size_t keep) {
    while (built().size() > keep) {
        Reset reset = built().back();
        built().pop_back();
        reset();
    }
}

// The list is built before the exit handler is registered, so it is
// destroyed after the handler has run.
void Singletons::listBuilt(Reset reset) {
    built().push_back(reset);
    static bool exitHandler = std::atexit(resetAll) == 0;
    (void)exitHandler;
}
