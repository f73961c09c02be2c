// E1 and BRI trunk slots with the static trunk factories, in process.

#include "slots/trunk_slot.h"
#include "tests/core/slot_fixture.h"

namespace {

class TrunkSlots : public SlotServer {
protected:
    Texts create(int slot, int trunk, int timeslot, const std::string& kind = "trunk") {
        return command(slot, "create : " + kind + " : { trunk " + std::to_string(trunk) + ", timeslot " +
                                 std::to_string(timeslot) + " }");
    }
    // What a new trunk slot sends: the success, then its two streams.
    static Texts created(int slot, int channel) {
        return {ok(slot), stream(slot, "transmitter", channel), stream(slot, "receiver", channel)};
    }
};

TEST_F(TrunkSlots, BriLinesAreAskedFromTheLastDownThenTheTrunks) {
    std::vector<SlotFactory*> expected = {&trunk_bri7, &trunk_bri6, &trunk_bri5, &trunk_bri4, &trunk_bri3, &trunk_bri2,
                                          &trunk_bri1, &trunk_bri0, &trunk3,     &trunk2,     &trunk1,     &trunk0};
    std::vector<SlotFactory*> asked;
    for (SlotFactory* f = firstFactory; f; f = f->GetNext()) asked.push_back(f);
    EXPECT_EQ(expected, asked);
    EXPECT_STREQ("TrunksBRI", trunk_bri7.GetName());
    EXPECT_STREQ("Trunks", trunk0.GetName());
}

TEST_F(TrunkSlots, TheChannelFollowsTrunkAndTimeSlot) {
    EXPECT_EQ(created(1, 95), create(1, 2, 31));
    EXPECT_EQ(2, at(1)->GetTrunk());
    EXPECT_EQ(31, at(1)->GetTrunkTimeSlot());
    EXPECT_STREQ("trunk", at(1)->GetName());
    EXPECT_EQ(at(1), trunk2.Holder(31));

    EXPECT_EQ(created(2, 23), create(2, 5, 3, "trunk_bri"));
    EXPECT_EQ(5, at(2)->GetTrunk());
    EXPECT_EQ(3, at(2)->GetTrunkTimeSlot());
    EXPECT_STREQ("trunkBRI", at(2)->GetName());
    EXPECT_EQ(at(2), trunk_bri5.Holder(3));

    // No factory serves a fifth trunk, a ninth line or a fifth BRI channel.
    EXPECT_EQ(Texts{error(3, "insufficientResources")}, create(3, 4, 0));
    EXPECT_EQ(Texts{error(3, "insufficientResources")}, create(3, 8, 0, "trunk_bri"));
    EXPECT_EQ(Texts{error(3, "insufficientResources")}, create(3, 5, 4, "trunk_bri"));
    EXPECT_EQ(nullptr, at(3));
}

TEST_F(TrunkSlots, ASecondSlotOnAHeldTimeSlotReplacesTheFirst) {
    create(3, 0, 7);
    create(5, 1, 1);
    link(3, 5);
    EXPECT_EQ(7, sw.sourceOf(33));

    Texts replaced = {ok(3, 0)};
    for (const std::string& m : created(4, 7)) replaced.push_back(m);
    EXPECT_EQ(replaced, create(4, 0, 7));
    EXPECT_NE(std::string::npos,
              err.text().find("trunk-slot: two slots require the same timeslot, remove old.\n old slot 03:trunk\n"));
    EXPECT_EQ(nullptr, at(3));
    EXPECT_EQ(at(4), trunk0.Holder(7));
    // The old slot left its receiver unlinked and the output idle.
    EXPECT_EQ(nullptr, at(5)->GetSource());
    EXPECT_EQ(int(HwMux::kIdleByte), sw.constantOf(33));

    EXPECT_EQ((Texts{ok(4, 0), ok(4)}), command(4, "destroy : NULL"));
    EXPECT_EQ(nullptr, trunk0.Holder(7));

    create(6, 1, 2, "trunk_bri");
    create(7, 1, 2, "trunk_bri");
    EXPECT_EQ(nullptr, at(6));
    EXPECT_EQ(at(7), trunk_bri1.Holder(2));
    EXPECT_EQ(6, at(7)->IGetReceiveChannel());
}

// E1 trunk 0 and the BRI lines name the same switch channels: a channel has
// one trunk slot, whichever family asks for it last.
TEST_F(TrunkSlots, TrunkZeroAndTheBriLinesShareTheirChannels) {
    create(1, 0, 5);
    create(3, 1, 1);
    link(3, 1);
    Texts replaced = {ok(1, 0)};
    for (const std::string& m : created(2, 5)) replaced.push_back(m);
    EXPECT_EQ(replaced, create(2, 1, 1, "trunk_bri"));
    EXPECT_NE(std::string::npos, err.text().find(" old slot 01:trunk\n"));
    EXPECT_EQ(nullptr, at(1));
    EXPECT_EQ(nullptr, trunk0.Holder(5));
    EXPECT_EQ(int(HwMux::kIdleByte), sw.constantOf(5));
    EXPECT_EQ(Texts{ok(3)}, link(3, 2));
    EXPECT_EQ(33, sw.sourceOf(5));

    // And the other way round.
    EXPECT_EQ(ok(2, 0), create(4, 0, 5).front());
    EXPECT_EQ(nullptr, at(2));
    EXPECT_EQ(nullptr, trunk_bri1.Holder(1));
    EXPECT_EQ(at(4), trunk0.Holder(5));
}

// A trunk slot kind that finishes its destruction later and keeps its time
// slot until then, as slot kinds with drivers do.
struct LateTrunkSlot : TrunkSlot {
    using TrunkSlot::TrunkSlot;
    bool IBeforeDestroy() override { return ++releases, false; }
    int releases = 0;
};

struct LateTrunkFactory : TrunkFactory {
    LateTrunkFactory() : TrunkFactory(9, 300) {}
    Slot* INewSlot(const LGCP::CreateParams& p) override {
        if (!p.is_trunk()) return nullptr;
        return Claim(p.get_trunk(), kTimeSlots, [](int channel) -> TrunkSlot* { return new LateTrunkSlot(channel); });
    }
};

TEST_F(TrunkSlots, ATakeoverLeavesASlotThatIsFinishingAlone) {
    LateTrunkFactory late;
    create(1, 9, 0);
    auto* old = static_cast<LateTrunkSlot*>(at(1));
    EXPECT_EQ(Texts{}, command(1, "destroy : NULL", "seq 7, "));
    EXPECT_EQ(7u, old->GetDelayedSeq());
    EXPECT_EQ(created(2, 300), create(2, 9, 0));
    EXPECT_EQ(1, old->releases);
    EXPECT_EQ(7u, old->GetDelayedSeq());

    // It answers its destroy request once, when it finishes.
    size_t before = client.Received().size();
    old->on_release();
    EXPECT_EQ(Texts{ok(1, 7)}, barrier(before));
}

}  // namespace
