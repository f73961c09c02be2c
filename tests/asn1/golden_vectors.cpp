#include "tests/asn1/golden_vectors.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "asn1/gen/modules.h"
#include "tools/lgcpc/lgcpc.h"

namespace ASN1Test {

std::vector<GoldenVector> loadVectors(const std::string& file) {
    std::ifstream in(std::string(KORVAND_VECTOR_DIR) + "/" + file);
    EXPECT_TRUE(in.is_open()) << file;
    std::vector<GoldenVector> vectors;
    std::string line;
    for (unsigned number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        GoldenVector v;
        v.where = file + ":" + std::to_string(number);
        size_t typeEnd = line.find(' ');
        size_t hexEnd = typeEnd == std::string::npos ? typeEnd : line.find(' ', typeEnd + 1);
        if (hexEnd == std::string::npos ||
            !Lgcpc::fromHex(line.substr(typeEnd + 1, hexEnd - typeEnd - 1), v.octets)) {
            ADD_FAILURE() << v.where << ": not TYPE HEX VALUE";
            continue;
        }
        v.type = line.substr(0, typeEnd);
        v.text = line.substr(hexEnd + 1);
        vectors.push_back(v);
    }
    return vectors;
}

std::unique_ptr<ASN1::AbstractData> newValue(const GoldenVector& vector) {
    std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(ASN1::findType(vector.type)));
    EXPECT_TRUE(value) << vector.where << ": no type " << vector.type;
    return value;
}

bool encodeBy(ASN1::CoderEnv::EncodingRule rule, const ASN1::AbstractData& value,
              std::vector<char>& octets) {
    ASN1::CoderEnv env(rule);
    return ASN1::encode(value, &env, std::back_inserter(octets));
}

bool decodeBy(ASN1::CoderEnv::EncodingRule rule, const std::vector<char>& octets,
              ASN1::AbstractData& value) {
    ASN1::CoderEnv env(rule);
    return ASN1::decode(octets.data(), octets.data() + octets.size(), &env, value, true);
}

std::vector<char> fromHex(const std::string& hex) {
    std::vector<char> octets;
    EXPECT_TRUE(Lgcpc::fromHex(hex, octets)) << hex;
    return octets;
}

std::string toHex(const std::vector<char>& octets) { return Lgcpc::toHex(octets); }

}  // namespace ASN1Test
