// The value-notation writer's exact text and the reader as its inverse.

#include <gtest/gtest.h>

#include <iomanip>
#include <memory>
#include <sstream>
#include <string>

#include "asn1/avn_decoder.h"
#include "asn1/coder_env.h"
#include "asn1/gen/lgcp.h"
#include "asn1/gen/modules.h"
#include "tests/asn1/random_value.h"

namespace {

std::string printed(const ASN1::AbstractData& value) {
    std::ostringstream os;
    os << value;
    EXPECT_FALSE(os.fail());
    return os.str();
}

LGCP::Message ping() {
    LGCP::Message message;
    message.set_seq(7);
    message.set_slot(3);
    message.set_pdu().set_command().set_ping();
    return message;
}

TEST(ValueNotationWriter, MessageWithPing) {
    EXPECT_EQ(printed(ping()), "{\n  seq 7,\n  slot 3,\n  pdu command : ping : NULL\n}");
}

TEST(ValueNotationWriter, NestedMessage) {
    LGCP::Message message;
    message.set_seq(12);
    LGCP::CreateRtpParams& create = message.set_pdu().set_command().set_create().set_rtp();
    TERM::RtpParams& rtp = create.set_codecRTP();
    rtp.set_payload(TERM::Payload::ptG729);
    rtp.set_dhost().set_iaddr("10.0.0.1");
    rtp.set_dhost().set_port(5004);
    rtp.set_qos_dscp(TERM::IpQoSDSCP::ef);
    EXPECT_EQ(printed(message),
              "{\n"
              "  seq 12,\n"
              "  pdu command : create : rtp : {\n"
              "    codecRTP {\n"
              "      payload ptG729,\n"
              "      dhost {\n"
              "        iaddr \"10.0.0.1\",\n"
              "        port 5004\n"
              "      },\n"
              "      qos-dscp ef=46\n"
              "    },\n"
              "    txPayload ptG711-Alaw,\n"
              "    rxPayload ptG711-Alaw\n"
              "  }\n"
              "}");
}

TEST(ValueNotationWriter, ListsAndEmptyValues) {
    LGCP::MixerOutParams params;
    params.set_unit(1);
    params.set_channel().set_rtp(2);
    EXPECT_EQ(printed(params), "{\n  unit 1,\n  channel rtp : 2,\n  inputs {\n  }\n}");
    LGCP::MixerInput input;
    input.set_channel().set_tdm(9);
    input.set_gain(-3);
    params.set_inputs().push_back(input);
    input.set_channel().set_tdm(10);
    input.set_gain(0);
    params.set_inputs().push_back(input);
    EXPECT_EQ(printed(params),
              "{\n  unit 1,\n  channel rtp : 2,\n  inputs {\n"
              "    {\n      channel tdm : 9,\n      gain -3\n    },\n"
              "    {\n      channel tdm : 10,\n      gain 0\n    }\n  }\n}");
    EXPECT_EQ(printed(LGCP::MapParams()), "{\n}");
    EXPECT_EQ(printed(ASN1::SEQUENCE_OF<ASN1::INTEGER>()), "{\n}");
}

TEST(ValueNotationWriter, BasicKinds) {
    EXPECT_EQ(printed(ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 4294967295u>(
                  0xFFFFFFFFu)),
              "4294967295");
    EXPECT_EQ(printed(ASN1::INTEGER(-1)), "-1");
    EXPECT_EQ(printed(LEMZGW::ProtoLemzMsgID(LEMZGW::ProtoLemzMsgID::gw_get_id)),
              "gw-get-id=4097");
    TERM::ED137CallPriority priority;
    EXPECT_EQ(printed(priority), "0");
    EXPECT_EQ(printed(ASN1::OCTET_STRING()), "''H");
    EXPECT_EQ(printed(ASN1::BIT_STRING()), "''B");
    EXPECT_EQ(printed(ASN1::OCTET_STRING(std::vector<char>{1, char(0xAB)})), "'01 ab'H");
    ASN1::BIT_STRING bits;
    bits.resize(3);
    bits.set(1);
    EXPECT_EQ(printed(bits), "'010'B");
    EXPECT_EQ(printed(ASN1::OBJECT_IDENTIFIER{1, 2, 840}), "{ 1 2 840 }");
    EXPECT_EQ(printed(ASN1::BOOLEAN(true)), "TRUE");
    EXPECT_EQ(printed(ASN1::IA5String("a b")), "\"a b\"");
    EXPECT_EQ(printed(ASN1::GeneralizedTime("20240102030405Z")), "\"20240102030405Z\"");
    EXPECT_EQ(printed(ASN1::BMPString(L"ok")), "\"ok\"");
    EXPECT_EQ(printed(ASN1::BMPString(std::wstring(L"a\x0416", 2))),
              "{{ 0, 0, 0, 97}, { 0, 0, 4, 22}}");
}

TEST(ValueNotationWriter, StreamStateAroundPrinting) {
    std::ostringstream os;
    os << std::hex << std::setfill('*') << ASN1::INTEGER(255) << ' ' << 255 << ' ';
    os << ASN1::OCTET_STRING(std::vector<char>{16}) << ' ' << std::setw(3) << 1;
    // Numbers print decimal whatever the base; the stream keeps its base
    // and has a space fill after an OCTET STRING.
    EXPECT_EQ(os.str(), "255 ff '10'H   1");

    std::ostringstream failed;
    failed.setstate(std::ios::failbit);
    failed << ping();
    EXPECT_EQ(failed.str(), "");

    LGCP::Message unselected;
    unselected.set_seq(1);
    std::ostringstream partial;
    partial << unselected;
    EXPECT_TRUE(partial.fail());
    EXPECT_EQ(partial.str(), "{\n  seq 1,\n  pdu ");
    EXPECT_EQ(unselected.asValueNotation(), "{\n  seq 1,\n  pdu ");
}

// Every type of every module: random values print, read back equal and print
// the same text again.
TEST(ValueNotationReader, RoundTripsEveryType) {
    unsigned checked = 0;
    for (const ASN1::Module* module : ASN1::generatedModules) {
        for (unsigned i = 0; i < module->typeCount; ++i) {
            const ASN1::ModuleType& type = module->types[i];
            for (uint32_t seed = 1; seed <= 6; ++seed) {
                ASN1Test::RandomValue random(seed * 7919 + i);
                std::unique_ptr<ASN1::AbstractData> value = random.make(type.info);
                ASSERT_TRUE(value) << module->name << "." << type.name;
                std::string text = value->asValueNotation();
                std::unique_ptr<ASN1::AbstractData> read(ASN1::AbstractData::create(type.info));
                ASSERT_TRUE(read->setFromValueNotation(text))
                    << module->name << "." << type.name << "\n" << text;
                EXPECT_EQ(read->compare(*value), 0) << module->name << "." << type.name;
                EXPECT_EQ(read->asValueNotation(), text);
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 513u * 6);
}

// The reader's verdict on a text: where it failed and why ("" when it read).
ASN1::NotationFailure readFailure(const std::string& text) {
    std::istringstream is(text);
    ASN1::AVNDecoder decoder(is);
    LGCP::Message message;
    bool read = message.accept(decoder);
    EXPECT_EQ(read, decoder.failure().reason.empty()) << text;
    return decoder.failure();
}

TEST(ValueNotationReader, EveryTruncationFailsCleanly) {
    ASN1Test::RandomValue random(42);
    std::unique_ptr<ASN1::AbstractData> value = random.make(&LGCP::Message::theInfo);
    std::string text = value->asValueNotation();
    for (size_t n = 0; n < text.size(); ++n) {
        LGCP::Message read;
        EXPECT_FALSE(read.setFromValueNotation(text.substr(0, n))) << text.substr(0, n);
        ASN1::NotationFailure failure = readFailure(text.substr(0, n));
        EXPECT_GE(failure.offset, 0) << text.substr(0, n);
        EXPECT_LE(failure.offset, static_cast<long long>(n)) << text.substr(0, n);
    }
}

TEST(ValueNotationReader, MalformedTextFailsWhereItGoesWrongSayingWhatWasExpected) {
    const std::string commands =
        "expected \"query\", \"testBpc\", \"connect\", \"disconnect\", \"create\", \"destroy\", "
        "\"activate\", \"deactivate\", \"userData\", \"ioctl\", \"trunkCfg\", \"clockCfg\", "
        "\"ping\", \"display\" or \"protoLemz\"";
    const std::string causes = "expected \"invalidParams\", \"insufficientResources\", ";
    const std::string number = "expected a number from 0 to 4294967295";
    const struct {
        const char* text;
        long long offset;
        std::string reason;  // a prefix of it
    } bad[] = {
        {"", 0, "expected \"{\""},
        {"{}", 1, "expected \"seq\", \"slot\" or \"pdu\""},              // pdu is mandatory
        {"{ pdu command : ping : NULL, seq 1 }", 29, "expected \"}\""},  // out of order
        {"{ seq 1, seq 2, pdu command : ping : NULL }", 9, "expected \"slot\" or \"pdu\""},
        {"{ seq 1 pdu command : ping : NULL }", 8, "expected \",\" or \"}\""},
        {"{ sequence 1, pdu command : ping : NULL }", 2, "expected \"seq\", \"slot\" or \"pdu\""},
        {"{ seq 1, 2 }", 9, "expected \"slot\" or \"pdu\""},
        {"{ slot -1, pdu command : ping : NULL }", 7, number},
        {"{ slot 4294967296, pdu command : ping : NULL }", 7, number},
        {"{ seq 2147483648, pdu command : ping : NULL }", 6, "expected a number from"},
        {"{ seq 99999999999999999999, pdu command : ping : NULL }", 6, "expected a number from"},
        {"{ pdu command : pong : NULL }", 16, commands},
        {"{ pdu command : ping NULL }", 21, "expected \":\""},
        {"{ pdu command : ping : NULLX }", 23, "expected \"NULL\""},
        {"{ pdu response : error : noSuchCause }", 25, causes},
        {"{ pdu command : userData : '0g'H }", 29, "expected a hexadecimal digit"},
        {"{ pdu command : userData : '012'B }", 30, "expected a binary digit"},
        {"{ pdu command : userData : '01'X }", 31, "expected \"B\" or \"H\""},
        {"{ pdu command : userData : 01 }", 27, "expected a quoted bit or hexadecimal string"},
        {"{ pdu command : userData : '01 }", 32, "expected the closing apostrophe"},
        {"{ pdu signal : number : \"12 }", 29, "expected the closing double quote"},
        {"{ pdu command : ping : NULL", 27, "expected \",\" or \"}\""},
        {"{ pdu command : clockCfg : { x", 29, "expected \""},
    };
    for (const auto& b : bad) {
        LGCP::Message message;
        EXPECT_FALSE(message.setFromValueNotation(b.text)) << b.text;
        ASN1::NotationFailure failure = readFailure(b.text);
        EXPECT_EQ(failure.offset, b.offset) << b.text;
        EXPECT_EQ(failure.reason.substr(0, b.reason.size()), b.reason)
            << b.text << ": " << failure.reason;
    }
    for (const char* trailing :
         {"{ pdu command : ping : NULL } trailing", "{ pdu command : ping : NULL }}"}) {
        LGCP::Message message;
        EXPECT_FALSE(message.setFromValueNotation(trailing)) << trailing;
    }
    std::istringstream is("{ pdu command : pong : NULL }");
    LGCP::Message message;
    is >> message;
    EXPECT_TRUE(is.fail());
}

TEST(ValueNotationReader, AcceptsFreeSpacingAndResetsWhatIsNotGiven) {
    LGCP::Message message;
    message.set_seq(9);
    ASSERT_TRUE(message.setFromValueNotation(
        " {slot 5,pdu   command:userData:'01 AB\n 2'H}  \n"));
    EXPECT_FALSE(message.has_seq());
    EXPECT_EQ(message.get_slot().getValue(), 5u);
    EXPECT_EQ(message.get_pdu().get_command().get_userData().str(), "\x01\xab\x20");

    LGCP::MixerOutParams params;
    params.set_inputs().resize(3);
    ASSERT_TRUE(params.setFromValueNotation("{unit 1, channel tdm : 2, inputs {}}"));
    EXPECT_TRUE(params.get_inputs().empty());

    // Two values in a row on one stream.
    std::istringstream is("{ pdu command : ping : NULL } { seq 4, pdu command : query : NULL }");
    LGCP::Message first, second;
    is >> first >> second;
    ASSERT_FALSE(is.fail());
    EXPECT_TRUE(second.get_pdu().get_command().is_query());
    EXPECT_EQ(second.get_seq().getValue(), 4);
}

// The names are the value model's (its tests); the reader also takes the
// number printed for a value without a name.
TEST(ValueNotationReader, EnumerationsByNameOrNumber) {
    TERM::IpQoSDSCP dscp;
    ASSERT_TRUE(dscp.setFromValueNotation("57"));
    EXPECT_EQ(dscp.getValue(), 57);
    TERM::RadioStandby standby;
    ASSERT_TRUE(standby.setFromValueNotation("not-use=-1"));
    EXPECT_EQ(standby.getValue(), -1);
}

TEST(ValueNotationReader, RuntimeKindsOutsideTheSchema) {
    ASN1::BMPString wide(std::wstring(L"a\x0416", 2));
    ASN1::BMPString wideRead;
    ASSERT_TRUE(wideRead.setFromValueNotation(wide.asValueNotation()));
    EXPECT_EQ(wideRead.compare(wide), 0);
    EXPECT_FALSE(wideRead.setFromValueNotation("{{ 1, 0, 0, 97}}"));

    ASN1::GeneralizedTime time("20240102030405.250+0130");
    ASN1::GeneralizedTime timeRead;
    ASSERT_TRUE(timeRead.setFromValueNotation(time.asValueNotation()));
    EXPECT_EQ(timeRead.compare(time), 0);

    ASN1::BIT_STRING bits;
    ASSERT_TRUE(bits.setFromValueNotation("'A'H"));
    EXPECT_EQ(bits.size(), 4u);
    EXPECT_TRUE(bits[0]);
    EXPECT_FALSE(bits[1]);
    ASN1::OBJECT_IDENTIFIER id;
    ASSERT_TRUE(id.setFromValueNotation("{ 1 2 840 }"));
    EXPECT_EQ(id.levels(), 3u);
    ASN1::OpenData open;
    EXPECT_FALSE(open.setFromValueNotation("'01'H"));
}

TEST(ValueNotation, CoderEnvironmentRuleZero) {
    ASN1::CoderEnv env(ASN1::CoderEnv::avn);
    std::vector<char> out = {'>'};
    ASSERT_TRUE(ASN1::encode(ping(), &env, std::back_inserter(out)));
    std::string text(out.begin() + 1, out.end());
    EXPECT_EQ(text, printed(ping()));
    LGCP::Message read;
    ASSERT_TRUE(ASN1::decode(text.data(), text.data() + text.size(), &env, read, true));
    EXPECT_EQ(read.compare(ping()), 0);
    EXPECT_FALSE(ASN1::encode(LGCP::Message(), &env, std::back_inserter(out)));
    EXPECT_EQ(out.size(), text.size() + 1);  // nothing appended on failure
    EXPECT_TRUE(env.modules().empty());
}

}  // namespace
