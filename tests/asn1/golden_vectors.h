#ifndef KORVAND_TESTS_ASN1_GOLDEN_VECTORS_H
#define KORVAND_TESTS_ASN1_GOLDEN_VECTORS_H

// The vector files of tests/data/asn1 and the coding steps the tests apply
// to them.

#include <memory>
#include <string>
#include <vector>

#include "asn1/abstract_data.h"
#include "asn1/coder_env.h"

namespace ASN1Test {

struct GoldenVector {
    std::string where;  // "lgcp.per:12"
    std::string type;   // "LGCP.Message"
    std::vector<char> octets;
    std::string text;   // the value in value notation
};

// The "TYPE HEX VALUE" lines of a file of tests/data/asn1; lines starting
// with "#" and blank lines are skipped. Fails the calling test on a
// malformed line or a missing file.
std::vector<GoldenVector> loadVectors(const std::string& file);

// A new default value of the vector's type.
std::unique_ptr<ASN1::AbstractData> newValue(const GoldenVector& vector);

// Encodes or decodes by the coder environment's rule, as the daemon does.
bool encodeBy(ASN1::CoderEnv::EncodingRule rule, const ASN1::AbstractData& value,
              std::vector<char>& octets);
bool decodeBy(ASN1::CoderEnv::EncodingRule rule, const std::vector<char>& octets,
              ASN1::AbstractData& value);

std::vector<char> fromHex(const std::string& hex);
std::string toHex(const std::vector<char>& octets);

}  // namespace ASN1Test

#endif
