// SEQUENCE presence, CHOICE selection, SEQUENCE OF and open values, and the
// two visitor walks.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "asn1/gen/lgcp.h"

namespace {

TEST(Sequence, NewMessageHoldsOnlyMandatoryComponentsAndAbsentOnesReadAsZero) {
    LGCP::Message message;
    EXPECT_NE(message.getField(2), nullptr);
    EXPECT_EQ(message.getField(1), nullptr);
    EXPECT_EQ(message.optionalMap().bytes(), (ASN1::SEQUENCE::BitMap::Bytes{0}));
    EXPECT_EQ(message.extensionMap().size(), 0u);
    EXPECT_EQ(message.get_pdu().currentSelection(), ASN1::CHOICE::unselected_);
    EXPECT_EQ(message.get_slot().getValue(), 0u);
    EXPECT_FALSE(message.has_slot());
    EXPECT_EQ(message.compare(LGCP::Message()), 0);
}

TEST(Sequence, PresenceBitsByIdAndTheValueKeptAcrossRemoval) {
    LGCP::Message message;
    ASSERT_TRUE(message.includeOptionalField(1, 1));
    const ASN1::AbstractData* slot = message.getField(1);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->info(), LGCP::Message::fieldInfos[1]);
    EXPECT_EQ(message.optionalMap().bytes()[0], 64);
    message.set_slot(1000);
    message.remove_slot();
    EXPECT_FALSE(message.has_slot());
    EXPECT_EQ(message.getField(1), slot);
    message.set_slot();
    EXPECT_EQ(message.get_slot().getValue(), 1000u);
    EXPECT_FALSE(message.includeOptionalField(2, 2));  // pdu is mandatory: no id

    TERM::RtpParams params;  // twelve OPTIONAL components; rtp-e2m is the ninth
    params.set_rtp_e2m();
    EXPECT_EQ(params.optionalMap().bytes(), (ASN1::SEQUENCE::BitMap::Bytes{0, 128}));

    TERM::TermParams term;  // 6 OPTIONAL root components, 13 extension additions
    EXPECT_FALSE(term.includeOptionalField(19, 19));  // beyond the known extensions
    EXPECT_FALSE(term.includeOptionalField(500, 6));
    EXPECT_FALSE(term.includeOptionalField(6, 7));  // id of one, index of another
    EXPECT_FALSE(term.includeOptionalField(0, 0xFFFFFFFFu));
    EXPECT_EQ(term.extensionMap().size(), 0u);
    EXPECT_FALSE(term.optionalMap().any());
}

TEST(Sequence, ExtensionAdditionsTakeTheirBitsByPosition) {
    TERM::TermParams params;
    params.set_vad(true);
    EXPECT_FALSE(params.optionalMap().any());
    EXPECT_EQ(params.extensionMap().size(), 7u);
    EXPECT_TRUE(params.extensionMap()[6]);
    EXPECT_TRUE(params.get_vad().getValue());
    TERM::TermParams without;
    EXPECT_NE(params.compare(without), 0);
    params.remove_vad();
    EXPECT_EQ(params.compare(without), 0);

    ASN1::SEQUENCE::BitMap map;
    map.resize(9);
    map.set(8);
    map.set(3);
    map.set(20);  // beyond the count: ignored
    EXPECT_EQ(map.bytes(), (ASN1::SEQUENCE::BitMap::Bytes{0x10, 0x80}));
    map.resize(3);
    map.resize(9);  // resizing drops the bits
    EXPECT_FALSE(map.any());
}

TEST(Choice, SelectionStates) {
    LGCP::PDU pdu;
    EXPECT_EQ(pdu.getSelection(), nullptr);
    EXPECT_FALSE(pdu.is_command());
    // Reading an unselected alternative gives a default without selecting it.
    EXPECT_EQ(pdu.get_command().currentSelection(), ASN1::CHOICE::unselected_);
    EXPECT_EQ(pdu.currentSelection(), ASN1::CHOICE::unselected_);

    pdu.set_response().set_error(LGCP::ErrorCause::slotIdBusy);
    EXPECT_TRUE(pdu.is_response());
    EXPECT_STREQ(pdu.getSelectionName(), "response");
    pdu.set_response();  // already selected: keeps its value
    EXPECT_EQ(pdu.get_response().get_error().getValue(), LGCP::ErrorCause::slotIdBusy);

    EXPECT_FALSE(pdu.select(3));
    EXPECT_EQ(pdu.currentSelection(), ASN1::CHOICE::unknownSelection_);
    EXPECT_EQ(pdu.getSelection(), nullptr);
    EXPECT_STREQ(pdu.getSelectionName(), "");
    EXPECT_EQ(pdu.get_signal().currentSelection(), ASN1::CHOICE::unselected_);
}

TEST(Choice, CopyAndCompare) {
    LGCP::Command a, b;
    a.set_connect(5);
    b.set_connect(6);
    EXPECT_LT(a.compare(b), 0);
    b = a;
    EXPECT_EQ(a.compare(b), 0);
    b.set_connect(9);
    EXPECT_EQ(a.get_connect().getValue(), 5u);
    b.set_ping();
    EXPECT_LT(a.compare(b), 0);  // by selection index: connect 2, ping 12
    LGCP::Command none;
    EXPECT_LT(none.compare(a), 0);
}

TEST(SequenceOf, ElementsAreOwnedAndCopiedDeeply) {
    LGCP::MixerOutParams params;
    ASN1::SEQUENCE_OF<LGCP::MixerInput>& inputs = params.set_inputs();
    LGCP::MixerInput input;
    input.set_gain(-3);
    input.set_channel().set_tdm(9);
    inputs.push_back(input);
    inputs.insert(inputs.begin(), 2, input);
    inputs.resize(4);
    ASSERT_EQ(inputs.size(), 4u);
    EXPECT_EQ(inputs[3].get_channel().currentSelection(), ASN1::CHOICE::unselected_);
    inputs[0].set_gain(1);
    EXPECT_EQ(inputs[1].get_gain().getValue(), -3);

    LGCP::MixerOutParams copy(params);
    inputs.erase(inputs.begin(), ++inputs.begin());
    EXPECT_EQ(inputs.size(), 3u);
    ASSERT_EQ(copy.get_inputs().size(), 4u);
    EXPECT_EQ(copy.get_inputs()[0].get_gain().getValue(), 1);
    EXPECT_GT(copy.compare(params), 0);

    // Inserting a range of the sequence into itself.
    ASN1::SEQUENCE_OF_Base& base = inputs;
    base.insert(base.end(), static_cast<const ASN1::SEQUENCE_OF_Base&>(base).begin(),
                static_cast<const ASN1::SEQUENCE_OF_Base&>(base).end());
    EXPECT_EQ(inputs.size(), 6u);
    int sum = 0;
    for (const LGCP::MixerInput& in : params.get_inputs()) sum += in.get_gain().getValue();
    EXPECT_EQ(sum, -12);
}

TEST(OpenData, CompareAndCopy) {
    ASN1::OpenData a, b;
    EXPECT_EQ(a.compare(b), 0);
    a.get_buf() = {1, 2};
    EXPECT_EQ(a.compare(b), -1);  // bytes against nothing: no value, so -1
    b.get_buf() = {1, 3};
    EXPECT_LT(a.compare(b), 0);
    a.grab(new ASN1::INTEGER(4));
    b.grab(new ASN1::INTEGER(4));
    EXPECT_EQ(a.compare(b), 0);
    ASN1::OpenData copy(a);
    EXPECT_EQ(copy.compare(a), 0);
    EXPECT_NE(copy.get_data(), a.get_data());
    ASN1::OpenData empty;
    EXPECT_GT(a.compare(empty), 0);
    EXPECT_LT(empty.compare(a), 0);

    static const ASN1::OpenDataInfo info = {
        {&ASN1::detail::create<ASN1::TypeConstrainedOpenData>, 0}, &LGCP::Message::theInfo};
    ASN1::TypeConstrainedOpenData held(&info);
    ASSERT_TRUE(held.has_data());
    EXPECT_EQ(held.get_data()->info(), &LGCP::Message::theInfo);
}

// Records every walk call of the filling visitor with its presence id.
struct WalkRecorder : ASN1::Visitor {
    std::vector<std::pair<int, int>> calls;  // (index, id)
    using ASN1::Visitor::do_visit;
    bool do_visit(ASN1::Null&) override { return true; }
    bool do_visit(ASN1::BOOLEAN&) override { return true; }
    bool do_visit(ASN1::INTEGER&) override { return true; }
    bool do_visit(ASN1::ENUMERATED&) override { return true; }
    bool do_visit(ASN1::OBJECT_IDENTIFIER&) override { return true; }
    bool do_visit(ASN1::OCTET_STRING&) override { return true; }
    bool do_visit(ASN1::BIT_STRING&) override { return true; }
    bool do_visit(ASN1::AbstractString&) override { return true; }
    bool do_visit(ASN1::BMPString&) override { return true; }
    bool do_visit(ASN1::CHOICE&) override { return true; }
    bool do_visit(ASN1::SEQUENCE_OF_Base&) override { return true; }
    bool do_visit(ASN1::OpenData&) override { return true; }
    bool do_revisit(ASN1::OpenData&) override { return true; }
    bool do_visit(ASN1::TypeConstrainedOpenData&) override { return true; }
    bool do_visit(ASN1::GeneralizedTime&) override { return true; }
    VISIT_SEQ_RESULT visitExtensionRoot(ASN1::SEQUENCE&, int index, int id) override {
        calls.emplace_back(index, id);
        return CONTINUE;
    }
    VISIT_SEQ_RESULT visitKnownExtension(ASN1::SEQUENCE&, int index, int id) override {
        calls.emplace_back(index, id);
        return index == 8 ? STOP : CONTINUE;
    }
};

TEST(Visitor, WalkGivesExtensionsTheIdsAfterTheRootOnes) {
    TERM::TermParams params;
    WalkRecorder recorder;
    EXPECT_TRUE(params.accept(recorder));  // stopped at index 8 with success
    std::vector<std::pair<int, int>> expected;
    for (int i = 0; i < 9; ++i) expected.emplace_back(i, i);
    EXPECT_EQ(recorder.calls, expected);

    TERM::ED137RadioResponse response;
    WalkRecorder roots;
    EXPECT_TRUE(response.accept(roots));
    ASSERT_EQ(roots.calls.size(), 17u);
    EXPECT_EQ(roots.calls[2], std::make_pair(2, -1));
    EXPECT_EQ(roots.calls[11], std::make_pair(11, 8));
}

TEST(Visitor, ConstVisitorDefaultsAcceptAllButSequenceComponents) {
    ASN1::ConstVisitor nothing;
    EXPECT_TRUE(ASN1::INTEGER(3).accept(nothing));
    EXPECT_TRUE(LGCP::Command().accept(nothing));
    EXPECT_TRUE(LGCP::MapParams().accept(nothing));  // no component present
    EXPECT_FALSE(LGCP::Message().accept(nothing));  // pdu is always there
    LGCP::MapParams map;
    map.set_receiver();
    EXPECT_FALSE(map.accept(nothing));
}

}  // namespace
