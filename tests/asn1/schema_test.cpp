// The generated records against the schema tables of the nine modules.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "asn1/gen/ccp.h"
#include "asn1/gen/lgcp.h"
#include "asn1/gen/media.h"
#include "asn1/gen/modules.h"

namespace {

std::vector<std::string> names(const char* const* table, unsigned count) {
    return std::vector<std::string>(table, table + count);
}

const ASN1::SequenceInfo& sequence(const char* name) {
    return *static_cast<const ASN1::SequenceInfo*>(ASN1::findType(name));
}

const ASN1::ChoiceInfo& choice(const char* name) {
    return *static_cast<const ASN1::ChoiceInfo*>(ASN1::findType(name));
}

const ASN1::EnumInfo& enumeration(const char* name) {
    return *static_cast<const ASN1::EnumInfo*>(ASN1::findType(name));
}

TEST(Schema, ModulesHoldTheirNamedTypesByKind) {
    // {sequences, choices, enumerations} per module.
    const std::map<std::string, std::vector<unsigned>> expected = {
        {"BASE", {1, 0, 2}},    {"HSP", {11, 4, 6}},     {"MON", {11, 7, 1}},
        {"LEMZGW", {93, 20, 33}}, {"TERM", {89, 40, 33}}, {"ACP", {21, 7, 14}},
        {"LGCP", {64, 24, 19}}, {"MEDIA", {3, 7, 1}},    {"CCP", {1, 1, 0}}};
    unsigned total = 0;
    ASSERT_EQ(ASN1::generatedModuleCount, expected.size());
    for (const ASN1::Module* module : ASN1::generatedModules) {
        std::vector<unsigned> kinds(3);
        for (unsigned i = 0; i < module->typeCount; ++i) {
            unsigned tag = module->types[i].info->tag;
            kinds[tag == 16 ? 0 : tag == 0 ? 1 : 2]++;
            if (i > 0) {
                EXPECT_LT(std::string(module->types[i - 1].name), module->types[i].name);
            }
        }
        EXPECT_EQ(kinds, expected.at(module->name)) << module->name;
        total += module->typeCount;
    }
    EXPECT_EQ(total, 513u);
    EXPECT_EQ(ASN1::findType("LGCP.Message"), &LGCP::Message::theInfo);
    EXPECT_EQ(ASN1::findType("MON.Message"), &MON::Message::theInfo);
    EXPECT_EQ(ASN1::findType("LGCP.Nothing"), nullptr);
    EXPECT_EQ(ASN1::findType("Message"), nullptr);
}

TEST(Schema, PresenceIdsCountOptionalComponentsOnly) {
    const ASN1::SequenceInfo& response = TERM::ED137RadioResponse::theInfo;
    EXPECT_EQ(response.numOptional, 14u);
    std::vector<int> ids(response.ids, response.ids + response.numFields);
    EXPECT_EQ(ids, (std::vector<int>{0, 1, -1, -1, 2, 3, 4, 5, 6, 7, -1, 8, 9, 10, 11, 12, 13}));
    EXPECT_STREQ(response.fieldNames[4], "bss");
    EXPECT_STREQ(response.fieldNames[11], "rtphe");

    const ASN1::SequenceInfo& message = LGCP::Message::theInfo;
    EXPECT_EQ(std::vector<int>(message.ids, message.ids + 3), (std::vector<int>{0, 1, -1}));
    EXPECT_FALSE(message.extendable);
}

// Choice and sequence records: roots, additions and the extension marker.
TEST(Schema, RootAndAdditionCounts) {
    struct Counts {
        const char* type;
        unsigned roots, total;
        bool extendable;
    };
    for (const Counts& c : {Counts{"LGCP.TonecCode", 6, 7, true}, Counts{"ACP.AcpCommand", 6, 17, true},
                            Counts{"LGCP.Command", 15, 15, true}, Counts{"LGCP.PDU", 3, 3, false},
                            Counts{"LEMZGW.ProtoLemzPacketPayload", 66, 66, true}}) {
        EXPECT_EQ(choice(c.type).numChoices, c.roots) << c.type;
        EXPECT_EQ(choice(c.type).totalChoices, c.total) << c.type;
        EXPECT_EQ(choice(c.type).extendable, c.extendable) << c.type;
    }
    EXPECT_STREQ(choice("LGCP.TonecCode").selectionNames[6], "dtmfDone");
    const ASN1::SequenceInfo& params = sequence("TERM.TermParams");
    EXPECT_EQ(params.numFields, 6u);
    EXPECT_EQ(params.knownExtensions, 13u);
    EXPECT_EQ(params.numOptional, 6u);
    EXPECT_STREQ(params.fieldNames[18], "radio-command");
    EXPECT_TRUE(enumeration("LGCP.ErrorCause").extendable);
    EXPECT_FALSE(sequence("ACP.SS7LinkInfo").extendable);
}

TEST(Schema, EnumerationTextsCarryValuesThatDoNotFollow) {
    struct Expect {
        const char* type;
        std::vector<std::string> texts;
        int largest;
    };
    const Expect cases[] = {
        {"TERM.RadioStandby", {"not-use=-1", "active", "standby"}, 1},
        {"HSP.StandbyState", {"initial", "learn", "listen", "speak=4", "standby=8", "active=16"}, 16},
        {"LEMZGW.ProtoLemzAnalogGainIDV2", {"rdoc1=11", "rdoc2", "fake=255", "min=11", "max"}, 255},
        {"LGCP.ErrorCause",
         {"invalidParams", "insufficientResources", "invalidSlot", "slotNotExists",
          "unexpectedMsgType", "internal", "unsupported", "reconnectionFail", "disconnectFail",
          "connectFail", "busError", "slotIdBusy", "destroyInProgress"},
         12},
    };
    for (const Expect& c : cases) {
        const ASN1::EnumInfo& info = enumeration(c.type);
        EXPECT_EQ(names(info.names, info.nameCount), c.texts) << c.type;
        EXPECT_EQ(info.maxEnumValue, c.largest) << c.type;
    }
    const ASN1::EnumInfo& ids = LEMZGW::ProtoLemzMsgID::theInfo;
    ASSERT_EQ(ids.nameCount, 66u);
    EXPECT_STREQ(ids.names[65], "ali-server-p1=13056");
    EXPECT_EQ(ids.maxEnumValue, 13056);
    // The enumerators the other subsystems name.
    EXPECT_EQ(LEMZGW::ProtoLemzMsgID::gw_get_id, 4097);
    EXPECT_EQ(TERM::RadioStandby::not_use, -1);
}

// Names as the tables spell them, and the accessors made of them.
TEST(Schema, NamesStandAsTheTablesSpellThem) {
    EXPECT_STREQ(ACP::DspResource::fieldNames[1], "availible");
    EXPECT_STREQ(LGCP::CreateParams::selectionNames[8], "trunk_bri");
    EXPECT_EQ(LGCP::CreateParams::e_ats_qsig_b, 18);
    LEMZGW::EMSignalingDigital digital;
    EXPECT_STREQ(LEMZGW::EMSignalingDigital::fieldNames[12], "dtmf-detector_mark-max-time");
    digital.set_dtmf_detector_mark_max_time(7);
    EXPECT_EQ(digital.get_dtmf_detector_mark_max_time().getValue(), 7);
}

TEST(Schema, ConstraintsAndStringSubtype) {
    const ASN1::ConstrainedInfo& slot =
        *static_cast<const ASN1::ConstrainedInfo*>(LGCP::Message::fieldInfos[1]);
    EXPECT_EQ(slot.type, ASN1::FixedConstraint);
    EXPECT_EQ(slot.lowerLimit, 0);
    EXPECT_EQ(slot.upperLimit, 1023u);

    const ASN1::StringInfo& dname =
        *static_cast<const ASN1::StringInfo*>(TERM::RtpParams::fieldInfos[3]);
    EXPECT_EQ(dname.tag, 22u);
    EXPECT_EQ(dname.lowerLimit, 1);
    EXPECT_EQ(dname.upperLimit, 64u);
    EXPECT_EQ(dname.characterSet[65], 'A');
    TERM::RtpParams params;
    EXPECT_EQ(params.set_dname().info(), &dname);
}

}  // namespace
