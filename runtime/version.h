#ifndef KORVAND_RUNTIME_VERSION_H
#define KORVAND_RUNTIME_VERSION_H

#include <ostream>

// The build's version record.
struct Version {
    enum Type { snapshot = 0, test = 1, release = 2, unit_test = 3 };

    Type type;
    int number;
    const char* label;
    const char* account;
    const char* date;
    const char* tag;
    const char* target;

    static const Version current;

    // Writes the version tag.
    void put(std::ostream& os) const { os << tag; }
    void update() {}
};

inline std::ostream& operator<<(std::ostream& os, const Version& v) {
    v.put(os);
    return os;
}

const char* version_string(Version::Type t);
const char* version_suffix(Version::Type t);
std::ostream& operator<<(std::ostream& os, Version::Type t);

#endif
