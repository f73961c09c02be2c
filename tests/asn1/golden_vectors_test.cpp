// Aligned PER and BER against vectors from an independent codec (written by
// tests/data/asn1/generate.sh) and worked out by hand, and the decoders
// against every truncation and random mutations of those vectors.

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "asn1/gen/modules.h"
#include "tests/asn1/golden_vectors.h"

namespace {

using ASN1::CoderEnv;
using ASN1Test::GoldenVector;
using ASN1Test::loadVectors;

std::vector<GoldenVector> perVectors() {
    std::vector<GoldenVector> all;
    for (const char* file : {"lgcp.per", "mon.per", "handwritten.per"}) {
        std::vector<GoldenVector> v = loadVectors(file);
        all.insert(all.end(), v.begin(), v.end());
    }
    return all;
}

std::vector<GoldenVector> berVectors() {
    std::vector<GoldenVector> all = loadVectors("lgcp.ber");
    std::vector<GoldenVector> mon = loadVectors("mon.ber");
    all.insert(all.end(), mon.begin(), mon.end());
    return all;
}

// The value reads from its text, encodes to the vector's octets, and the
// octets decode to an equal value that encodes to them again.
void expectExact(CoderEnv::EncodingRule rule, const GoldenVector& v) {
    std::unique_ptr<ASN1::AbstractData> value = ASN1Test::newValue(v);
    ASSERT_TRUE(value);
    ASSERT_TRUE(value->setFromValueNotation(v.text)) << v.where;
    std::vector<char> octets;
    ASSERT_TRUE(ASN1Test::encodeBy(rule, *value, octets)) << v.where;
    EXPECT_EQ(ASN1Test::toHex(octets), ASN1Test::toHex(v.octets)) << v.where << ' ' << v.text;

    std::unique_ptr<ASN1::AbstractData> decoded = ASN1Test::newValue(v);
    ASSERT_TRUE(ASN1Test::decodeBy(rule, v.octets, *decoded)) << v.where;
    EXPECT_EQ(decoded->compare(*value), 0) << v.where << '\n' << *decoded;
    std::vector<char> again;
    EXPECT_TRUE(ASN1Test::encodeBy(rule, *decoded, again) && again == v.octets) << v.where;
}

TEST(GoldenVectors, CoverEveryTypeOfTheControlAndMonitoringProtocols) {
    std::set<std::string> covered;
    for (const GoldenVector& v : perVectors()) covered.insert(v.type);
    for (const char* name : {"LGCP", "MON"}) {
        const ASN1::Module* module = ASN1::findModule(name);
        for (unsigned i = 0; i < module->typeCount; ++i) {
            EXPECT_EQ(covered.count(std::string(name) + "." + module->types[i].name), 1u)
                << module->types[i].name;
        }
    }
}

TEST(GoldenVectors, AlignedPerEncodesAndDecodesExactly) {
    std::vector<GoldenVector> vectors = perVectors();
    EXPECT_GT(vectors.size(), 1000u);
    for (const GoldenVector& v : vectors) expectExact(CoderEnv::per_Basic_Aligned, v);
}

TEST(GoldenVectors, BerEncodesAndDecodesExactly) {
    std::vector<GoldenVector> vectors = berVectors();
    EXPECT_GT(vectors.size(), 800u);
    for (const GoldenVector& v : vectors) expectExact(CoderEnv::ber, v);
}

// Each prefix is copied into a buffer of its own size, so that a read past
// its end is caught by the address sanitizer.
TEST(GoldenVectors, EveryTruncationFailsCleanly) {
    for (auto rule : {CoderEnv::per_Basic_Aligned, CoderEnv::ber}) {
        for (const GoldenVector& v : rule == CoderEnv::ber ? berVectors() : perVectors()) {
            for (size_t n = 0; n < v.octets.size(); ++n) {
                std::vector<char> prefix(v.octets.begin(), v.octets.begin() + n);
                std::unique_ptr<ASN1::AbstractData> value = ASN1Test::newValue(v);
                EXPECT_FALSE(ASN1Test::decodeBy(rule, prefix, *value)) << v.where << " at " << n;
            }
        }
    }
}

// Flipped bits, replaced, inserted and dropped octets. Whatever decodes is a
// whole value: it prints, and if it encodes, that encoding decodes to an
// equal value.
TEST(GoldenVectors, MutationsNeverCrashAndWhatDecodesIsWhole) {
    std::mt19937 rng(42);
    unsigned decoded = 0;
    for (auto rule : {CoderEnv::per_Basic_Aligned, CoderEnv::ber}) {
        for (const GoldenVector& v : rule == CoderEnv::ber ? berVectors() : perVectors()) {
            for (int round = 0; round < 12; ++round) {
                std::vector<char> octets = v.octets;
                for (int edits = 1 + rng() % 3; edits > 0; --edits) {
                    size_t at = octets.empty() ? 0 : rng() % octets.size();
                    switch (rng() % 4) {
                        case 0:
                            if (!octets.empty()) octets[at] ^= static_cast<char>(1 << rng() % 8);
                            break;
                        case 1:
                            if (!octets.empty()) octets[at] = static_cast<char>(rng());
                            break;
                        case 2:
                            octets.insert(octets.begin() + at, static_cast<char>(rng()));
                            break;
                        default:
                            if (!octets.empty()) octets.erase(octets.begin() + at);
                    }
                }
                std::unique_ptr<ASN1::AbstractData> value = ASN1Test::newValue(v);
                if (!ASN1Test::decodeBy(rule, octets, *value)) continue;
                ++decoded;
                EXPECT_FALSE(value->asValueNotation().empty()) << v.where;
                std::vector<char> again;
                if (!ASN1Test::encodeBy(rule, *value, again)) continue;
                std::unique_ptr<ASN1::AbstractData> back = ASN1Test::newValue(v);
                EXPECT_TRUE(ASN1Test::decodeBy(rule, again, *back) && back->compare(*value) == 0)
                    << v.where << ' ' << ASN1Test::toHex(octets);
            }
        }
    }
    EXPECT_GT(decoded, 1000u);
}

}  // namespace
