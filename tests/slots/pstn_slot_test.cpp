// PSTN signalling-link slots in process, on the simulated MCC controller
// and the test clock: SS7 links patched back to back, the connection
// checks, the requests each mode answers, trunk states, and what a failing
// channel does. The messages and statistics of links in service are
// checked end to end.

#include "slots/pstn_slot.h"

#include "slots/ext_slot.h"
#include "tests/slots/slot_kinds.h"

namespace {

class PstnSlots : public SlotKinds {
protected:
    Texts ss7(int slot, int trunk) {
        return command(slot, "create : pstn : ss7 : { trunk " + std::to_string(trunk) +
                                 ", slc 0, dpc 1, opc 2, emergency FALSE }");
    }
    Texts isdn(int slot, const std::string& type, const std::string& side, int trunk = 1) {
        return command(slot, "create : pstn : isdn : { type " + type + ", trunk " + std::to_string(trunk) +
                                 ", log 0, side " + side + " : NULL }");
    }
    // Slot `pstn` on time slot 16 of E1 `trunk` (its source at slot + 10).
    void onTrunk(int pstn, int trunk) {
        command(pstn + 10, "create : trunk : { trunk " + std::to_string(trunk) + ", timeslot 16 }");
        ss7(pstn, trunk + 1);
        EXPECT_EQ(ok(pstn + 10), link(pstn + 10, pstn).back());
    }
    void trunkState(int trunk, const std::string& state, const std::string& type = "e1") {
        LGCP::Signal s;
        s.setFromValueNotation("trunkStatus : { trunk " + std::to_string(trunk) + ", state " + state +
                               ", slips 0, lossBF 0, lossCarrier 0, lossAIS 0, lossRAI 0, name \"\","
                               " clockMaster FALSE, type " + type + " }");
        Slots::instance()->OnSignal(s);
    }
    static Texts deactivations(const Texts& got) { return matching(got, "signal : deactivated"); }
    PstnSlot* pstn(int id) const { return dynamic_cast<PstnSlot*>(at(id)); }

    PstnFactory factory;
    ExtFactory exts;
};

TEST_F(PstnSlots, Ss7LinksBackToBackComeUpAndFollowTheirChannelsAndTrunks) {
    ASSERT_TRUE(mcc.patch(kFirst, kFirst + 1));
    onTrunk(1, 0);
    onTrunk(2, 1);
    Texts got = until(signal(2, "activated : NULL"));
    EXPECT_TRUE(has(got, signal(1, "activated : NULL")));
    EXPECT_EQ(2u, count(got, "ss7state worked"));  // the statistics sent with each activation

    // A channel that fails takes its link down; the other stays in service.
    sim.board().control("/dev/mcc/ctl fail " + std::to_string(kFirst + 1));
    got = advance(10);
    EXPECT_EQ((Texts{signal(2, "deactivated : networkError")}), deactivations(got));
    EXPECT_FALSE(pstn(2)->Channel().is_open());

    // Only the slot's own trunk counts, and only a change reaches the link.
    trunkState(1, "lossCarrier");
    trunkState(0, "normal");
    EXPECT_TRUE(deactivations(advance(10)).empty());
    // BRI line 0 is no E1 trunk.
    trunkState(0, "lossCarrier", "bri");
    EXPECT_TRUE(deactivations(advance(10)).empty());
    trunkState(0, "lossCarrier");
    EXPECT_EQ((Texts{signal(1, "deactivated : networkError")}), deactivations(advance(10)));
    trunkState(0, "lossCarrier");
    EXPECT_TRUE(deactivations(advance(10)).empty());
}

TEST_F(PstnSlots, ConnectionsCheckTrunkAndTimeSlotAndBriWaitsForBothDirections) {
    command(9, "create : ext : { transmitter 8, receiver 9 }");
    command(8, "create : trunk_bri : { trunk 5, timeslot 1 }");
    ss7(1, 1);
    isdn(2, "pri", "user");
    EXPECT_EQ(error(9, "connectFail"), link(9, 1).back());
    EXPECT_TRUE(said("pstn-slot: invalid trunk number: 4294967295\n"));
    EXPECT_EQ(error(8, "connectFail"), link(8, 2).back());
    EXPECT_TRUE(said("pstn-slot: invalid trunk number: 5\n"));
    EXPECT_TRUE(mcc.allocated().empty());

    isdn(3, "bri", "user");
    EXPECT_EQ(ok(8), link(8, 3).back());
    EXPECT_FALSE(pstn(3)->Channel().is_open());
    EXPECT_EQ(ok(3), link(3, 8).back());
    ASSERT_TRUE(pstn(3)->Channel().is_open());
    EXPECT_EQ(uint32_t(Mcc::kBri), mcc.channel(kFirst).allocation.kind);
    EXPECT_EQ(kFirst, sw.sourceOf(at(8)->IGetReceiveChannel()));
    EXPECT_EQ(at(8)->IGetTransmitChannel(), sw.sourceOf(kFirst));
}

TEST_F(PstnSlots, EachModeAnswersItsOwnRequests) {
    ss7(1, 1);
    isdn(2, "pri", "network");
    command(3, "create : pstn : cas : { trunk 1 }");
    struct Case {
        int slot;
        const char* request;
        Texts answer;
    } cases[] = {
        {1, "ioctl : ss7RqBSN : NULL", {signal(1, "ioctl : ss7BSN : 127"), ok(1)}},
        {1, "ioctl : ss7Log : { state TRUE, raw-receive FALSE, raw-transmit FALSE, mtp-transmit FALSE, "
            "mtp-receive FALSE, mtp-activate FALSE, timers TRUE, msu-processing FALSE }",
         {ok(1)}},
        {1, "ioctl : dtmf-enable : TRUE", {error(1, "unsupported")}},
        // A link out of service discards an MSU: the controller hears of it.
        {1, "userData : '830102'H", {error(1, "unsupported")}},
        {2, "ioctl : ss7RqBSN : NULL", {error(2, "unsupported")}},
        {2, "ioctl : ss7Log : { state TRUE, raw-receive TRUE, raw-transmit TRUE, mtp-transmit TRUE, "
            "mtp-receive TRUE, mtp-activate TRUE, timers TRUE, msu-processing TRUE }",
         {error(2, "unsupported")}},
        // Without a link nothing can be carried or activated.
        {3, "userData : '01'H", {error(3, "unsupported")}},
        {3, "activate : modem : { remoteAddr \"\", netmask \"\", gateway \"\", dns \"\", mtu 0 }",
         {error(3, "unsupported")}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.answer, command(c.slot, c.request)) << c.request;
    EXPECT_TRUE(pstn(1)->Ss7()->trace.state && pstn(1)->Ss7()->trace.timers && !pstn(1)->Ss7()->trace.raw_receive);
    EXPECT_TRUE(said("pstn-slot: user data refused, discarded by the link (1 refused)\n"));
    EXPECT_TRUE(said("pstn-slot: user data refused, no link (1 refused)\n"));
    // Data that no packet holds is refused, not asserted on.
    EXPECT_FALSE(pstn(2)->IUserData(std::vector<char>(packet_max_size, 'x')));
    EXPECT_TRUE(said("pstn-slot: user data refused, too long for one frame"));

    // Every 3000 ms: the channel's counters, and each link's own.
    EXPECT_EQ(0u, count(advance(2990), "LinkInfo"));
    Texts got = advance(10);
    EXPECT_EQ(3u, count(got, "hdlcLinkInfo"));
    EXPECT_EQ(1u, count(got, "ss7LinkInfo"));
    EXPECT_EQ(1u, count(got, "isdnLinkInfo"));
}

}  // namespace
