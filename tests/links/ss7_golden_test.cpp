// The signal units the link sends against tshark's MTP2 decode of them,
// committed in tests/data/mtp2/frames.txt by its generate.sh.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "tests/links/ss7_golden.h"

namespace {

std::string hex(const Bytes& b) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t c : b) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

struct Decoded {
    std::string hex;
    std::string fields;
};

std::map<std::string, Decoded> committed() {
    std::map<std::string, Decoded> m;
    std::ifstream in(std::string(KORVAND_VECTOR_DIR) + "/frames.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string name, octets, field, fields;
        words >> name >> octets;
        while (words >> field) fields += (fields.empty() ? "" : " ") + field;
        m[name] = {octets, fields};
    }
    return m;
}

TEST(Ss7GoldenUnits, MatchTheCommittedOctetsAndTsharksDecode) {
    std::map<std::string, Decoded> oracle = committed();
    std::vector<GoldenUnit> units = ss7GoldenUnits();
    EXPECT_EQ(units.size(), oracle.size());
    for (const GoldenUnit& u : units) {
        auto it = oracle.find(u.name);
        ASSERT_NE(it, oracle.end()) << u.name;
        EXPECT_EQ(it->second.hex, hex(u.octets)) << u.name;
        EXPECT_EQ(it->second.fields, u.fields) << u.name;
    }
}

}  // namespace
