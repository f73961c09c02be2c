#include "runtime/version.h"

const Version Version::current = {Version::snapshot, 0,     "", "korvand", "2025-01-14 16:16",
                                  "T250114-1616",    "ppc"};

const char* version_string(Version::Type t) {
    switch (t) {
        case Version::snapshot: return "snapshot";
        case Version::test: return "test";
        case Version::release: return "release";
        case Version::unit_test: return "unit-test";
    }
    return "unknown";
}

const char* version_suffix(Version::Type t) {
    switch (t) {
        case Version::snapshot: return "S";
        case Version::test: return "T";
        case Version::release: return "R";
        case Version::unit_test: return "T";
    }
    return "U";
}

std::ostream& operator<<(std::ostream& os, Version::Type t) { return os << version_string(t); }
