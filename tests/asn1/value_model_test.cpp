// Basic value classes, their records and the shared number helpers.

#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "asn1/gen/lgcp.h"

namespace {

// The shared number helpers at the ends of their ranges, where the sums
// they would naturally use overflow.
TEST(ValueModel, NumberHelpersAtTheEndsOfTheRange) {
    const std::pair<uint32_t, unsigned> counts[] = {{1, 0},           {2, 1},           {1024, 10},
                                                    {1025, 11},       {0x80000000u, 31}, {0x80000001u, 32},
                                                    {0xFFFFFFFFu, 32}, {0, 32}};
    for (const auto& c : counts) EXPECT_EQ(ASN1::CountBits(c.first), c.second) << c.first;
    const std::pair<int, unsigned> widths[] = {{0, 1},     {-1, 1},   {127, 8},      {128, 9},
                                               {-128, 8},  {-129, 9}, {INT_MAX, 32}, {INT_MIN, 32}};
    for (const auto& w : widths) EXPECT_EQ(ASN1::TwosComplementBits(w.first), w.second) << w.first;
}

TEST(ValueModel, ComparisonIsUnsignedForBytesAndOrdersExtremeIntegers) {
    auto cmp = [](const std::string& a, const std::string& b) {
        return ASN1::lexicographic_compare_bytes(a.data(), a.data() + a.size(), b.data(),
                                                 b.data() + b.size());
    };
    EXPECT_LT(cmp("ab", "abc"), 0);
    EXPECT_GT(cmp("b", "abc"), 0);
    EXPECT_EQ(cmp("\x80", "\x01"), 0x80 - 0x01);
    ASN1::INTEGER low(INT_MIN), high(INT_MAX);
    EXPECT_LT(low.compare(high), 0);
    EXPECT_GT(high.compare(low), 0);

    ASN1::BIT_STRING a, b;
    a.resize(8);
    b.resize(8);
    a.set(0);
    b.set(1);
    EXPECT_GT(a.compare(b), 0);  // the side with the differing bit set is greater
    b.resize(9);
    b.clear(1);
    a.clear(0);
    EXPECT_LT(a.compare(b), 0);
}

TEST(ValueModel, ObjectIdentifierContentOctets) {
    ASN1::OBJECT_IDENTIFIER id{2, 100};
    std::vector<char> octets;
    id.encodeCommon(octets);
    EXPECT_EQ(octets, (std::vector<char>{char(129), 52}));

    ASN1::OBJECT_IDENTIFIER read;
    ASSERT_TRUE(read.decodeCommon(octets.data(), octets.size()));
    EXPECT_EQ(read.compare(id), 0);

    const char first[] = {39, 40, 79, 80};
    ASSERT_TRUE(read.decodeCommon(first, 1));
    EXPECT_EQ(read.arcs(), (std::vector<unsigned>{0, 39}));
    ASSERT_TRUE(read.decodeCommon(first + 2, 1));
    EXPECT_EQ(read.arcs(), (std::vector<unsigned>{1, 39}));
    ASSERT_TRUE(read.decodeCommon(first + 3, 1));
    EXPECT_EQ(read.arcs(), (std::vector<unsigned>{2, 0}));

    const char truncated[] = {42, char(0x86)};
    EXPECT_FALSE(read.decodeCommon(truncated, 2));
    EXPECT_EQ(read.arcs(), (std::vector<unsigned>{1, 2}));
    const char tooLong[] = {42, char(0x90), char(0x80), char(0x80), char(0x80), 0};
    EXPECT_FALSE(read.decodeCommon(tooLong, sizeof tooLong));
    EXPECT_TRUE(read.decodeCommon(tooLong, 0));
    EXPECT_EQ(read.levels(), 0u);
}

TEST(ValueModel, GeneralizedTimeText) {
    ASN1::GeneralizedTime t("20240131235959.5Z");
    EXPECT_EQ(t.getMillisec(), 500);
    EXPECT_TRUE(t.getUTC());
    EXPECT_EQ(t.get(), "20240131235959.500Z");

    ASN1::GeneralizedTime zoned("20240131120000-0130");
    EXPECT_EQ(zoned.getMinuteDifference(), -90);
    EXPECT_EQ(zoned.get(), "20240131120000-0130");
    EXPECT_LT(zoned.compare(t), 0);

    ASN1::GeneralizedTime epoch;
    epoch.set_time_t(86400 + 3661);
    EXPECT_EQ(epoch.get(), "19700102010101");
    epoch.set("2001");  // no validation: the rest keeps its value
    EXPECT_EQ(epoch.get(), "20010102010101");
}

TEST(ValueModel, EnumerationValuesFollowTheirTexts) {
    // New values hold 0 even where no identifier has it.
    EXPECT_EQ(TERM::ED137CallPriority().getValue(), 0);
    EXPECT_EQ(TERM::ED137CallPriority().getName(), nullptr);
    LEMZGW::ProtoLemzMsgID id;
    EXPECT_EQ(id.getValue(), 0);

    id = LEMZGW::ProtoLemzMsgID::gw_get_id;
    EXPECT_STREQ(id.getName(), "gw-get-id=4097");
    ASSERT_TRUE(id.setFromName("gw-keep-alive"));
    EXPECT_EQ(id.getValue(), 4098);
    EXPECT_FALSE(id.setFromName("gw-keep-alive=4098"));
    EXPECT_FALSE(id.setFromName("gw-get-id"));
    EXPECT_EQ(id.getValue(), 4098);

    TERM::IpQoSDSCP dscp;
    ASSERT_TRUE(dscp.setFromName("cs1=8"));
    EXPECT_EQ(dscp.getValue(), 8);
    ASSERT_TRUE(dscp.setFromName("le"));
    EXPECT_EQ(dscp.getValue(), 1);
    EXPECT_FALSE(dscp.setFromName("af11"));  // its text is "af11=10"
    EXPECT_EQ(dscp.getValue(), 1);
    dscp.setValue(23);
    EXPECT_STREQ(dscp.getName(), "count=23");
    EXPECT_EQ(dscp.getMaximum(), 56);
    // Repeated values name the first identifier that has them.
    LEMZGW::ProtoLemzAnalogGainIDV1 gain(LEMZGW::ProtoLemzAnalogGainIDV1::min);
    EXPECT_STREQ(gain.getName(), "rtx1");
}

TEST(ValueModel, NamedNumbers) {
    static const ASN1::NameEntry entries[] = {{-1, "minus"}, {3, "three"}, {7, "seven"}};
    static const ASN1::NamedNumberInfo info = {
        {{&ASN1::detail::create<ASN1::IntegerWithNamedNumber>, 2}, ASN1::Unconstrained, 0, 0},
        entries,
        3};
    ASN1::IntegerWithNamedNumber value(7, &info);
    std::string name;
    ASSERT_TRUE(value.getName(name));
    EXPECT_EQ(name, "seven");
    value = 4;
    EXPECT_FALSE(value.getName(name));
    ASSERT_TRUE(value.setFromName("minus"));
    EXPECT_EQ(value.getValue(), -1);
    EXPECT_FALSE(value.setFromName("eight"));
}

TEST(ValueModel, CloneKeepsClassRecordAndData) {
    LGCP::Message message;
    message.set_slot(5);
    message.set_pdu().set_command().set_connect(77);
    std::unique_ptr<ASN1::AbstractData> copy(message.clone());
    ASSERT_NE(dynamic_cast<LGCP::Message*>(copy.get()), nullptr);
    EXPECT_EQ(copy->info(), message.info());
    EXPECT_EQ(copy->compare(message), 0);

    // Deep: the copy's components are its own.
    LGCP::Message& other = static_cast<LGCP::Message&>(*copy);
    other.set_pdu().set_command().set_connect(78);
    EXPECT_EQ(message.get_pdu().get_command().get_connect().getValue(), 77u);
    EXPECT_NE(copy->compare(message), 0);
    EXPECT_NE(dynamic_cast<const LGCP::Command*>(other.get_pdu().getSelection()), nullptr);
}

}  // namespace
