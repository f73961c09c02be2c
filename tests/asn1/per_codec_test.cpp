// The aligned PER bit layer and value layouts worked out by hand, and the
// decoder against hostile input.

#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "asn1/gen/lgcp.h"
#include "asn1/gen/modules.h"
#include "asn1/per_decoder.h"
#include "asn1/per_encoder.h"
#include "tests/asn1/golden_vectors.h"

namespace {

using ASN1::PERDecoder;
using ASN1::PEREncoder;
using ASN1Test::fromHex;
using ASN1Test::toHex;

const ASN1::StringInfo numericOfTwo = {
    {{&ASN1::detail::create<ASN1::NumericString>, 18}, ASN1::FixedConstraint, 2, 2},
    " 0123456789", 11, 4, 4, 4};
const ASN1::StringInfo ia5UpTo65535 = {
    {{&ASN1::detail::create<ASN1::IA5String>, 22}, ASN1::FixedConstraint, 0, 65535},
    ASN1::detail::ia5Characters.chars, 128, 7, 7, 8};
const ASN1::ConstrainedInfo octetsUpTo10 = {
    {&ASN1::detail::create<ASN1::OCTET_STRING>, 4}, ASN1::FixedConstraint, 0, 10};
const ASN1::OpenDataInfo openInteger = {{&ASN1::detail::create<ASN1::TypeConstrainedOpenData>, 0},
                                        &ASN1::INTEGER::theInfo};

// The octets that one bit and then `write` produce (the bit shows whether
// what follows is aligned), or just `write`.
std::string written(bool leadingBit, const std::function<bool(PEREncoder&)>& write) {
    std::vector<char> out;
    PEREncoder encoder(out);
    if (leadingBit) encoder.encodeSingleBit(true);
    return write(encoder) ? toHex(out) : "fails";
}

std::string encoded(const ASN1::AbstractData& value) {
    std::vector<char> out;
    return ASN1Test::encodeBy(ASN1::CoderEnv::per_Basic_Aligned, value, out) ? toHex(out) : "fails";
}

// Decodes `hex` into a new value of the record's type; null on failure.
std::unique_ptr<ASN1::AbstractData> decoded(const ASN1::TypeInfo* info, const std::string& hex) {
    std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(info));
    if (!ASN1Test::decodeBy(ASN1::CoderEnv::per_Basic_Aligned, fromHex(hex), *value)) value.reset();
    return value;
}

// Encodes to `hex` and decodes back to an equal value.
void expectLayout(const ASN1::AbstractData& value, const std::string& hex) {
    EXPECT_EQ(encoded(value), hex) << value;
    std::unique_ptr<ASN1::AbstractData> back = decoded(value.info(), hex);
    EXPECT_TRUE(back && back->compare(value) == 0) << value;
}

TEST(PerBitLayer, ConstrainedWholeNumbersBothWays) {
    struct Case {
        bool leadingBit;
        int64_t value, lower, upper;
        const char* hex;
    };
    const Case cases[] = {
        {false, 5, 5, 5, ""},
        {false, 0, 0, 255, "00"},
        {true, 1, 0, 254, "8080"},  // 8 bits, not aligned
        {true, 1, 0, 255, "8001"},  // 256 values: one aligned octet
        {false, 300, 0, 65535, "012c"},
        {false, 5, 0, UINT32_MAX, "0005"},  // octet count 1 in 2 bits
        {false, UINT32_MAX, 0, UINT32_MAX, "c0ffffffff"},
        {false, 70000, 0, 100000, "80011170"},  // count 3 of 1..3
        {false, 5, -10, 10, "78"},             // 15 in 5 bits
        {false, -1, -128, 127, "7f"},
        {false, 0, -128, 127, "80"},
        {false, 11, 0, 10, "fails"},
        {false, -11, -10, 10, "fails"},
    };
    for (const Case& c : cases) {
        std::string hex = written(c.leadingBit, [&](PEREncoder& e) {
            return e.encodeUnsigned(uint32_t(c.value), int32_t(c.lower), uint32_t(c.upper));
        });
        EXPECT_EQ(hex, c.hex) << c.value << " of " << c.lower << ".." << c.upper;
        if (hex == "fails") continue;
        std::vector<char> octets = fromHex(hex);
        PERDecoder decoder(octets.data(), octets.data() + octets.size(), nullptr);
        bool bit;
        uint32_t v = 0;
        EXPECT_TRUE(!c.leadingBit || decoder.decodeSingleBit(bit));
        EXPECT_TRUE(decoder.decodeUnsigned(int32_t(c.lower), uint32_t(c.upper), v));
        EXPECT_EQ(v, uint32_t(c.value));
        EXPECT_LT(decoder.getBitsLeft(), 8u);
    }
}

TEST(PerBitLayer, LengthsSmallNumbersAndBits) {
    const uint32_t unbounded = ASN1::PerUnbounded;
    auto length = [&](uint32_t n) {
        return written(false, [&](PEREncoder& e) { return e.encodeLength(n, 0, unbounded); });
    };
    EXPECT_EQ(length(127), "7f");
    EXPECT_EQ(length(128), "8080");
    EXPECT_EQ(length(16383), "bfff");
    EXPECT_EQ(length(16384), "fails");
    auto small = [&](uint32_t n) {
        return written(false, [&](PEREncoder& e) { return e.encodeSmallUnsigned(n); });
    };
    EXPECT_EQ(small(63), "7e");
    EXPECT_EQ(small(64), "800140");
    EXPECT_EQ(written(true, [](PEREncoder& e) {
                  e.encodeMultiBit(5, 3);
                  return true;
              }),
              "d0");

    for (uint32_t n : {0u, 127u, 128u, 16383u}) {
        std::vector<char> octets = fromHex(length(n));
        PERDecoder decoder(octets.data(), octets.data() + octets.size(), nullptr);
        uint32_t back = ~0u;
        EXPECT_TRUE(decoder.decodeLength(0, unbounded, back) && back == n) << n;
    }
    // 11 would begin the fragmented form, which is never written.
    std::vector<char> fragmented = fromHex("c000");
    PERDecoder decoder(fragmented.data(), fragmented.data() + 2, nullptr);
    uint32_t n;
    EXPECT_FALSE(decoder.decodeLength(0, unbounded, n));
    // No bit is read beyond the input, not even a single one.
    PERDecoder empty(nullptr, nullptr, nullptr);
    bool bit;
    EXPECT_FALSE(empty.decodeSingleBit(bit));
    EXPECT_FALSE(empty.decodeUnsigned(0, 1, n));
}

TEST(PerBitLayer, BitFieldsReadTheSameNearAndFarFromTheEnd) {
    // Every count after every number of leading bits, once at the end of the
    // input and once with octets after it, which the decoder reads another
    // way; one bit more than the input holds fails.
    for (unsigned offset = 0; offset < 8; ++offset) {
        for (unsigned count = 1; count <= 32; ++count) {
            uint32_t value = 0x9E3779B9u >> (32 - count);
            std::vector<char> out;
            PEREncoder encoder(out);
            encoder.encodeMultiBit(0x55, offset);
            encoder.encodeMultiBit(value, count);
            for (size_t padding : {0, 9}) {
                std::vector<char> octets = out;
                octets.resize(out.size() + padding, '\x5a');
                PERDecoder decoder(octets.data(), octets.data() + octets.size(), nullptr);
                uint32_t lead, got = 0;
                ASSERT_TRUE(decoder.decodeMultiBit(offset, lead));
                EXPECT_TRUE(decoder.decodeMultiBit(count, got));
                EXPECT_EQ(got, value) << offset << '+' << count << " padded " << padding;
                uint64_t rest = decoder.getBitsLeft();
                EXPECT_EQ(rest, octets.size() * 8 - offset - count);
                if (rest < 32) {
                    EXPECT_FALSE(decoder.decodeMultiBit(unsigned(rest) + 1, got));
                }
            }
        }
    }
}

TEST(PerValues, UnconstrainedIntegers) {
    const std::pair<int, const char*> cases[] = {
        {0, "0100"},    {127, "017f"},    {128, "020080"},          {-1, "01ff"},
        {-129, "02ff7f"}, {INT_MIN, "0480000000"}, {INT_MAX, "047fffffff"}};
    for (const auto& c : cases) expectLayout(ASN1::INTEGER(c.first), c.second);
    EXPECT_FALSE(decoded(&ASN1::INTEGER::theInfo, "050102030405"));
}

TEST(PerValues, StringAndOctetLayouts) {
    expectLayout(ASN1::IA5String("abc"), "03616263");
    // Digits as their 4-bit indexes in " 0123456789"; a size of one value
    // writes no length, and two characters stay unaligned.
    expectLayout(ASN1::NumericString("12", &numericOfTwo), "23");
    EXPECT_EQ(written(true, [](PEREncoder& e) { return ASN1::NumericString("12", &numericOfTwo).accept(e); }),
              "9180");
    expectLayout(ASN1::NumericString("12"), "0223");
    EXPECT_EQ(encoded(ASN1::NumericString("1a")), "fails");
    // One or two octets follow the preceding bits; three start aligned.
    EXPECT_EQ(written(true, [](PEREncoder& e) { return ASN1::OCTET_STRING({'A', 'B'}, &octetsUpTo10).accept(e); }),
              "920a10");
    EXPECT_EQ(written(true, [](PEREncoder& e) { return ASN1::OCTET_STRING({'A', 'B', 'C'}, &octetsUpTo10).accept(e); }),
              "98414243");
    ASN1::BIT_STRING bits;
    bits.resize(3);
    bits.set(0);
    bits.set(2);
    expectLayout(bits, "03a0");
    bits.resize(20);
    bits.set(19);
    expectLayout(bits, "14a00010");
    expectLayout(ASN1::BMPString(L"A"), "010041");
    expectLayout(ASN1::OBJECT_IDENTIFIER({2, 100}), "028134");
    expectLayout(ASN1::GeneralizedTime("20240102030405Z"), "0f3230323430313032303330343035" "5a");
}

TEST(PerValues, StringsOfEveryLengthReplaceWhatTheValueHeld) {
    for (size_t n = 0; n <= 40; ++n) {
        std::string text;
        for (size_t i = 0; i < n; ++i) text += char('a' + (n + i) % 26);
        std::vector<char> octets;
        ASSERT_TRUE(ASN1Test::encodeBy(ASN1::CoderEnv::per_Basic_Aligned, ASN1::IA5String(text),
                                       octets));
        ASN1::IA5String into("a text held before, longer than the short ones");
        EXPECT_TRUE(ASN1Test::decodeBy(ASN1::CoderEnv::per_Basic_Aligned, octets, into));
        EXPECT_EQ(static_cast<const std::string&>(into), text);
    }
}

TEST(PerValues, ExtensionMapWithoutSetBitWritesNoExtensionPart) {
    TERM::TermParams params;
    params.set_traceLevel(5);
    params.remove_traceLevel();
    EXPECT_EQ(params.extensionMap().size(), 1u);
    EXPECT_EQ(encoded(params), "00");
}

TEST(PerValues, NegativeEnumerationValuesCannotBeWritten) {
    TERM::RadioStandby standby(TERM::RadioStandby::not_use);
    EXPECT_EQ(encoded(standby), "fails");
}

TEST(PerValues, OpenValuesKeepTheirOctets) {
    ASN1::TypeConstrainedOpenData open(&openInteger);
    static_cast<ASN1::INTEGER&>(*open.get_data()).setValue(5);
    expectLayout(open, "020105");
    // Decoding an untyped open value keeps its octets, which encode as
    // they are and decode later into a value.
    std::unique_ptr<ASN1::AbstractData> value = decoded(&ASN1::OpenData::theInfo, "020105");
    ASSERT_TRUE(value);
    ASN1::OpenData& held = static_cast<ASN1::OpenData&>(*value);
    EXPECT_EQ(toHex(held.get_buf()), "0105");
    EXPECT_EQ(encoded(held), "020105");
    held.grab(new ASN1::INTEGER);
    std::vector<char> none;
    PERDecoder decoder(none.data(), none.data(), nullptr);
    EXPECT_TRUE(decoder.do_revisit(held));
    EXPECT_EQ(static_cast<ASN1::INTEGER*>(held.get_data())->getValue(), 5);
}

TEST(PerValues, SequenceOfBeyond128ElementsEncodesButDoesNotDecode) {
    ASN1::SEQUENCE_OF<ASN1::Null> list;
    list.resize(128);
    expectLayout(list, "8080");  // NULL elements take no bits
    list.resize(129);
    EXPECT_EQ(encoded(list), "8081");
    EXPECT_FALSE(decoded(list.info(), "8081"));
}

TEST(PerValues, UnknownSequenceExtensionsAreSkippedAndForgotten) {
    // MON.SnmpTrapsink { host "a" } with an extension the type does not
    // know: its open type ab cd is skipped.
    std::unique_ptr<ASN1::AbstractData> sink = decoded(ASN1::findType("MON.SnmpTrapsink"), "8001610102abcd");
    ASSERT_TRUE(sink);
    EXPECT_EQ(sink->asValueNotation(), "{\n  host \"a\"\n}");
    EXPECT_EQ(encoded(*sink), "000161");
    EXPECT_FALSE(decoded(ASN1::findType("MON.SnmpTrapsink"), "8001610103abcd"));

    // A value decoded into again keeps no extension of before.
    TERM::TermParams params;
    params.set_vad(true);
    std::vector<char> plain = fromHex(encoded(TERM::TermParams()));
    ASSERT_TRUE(ASN1Test::decodeBy(ASN1::CoderEnv::per_Basic_Aligned, plain, params));
    EXPECT_EQ(params.compare(TERM::TermParams()), 0) << params;
}

TEST(PerHostileInput, FailsWithoutReadingOrAllocatingBeyondTheInput) {
    const std::pair<const char*, const char*> cases[] = {
        // A CHOICE extension index computed in 32 bits would wrap to -1 or 0.
        {"LGCP.Command", "c004fffffff00100"},
        {"LGCP.Command", "c004fffffff10100"},
        // An extension alternative the type does not know.
        {"MON.Signal", "800100"},
        // An open type longer than the input, and one whose value needs
        // octets beyond its own length.
        {"LGCP.TonecCode", "800500"},
        {"TERM.TermParams", "8002010105"},
        // Extension presence maps of 129 and of 2^32 bits.
        {"TERM.TermParams", "810180"},
        {"TERM.TermParams", "8104ffffffff"},
        // An extensible ENUMERATED beyond its root with the count 0, with
        // and without octets after it.
        {"LGCP.ErrorCause", "80"},
        {"LGCP.ErrorCause", "80000000"},
        // Octets and elements announced but not there.
        {"LGCP.HdlcPackage", "0a41"},
        {"MON.SnmpTraps", "000a"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(decoded(ASN1::findType(c.first), c.second)) << c.first << ' ' << c.second;
    }
    // A single bit at the end of the input.
    EXPECT_FALSE(decoded(&ASN1::BOOLEAN::theInfo, ""));
    // A size range that admits 20000 characters, beyond the decoder's limit.
    EXPECT_FALSE(decoded(&ia5UpTo65535, "4e20"));
}

TEST(PerHostileInput, AFailureSaysWhereItStoppedInWhichComponentAndWhetherTheInputEnded) {
    const struct {
        const char* type;
        const char* hex;
        const char* path;
        uint64_t bitsRead;
        bool inputEnded;
    } cases[] = {
        // LGCP.Message { seq 1, slot 5, pdu command : ping : NULL } cut
        // before its slot, before its pdu and inside its pdu.
        {"LGCP.Message", "c001", "seq", 16, true},
        {"LGCP.Message", "c00101", "slot", 24, true},
        {"LGCP.Message", "c0010100", "slot", 24, true},
        {"LGCP.Message", "c001010005", "pdu", 40, true},
        // A command index beyond the root alternatives.
        {"LGCP.Message", "0780", "pdu.command", 9, false},
        // userData announcing five octets of which four are there.
        {"LGCP.Message", "8001031005010203", "pdu.command.userData", 40, true},
        // The value of a set command's first element ends too soon.
        {"MON.Message", "00010001070007312e332e362e31026f", "pdu.command.snmp-set.commands[0].value", 120, true},
        // An extension whose own octets end before its value: the input
        // did not.
        {"TERM.TermParams", "8002010105", "traceLevel", 32, false},
        // Octets and elements announced but not there.
        {"LGCP.HdlcPackage", "0a41", "body", 8, true},
        {"MON.SnmpTraps", "000a", "traps[0]", 16, true},
        // The outermost value fails before any component.
        {"LGCP.Message", "", "", 0, true},
    };
    for (const auto& c : cases) {
        std::vector<char> octets = fromHex(c.hex);
        std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(ASN1::findType(c.type)));
        PERDecoder decoder(octets.data(), octets.data() + octets.size(), nullptr);
        ASN1::PERFailure failure;
        decoder.keepFailure(&failure);
        ASSERT_FALSE(value->accept(decoder)) << c.hex;
        EXPECT_EQ(c.path, failure.path) << c.hex;
        EXPECT_EQ(c.bitsRead, failure.placed ? failure.bitsRead : decoder.getBitsRead()) << c.hex;
        EXPECT_EQ(c.inputEnded, failure.inputEnded) << c.hex;
    }
}

}  // namespace
