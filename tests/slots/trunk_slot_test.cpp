// E1 and BRI trunk slots with the static trunk factories, in process.

#include "slots/trunk_slot.h"
#include "tests/slots/slot_kinds.h"

namespace {

class TrunkSlots : public SlotKinds {
protected:
    Texts create(int slot, int trunk, int timeslot, const std::string& kind = "trunk") {
        return command(slot, "create : " + kind + " : { trunk " + std::to_string(trunk) + ", timeslot " +
                                 std::to_string(timeslot) + " }");
    }
    // What a new trunk slot sends: the success, then its two streams; after
    // the answer for the slot `old` it replaced, if any.
    static Texts created(int slot, int channel, int old = 0) {
        Texts t = {ok(slot), stream(slot, "transmitter", channel), stream(slot, "receiver", channel)};
        if (old) t.insert(t.begin(), ok(old, 0));
        return t;
    }
};

TEST_F(TrunkSlots, TheChannelFollowsTrunkAndTimeSlot) {
    EXPECT_EQ(created(1, 95), create(1, 2, 31));
    EXPECT_EQ(2, at(1)->GetTrunk());
    EXPECT_EQ(31, at(1)->GetTrunkTimeSlot());
    EXPECT_EQ(at(1), trunk2.Holder(31));
    EXPECT_EQ(created(2, 23), create(2, 5, 3, "trunk_bri"));
    EXPECT_EQ(5, at(2)->GetTrunk());
    EXPECT_EQ(3, at(2)->GetTrunkTimeSlot());
    EXPECT_EQ(at(2), trunk_bri5.Holder(3));

    // No factory serves a fifth trunk, a ninth line or a fifth BRI channel.
    EXPECT_EQ(Texts{error(3, "insufficientResources")}, create(3, 4, 0));
    EXPECT_EQ(Texts{error(3, "insufficientResources")}, create(3, 8, 0, "trunk_bri"));
    EXPECT_EQ(Texts{error(3, "insufficientResources")}, create(3, 5, 4, "trunk_bri"));
    EXPECT_EQ(nullptr, at(3));
}

// A switch channel has one trunk slot, whichever family asks for it last:
// E1 trunk 0 and the BRI lines name the same channels.
TEST_F(TrunkSlots, ASecondSlotOnAHeldChannelReplacesTheFirst) {
    create(3, 0, 7);
    create(5, 1, 1);
    link(3, 5);
    EXPECT_EQ(7, sw.sourceOf(33));
    EXPECT_EQ(created(4, 7, 3), create(4, 0, 7));
    EXPECT_TRUE(said("trunk-slot: two slots require the same timeslot, remove old.\n old slot 03:trunk\n"));
    EXPECT_EQ(nullptr, at(3));
    EXPECT_EQ(at(4), trunk0.Holder(7));
    // The old slot left its receiver unlinked and the output idle.
    EXPECT_EQ(nullptr, at(5)->GetSource());
    EXPECT_EQ(int(HwMux::kIdleByte), sw.constantOf(33));
    EXPECT_EQ((Texts{ok(4, 0), ok(4)}), command(4, "destroy : NULL"));
    EXPECT_EQ(nullptr, trunk0.Holder(7));

    // Channel 5 is time slot 5 of trunk 0 and channel 1 of BRI line 1.
    create(1, 0, 5);
    link(5, 1);
    EXPECT_EQ(created(2, 5, 1), create(2, 1, 1, "trunk_bri"));
    EXPECT_EQ(nullptr, trunk0.Holder(5));
    EXPECT_EQ(int(HwMux::kIdleByte), sw.constantOf(5));
    EXPECT_EQ(Texts{ok(5)}, link(5, 2));
    EXPECT_EQ(33, sw.sourceOf(5));
    EXPECT_EQ(ok(2, 0), create(4, 0, 5).front());
    EXPECT_EQ(nullptr, trunk_bri1.Holder(1));
    EXPECT_EQ(at(4), trunk0.Holder(5));

    create(6, 1, 2, "trunk_bri");
    create(7, 1, 2, "trunk_bri");
    EXPECT_EQ(nullptr, at(6));
    EXPECT_EQ(at(7), trunk_bri1.Holder(2));
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
