// The BER decoder against hostile input, and the coder environment's rules.

#include <gtest/gtest.h>

#include <iterator>

#include "asn1/gen/lgcp.h"
#include "asn1/gen/mon.h"
#include "tests/asn1/golden_vectors.h"

namespace {

using ASN1::CoderEnv;
using ASN1Test::fromHex;

bool decodesBer(ASN1::AbstractData& value, const std::string& hex) {
    return ASN1Test::decodeBy(CoderEnv::ber, fromHex(hex), value);
}

TEST(BerDecoder, RefusesMalformedIdentifiersLengthsAndContents) {
    // { seq 1, slot 5, pdu command : ping : NULL }
    LGCP::Message message;
    ASSERT_TRUE(decodesBer(message, "300c800101810105a204a0028c00"));
    for (const char* hex : {
             "3080800101810105a204a0028c000000",  // indefinite length
             "300d800101810105a204a0028c00",      // longer than the input
             "30850000000000",                    // five length octets
             "100c800101810105a204a0028c00",      // a SEQUENCE in primitive form
             "300c800101810105a20480028c00",      // a CHOICE's explicit tag primitive
             "300c800101810105a204a0028c01",      // NULL with contents
             "300f800101810105a204a0028c00830100",  // a component after the last
             "30118006010203040506810105a204a0028c00",  // INTEGER of 6 octets
             "3fffffff7f00",                      // a tag number beyond 16 bits
         }) {
        LGCP::Message value;
        EXPECT_FALSE(decodesBer(value, hex)) << hex;
    }
    // An extensible type skips components it does not know.
    MON::SnmpTrapsink sink;
    ASSERT_TRUE(decodesBer(sink, "3006800161850100"));
    EXPECT_EQ(sink.get_host(), "a");
    EXPECT_FALSE(sink.has_port());
}

TEST(BerEncoder, IntegersOfUnsignedTypesUseTheirWholeRange) {
    // 2^32 - 1 of 0..4294967295 needs a fifth octet for the sign.
    TERM::RtpParams params;
    params.set_ssrc(0xFFFFFFFFu);
    std::vector<char> octets;
    ASSERT_TRUE(ASN1Test::encodeBy(CoderEnv::ber, params.get_ssrc(), octets));
    EXPECT_EQ(ASN1Test::toHex(octets), "020500ffffffff");
    ASN1::INTEGER back(params.get_ssrc().info());
    ASSERT_TRUE(ASN1Test::decodeBy(CoderEnv::ber, octets, back));
    EXPECT_EQ(static_cast<uint32_t>(back.getValue()), 0xFFFFFFFFu);
}

TEST(CoderEnv, SelectsTheRuleAndAppendsOnlyOnSuccess) {
    LGCP::Message message;
    message.set_seq(1);
    message.set_slot(5);
    message.set_pdu().set_command().set_ping();
    const std::pair<int, std::string> rules[] = {
        {CoderEnv::per_Basic_Aligned, std::string("\xc0\x01\x01\x00\x05\x18", 6)},
        {CoderEnv::ber, std::string("\x30\x0c\x80\x01\x01\x81\x01\x05\xa2\x04\xa0\x02\x8c\x00", 14)},
        {CoderEnv::avn, message.asValueNotation()}};
    for (const auto& rule : rules) {
        CoderEnv env(rule.first);
        std::vector<char> out(1, 'x');
        ASSERT_TRUE(ASN1::encode(message, &env, std::back_inserter(out))) << rule.first;
        EXPECT_EQ(std::string(out.begin() + 1, out.end()), rule.second) << rule.first;
        LGCP::Message back;
        EXPECT_TRUE(ASN1::decode(out.data() + 1, out.data() + out.size(), &env, back, true));
        EXPECT_EQ(back.compare(message), 0) << rule.first;
    }
    CoderEnv unknown(7);
    std::vector<char> out;
    EXPECT_FALSE(ASN1::encode(message, &unknown, std::back_inserter(out)));
    EXPECT_TRUE(out.empty());
    const char oid[] = "\x06\x00";
    EXPECT_FALSE(ASN1::decode(oid, oid + 2, &unknown, message, true));
    // A value that does not encode appends nothing.
    CoderEnv per;
    message.set_slot(2000);
    EXPECT_FALSE(ASN1::encode(message, &per, std::back_inserter(out)));
    EXPECT_TRUE(out.empty());
}

TEST(CoderEnv, DecodedBitStringsHoldNoBitsBeyondTheirCount) {
    // 17 and 1 set bits whose last octet is all ones, by both rules: the
    // value equals one built bit by bit, and growing it adds clear bits.
    const std::pair<CoderEnv::EncodingRule, const char*> cases[] = {
        {CoderEnv::per_Basic_Aligned, "11ffffff"},
        {CoderEnv::ber, "030407ffffff"},
        {CoderEnv::ber, "030207ff"},
    };
    for (const auto& c : cases) {
        ASN1::BIT_STRING decoded;
        ASSERT_TRUE(ASN1Test::decodeBy(c.first, fromHex(c.second), decoded)) << c.second;
        ASN1::BIT_STRING built;
        built.resize(decoded.size());
        for (unsigned i = 0; i < built.size(); ++i) built.set(i);
        EXPECT_EQ(decoded.compare(built), 0) << c.second;
        decoded.resize(decoded.size() + 3);
        EXPECT_FALSE(decoded[decoded.size() - 1]) << c.second;
    }
}

}  // namespace
