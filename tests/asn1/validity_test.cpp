// isValid, isStrictlyValid and the texts of trace_invalid.

#include <gtest/gtest.h>

#include <sstream>

#include "asn1/gen/lgcp.h"
#include "asn1/validity.h"
#include "tests/asn1/golden_vectors.h"

namespace {

typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, -128, 127> Signed8;
typedef ASN1::Constrained_INTEGER<ASN1::ExtendableConstraint, 0, 10> UpTo10Extensible;

struct OneToFour {
    static constexpr ASN1::ConstraintType type = ASN1::FixedConstraint;
    static constexpr int lower = 1;
    static constexpr unsigned upper = 4;
};

const ASN1::StringInfo printableUpTo2 = {
    {{&ASN1::detail::create<ASN1::PrintableString>, 19}, ASN1::FixedConstraint, 0, 2},
    ASN1::PrintableString::theInfo.characterSet, 74, 7, 7, 8};
const ASN1::StringInfo printableUpTo2Extensible = {
    {{&ASN1::detail::create<ASN1::PrintableString>, 19}, ASN1::ExtendableConstraint, 0, 2},
    ASN1::PrintableString::theInfo.characterSet, 74, 7, 7, 8};
const ASN1::BMPStringInfo latinOnly = {
    {{&ASN1::detail::create<ASN1::BMPString>, 30}, ASN1::Unconstrained, 0, UINT_MAX}, 0, 0xFF, 16, 16};

// What trace_invalid writes with the prefix "v"; "" for a valid value.
std::string traced(const ASN1::AbstractData& value) {
    std::ostringstream os;
    bool valid = ASN1::trace_invalid(os, "v", value);
    EXPECT_EQ(valid, os.str().empty());
    return os.str();
}

TEST(Validity, IntegerRanges) {
    EXPECT_TRUE(Signed8(-1).isValid());
    EXPECT_TRUE(Signed8(-1).isStrictlyValid());
    EXPECT_FALSE(Signed8(128).isValid());
    EXPECT_FALSE(Signed8(128).isStrictlyValid());
    EXPECT_EQ(traced(Signed8(-129)), "v The INTEGER value -129 is smaller than lower bound -128\n");
    EXPECT_EQ(traced(Signed8(128)), "v The INTEGER value 128 is greater than upper bound 127\n");
    // An extension marker admits values beyond the root.
    EXPECT_TRUE(UpTo10Extensible(11).isValid());
    EXPECT_FALSE(UpTo10Extensible(11).isStrictlyValid());
    EXPECT_EQ(traced(UpTo10Extensible(11)), "");
}

TEST(Validity, PathsThroughSequencesChoicesAndLists) {
    LGCP::Message message;
    message.set_pdu().set_command().set_connect(2000);
    EXPECT_FALSE(message.isValid());
    std::ostringstream os;
    EXPECT_FALSE(ASN1::trace_invalid(os, "msg", message));
    EXPECT_EQ(os.str(), "msg.pdu.command.connect The INTEGER value 2000 is greater than upper bound 1023\n");

    LGCP::MixerOutParams mixer;
    mixer.set_channel().set_tdm(1);
    mixer.set_inputs().resize(2);
    mixer.set_inputs()[0].set_channel().set_rtp(2);
    EXPECT_EQ(traced(mixer), "v.inputs[1].channel This CHOICE is not selected\n");
    mixer.set_inputs()[1].set_channel().set_rtp(3);
    EXPECT_TRUE(mixer.isStrictlyValid());

    ASN1::SEQUENCE_OF<ASN1::BOOLEAN, OneToFour> list;
    EXPECT_EQ(traced(list), "v This SEQUENCE OF has size 0 smaller than its lower bound 1\n");
    list.resize(5);
    EXPECT_EQ(traced(list), "v This SEQUENCE OF has size 5 greater than its upper bound 4\n");
}

TEST(Validity, DecodedSlotBeyondItsRangeIsKeptAndReported) {
    // The decoder does not check upper bounds that the field can exceed:
    // slot 2047 of 0..1023 reads, and the checks tell.
    LGCP::Message message;
    ASSERT_TRUE(ASN1Test::decodeBy(ASN1::CoderEnv::per_Basic_Aligned,
                                   ASN1Test::fromHex("c0010107ff18"), message));
    EXPECT_EQ(message.get_slot().getValue(), 2047u);
    EXPECT_EQ(traced(message), "v.slot The INTEGER value 2047 is greater than upper bound 1023\n");
    std::vector<char> octets;
    EXPECT_FALSE(ASN1Test::encodeBy(ASN1::CoderEnv::per_Basic_Aligned, message, octets));
}

TEST(Validity, EnumerationsAndChoiceSelections) {
    LGCP::ErrorCause cause;
    cause.setValue(20);
    EXPECT_TRUE(cause.isValid());
    EXPECT_FALSE(cause.isStrictlyValid());
    EXPECT_EQ(traced(cause), "v This ENUMERATED has invalid value 20\n");
    LGCP::CodecMode mode;
    mode.setValue(3);
    EXPECT_FALSE(mode.isValid());

    LGCP::TonecCode code;
    code.set_dtmfDone();
    EXPECT_TRUE(code.isValid());
    EXPECT_FALSE(code.isStrictlyValid());
    EXPECT_FALSE(code.select(99));
    EXPECT_EQ(traced(code), "v This selection is not understood by this decoder\n");
    LGCP::Response response;
    response.setSelection(1, new LGCP::ErrorCause);
    response.setSelection(5, new ASN1::Null);
    EXPECT_EQ(traced(response), "v This selection is not understood by this decoder\n");
}

TEST(Validity, StringsAndOtherKinds) {
    EXPECT_EQ(traced(ASN1::PrintableString("a*")), "v The character '*' is not valid for the string\n");
    EXPECT_EQ(traced(ASN1::PrintableString("abc", &printableUpTo2)),
              "v This AbstractString has size 3 greater than its upper bound 2\n");
    EXPECT_TRUE(ASN1::PrintableString("abc", &printableUpTo2Extensible).isValid());
    EXPECT_FALSE(ASN1::PrintableString("abc", &printableUpTo2Extensible).isStrictlyValid());
    EXPECT_TRUE(ASN1::IA5String(std::string(100000, 'x')).isStrictlyValid());

    ASN1::BMPString wide(L"a\x100", &latinOnly);
    EXPECT_EQ(wide.first_illegal_at(), 1u);
    EXPECT_EQ(traced(wide), "v The character '256' is not valid for the string\n");
    EXPECT_EQ(traced(ASN1::OBJECT_IDENTIFIER()), "v This OBJECT IDENTIFIER is not assigned\n");
    EXPECT_EQ(traced(ASN1::GeneralizedTime(2024, 13, 1, 0, 0, 0)), "v This GeneralizedTime is not valid\n");
    EXPECT_EQ(traced(ASN1::OpenData()), "v This Open Type does not contain any valid data\n");
    ASN1::OpenData undecoded;
    undecoded.get_buf().push_back(0);
    EXPECT_TRUE(undecoded.isStrictlyValid());
}

}  // namespace
