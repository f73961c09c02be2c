// The slot table, the slot base class and the connection logic in process:
// probe slots from a test factory, the real time-slot switch on the
// simulated board, the control server on loopback.

#include <errno.h>

#include "board/hal_driver.h"
#include "core/slot_connection.h"
#include "tests/core/probe_slot.h"
#include "tests/core/slot_fixture.h"

namespace {

// Slot n of these tests transmits and receives on bus channel 8192 + n.
int channel(int slot) {
    return HwMux::kBusFirst + slot;
}

class SlotTable : public SlotServer {
protected:
    void SetUp() override {
        journal().clear();
        SlotServer::SetUp();
    }
    Texts create(int slot, ProbeTraits traits = ProbeTraits()) {
        probes.next = traits;
        std::string ch = std::to_string(channel(slot));
        return command(slot, "create : ext : { transmitter " + ch + ", receiver " + ch + " }");
    }
    Texts journalSince(size_t from) const { return Texts(journal().begin() + long(from), journal().end()); }

    ProbeFactory probes;
};

TEST_F(SlotTable, TheNewestFactoryIsAskedFirstAndUnservedParametersFindNone) {
    ProbeFactory newer;
    EXPECT_EQ(&newer, firstFactory);
    EXPECT_EQ(Texts{ok(1)}, create(1));
    EXPECT_EQ(&newer, at(1)->GetSlotFactory());
    newer.refuse = true;
    EXPECT_EQ(Texts{ok(2)}, create(2));
    EXPECT_EQ(&probes, at(2)->GetSlotFactory());
    EXPECT_EQ((std::vector<Slot*>{at(2)}), probes.GetSlots());

    EXPECT_EQ(Texts{error(3, "insufficientResources")},
              command(3, "create : trunk : { trunk 0, timeslot 1 }"));
    EXPECT_EQ(nullptr, at(3));
    EXPECT_EQ(2u, Slots::instance()->Live().size());

    std::ostringstream names;
    ProbeSlot loose(0, 0, ProbeTraits());
    names << *at(2) << ' ' << loose;
    EXPECT_EQ("02:probe na:probe", names.str());
    EXPECT_EQ((Texts{ok(1, 0), ok(1)}), command(1, "destroy : NULL"));
}

TEST_F(SlotTable, QueryAndTrunkStatusReachEveryFactory) {
    ProbeFactory other;
    probes.share = 2;
    other.share = 3;
    Texts got = exchange("{ seq 4, pdu command : query : NULL }");
    LGCP::Message report;
    ASSERT_EQ(2u, got.size());
    ASSERT_TRUE(report.setFromValueNotation(got[1]));
    EXPECT_EQ(5, report.get_pdu().get_signal().get_query().get_modem().getValue());

    LGCP::Signal trunk, other_signal;
    ASSERT_TRUE(trunk.setFromValueNotation(
        "trunkStatus : { trunk 1, state lossCarrier, slips 0, lossBF 0, lossCarrier 1, lossAIS 0,"
        " lossRAI 0, name \"e1\", clockMaster FALSE, type e1 }"));
    other_signal.set_activated();
    witness.SendSignal(trunk);
    witness.SendSignal(other_signal);
    EXPECT_EQ(Texts{trunk.asValueNotation()}, probes.states);
    EXPECT_EQ(Texts{trunk.asValueNotation()}, other.states);
}

TEST_F(SlotTable, ReplacingASlotAnswersForTheOldOneFirst) {
    create(4);
    EXPECT_EQ((Texts{ok(4, 0), ok(4, 2)}), exchange("{ seq 2, slot 4, pdu command : create : ext : "
                                                     "{ transmitter 1, receiver 1 } }"));
    EXPECT_EQ("deleted 04", journal().back());
    EXPECT_EQ(1, at(4)->IGetTransmitChannel());

    // An old slot that finishes later keeps the id busy until it does.
    ProbeTraits async;
    async.async = true;
    create(5, async);
    EXPECT_EQ(Texts{error(5, "slotIdBusy")}, create(5));
    EXPECT_EQ(Texts{ok(5, 0)}, advance(100));
    EXPECT_EQ(Texts{ok(5)}, create(5));
}

TEST_F(SlotTable, AsynchronousDestructionIsAnsweredWhenTheSlotCompletes) {
    ProbeTraits async;
    async.async = true;
    create(2);
    create(3, async);
    link(2, 3);
    EXPECT_EQ(Texts{}, command(3, "destroy : NULL", "seq 9, "));
    EXPECT_EQ(nullptr, at(3)->GetSource());
    EXPECT_EQ(int(HwMux::kIdleByte), sw.constantOf(channel(3)));

    // While it finishes, the id takes no create, destroy or link; its own
    // commands still reach it.
    EXPECT_EQ(Texts{error(3, "destroyInProgress")}, command(3, "destroy : NULL"));
    EXPECT_EQ(Texts{error(3, "destroyInProgress")}, create(3));
    EXPECT_EQ(Texts{error(2, "destroyInProgress")}, link(2, 3));
    EXPECT_EQ(Texts{error(3, "destroyInProgress")}, link(3, 2));
    EXPECT_EQ(Texts{error(3, "unsupported")}, command(3, "deactivate : NULL"));
    EXPECT_TRUE(at(2)->GetReceivers().empty());
    // A link made behind the table's back still goes with the slot.
    ASSERT_TRUE(Connect(*at(2), *at(3)));

    // The slot reports its release from its own timer and goes on using its
    // members; it is deleted on a later pass.
    size_t mark = journal().size();
    EXPECT_EQ(Texts{ok(3, 9)}, advance(100));
    EXPECT_EQ((Texts{"unlink by 02", "in- 03", "out- 02", "released 03", "deleted 03"}), journalSince(mark));
    EXPECT_EQ(nullptr, at(3));
    EXPECT_TRUE(at(2)->GetReceivers().empty());
    EXPECT_EQ(int(HwMux::kIdleByte), sw.constantOf(channel(3)));
    EXPECT_EQ(probes.GetSlots(), (std::vector<Slot*>{at(2)}));

    // A slot that reports its release while still being asked whether it
    // can go is answered at once, like one that goes at once.
    ProbeTraits atOnce;
    atOnce.releaseAtOnce = true;
    create(8, atOnce);
    EXPECT_EQ((Texts{ok(8, 0), ok(8)}), command(8, "destroy : NULL"));
    EXPECT_EQ(nullptr, at(8));
    EXPECT_EQ("deleted 08", journal().back());

    // A request without a sequence number is completed with 0, not with the
    // number of the request before it.
    create(6, async);
    EXPECT_EQ(Texts{}, command(6, "destroy : NULL", ""));
    EXPECT_EQ(Texts{ok(6, 0)}, advance(100));
}

TEST_F(SlotTable, OutputStartsWithTheFirstReceiverAndStopsWithTheLast) {
    for (int s = 1; s <= 4; ++s) create(s);
    size_t mark = journal().size();
    EXPECT_EQ((Texts{stream(1, "transmitter", channel(1)), stream(2, "receiver", channel(2)), ok(1)}),
              link(1, 2));
    EXPECT_EQ((Texts{"out+ 01", "in+ 02", "link by 02"}), journalSince(mark));
    EXPECT_NE(std::string::npos, log.text().find("mux: slot 01:probe [8193] -> 02:probe [8194]\n"));
    EXPECT_EQ(Texts{ok(1)}, link(1, 2));
    EXPECT_EQ(3u, journalSince(mark).size());

    // Fan-out: one output feeds every receiver.
    EXPECT_EQ((Texts{stream(3, "receiver", channel(3)), ok(1)}), link(1, 3));
    EXPECT_EQ((Texts{stream(4, "receiver", channel(4)), ok(1)}), link(1, 4));
    for (int s : {2, 3, 4}) EXPECT_EQ(channel(1), sw.sourceOf(channel(s))) << s;

    mark = journal().size();
    EXPECT_EQ(Texts{ok(2)}, command(2, "disconnect : NULL"));
    EXPECT_EQ((Texts{"unlink by 01", "in- 02"}), journalSince(mark));
    EXPECT_EQ(int(HwMux::kIdleByte), sw.constantOf(channel(2)));
    EXPECT_NE(std::string::npos, log.text().find("mux: disconnect slot 02:probe [8194]\n"));

    // Relinking 3 from 1 to 4: 4 starts its output, 3's input is not
    // reported again.
    mark = journal().size();
    EXPECT_EQ((Texts{stream(4, "transmitter", channel(4)), ok(4)}), link(4, 3));
    EXPECT_EQ((Texts{"out+ 04", "unlink by 01", "link by 03"}), journalSince(mark));
    EXPECT_EQ(channel(4), sw.sourceOf(channel(3)));
    EXPECT_EQ(Texts{ok(4)}, command(4, "disconnect : NULL"));
    EXPECT_EQ("out- 01", journal().back());

    // A slot that stops its output drops its receivers first.
    mark = journal().size();
    at(4)->OnChangeOutputStream(false);
    EXPECT_EQ((Texts{"unlink by 04", "in- 03", "out- 04"}), journalSince(mark));
    EXPECT_TRUE(at(4)->GetReceivers().empty());
    EXPECT_EQ(Texts{Lgcpc::canonical("{ slot 4, pdu signal : transmitter : inactive : NULL }")}, barrier(client.Received().size()));
}

TEST_F(SlotTable, TheHigherPriorityMakesAndRemovesTheHardwareLink) {
    ProbeTraits high;
    high.priority = 1;
    create(1, high);
    create(2);
    create(3, high);
    size_t mark = journal().size();
    link(1, 2);
    command(2, "disconnect : NULL");
    link(2, 3);
    command(3, "disconnect : NULL");
    EXPECT_EQ((Texts{"out+ 01", "in+ 02", "link by 01", "unlink by 01", "in- 02", "out- 01", "out+ 02",
                     "in+ 03", "link by 03", "unlink by 03", "in- 03", "out- 02"}),
              journalSince(mark));
}

TEST_F(SlotTable, SlotsThatCannotStreamRefuseTheLink) {
    ProbeTraits mute, deaf;
    mute.output = false;
    deaf.input = false;
    create(1, mute);
    create(2);
    create(3, deaf);
    size_t mark = journal().size();
    EXPECT_EQ(Texts{error(1, "connectFail")}, link(1, 2));
    // The output of 2 stays reported, as refused links leave stream states.
    EXPECT_EQ((Texts{stream(2, "transmitter", channel(2)), error(2, "connectFail")}), link(2, 3));
    EXPECT_EQ((Texts{"out+ 01", "out+ 02", "in+ 03", "out- 02"}), journalSince(mark));
    EXPECT_NE(std::string::npos, err.text().find("slot 01:probe don't have output stream to 02:probe\n"));
    EXPECT_NE(std::string::npos, err.text().find("slot 03:probe don't have input stream from 02:probe\n"));
    EXPECT_EQ(nullptr, at(3)->GetSource());
}

TEST_F(SlotTable, SwitchFailuresAreAnsweredAndLinksFollowTheHardware) {
    for (int s = 1; s <= 3; ++s) create(s);
    hal.failRequest(Hal::kMuxConnect, EIO, 1);
    size_t mark = journal().size();
    EXPECT_EQ((Texts{stream(1, "transmitter", channel(1)), stream(2, "receiver", channel(2)),
                     error(1, "connectFail")}),
              link(1, 2));
    EXPECT_EQ((Texts{"out+ 01", "in+ 02", "link by 02", "in- 02", "out- 01"}), journalSince(mark));
    EXPECT_NE(std::string::npos, log.text().find("hwMux: connect 8193 -> 8194 failed: Input/output error\n"));
    EXPECT_EQ(nullptr, at(2)->GetSource());

    // A failed unlink still removes the logical link.
    link(1, 2);
    hal.failRequest(Hal::kMuxWrite, EIO, 1);
    EXPECT_EQ(Texts{error(2, "disconnectFail")}, command(2, "disconnect : NULL"));
    EXPECT_EQ(nullptr, at(2)->GetSource());

    // A failed relink puts the old link back...
    link(1, 2);
    hal.failRequest(Hal::kMuxConnect, EIO, 1);
    EXPECT_EQ((Texts{stream(3, "transmitter", channel(3)), error(3, "connectFail")}), link(3, 2));
    EXPECT_EQ(at(1), at(2)->GetSource());
    EXPECT_EQ(channel(1), sw.sourceOf(channel(2)));
    EXPECT_TRUE(at(3)->GetReceivers().empty());

    // ...or, when that fails too, drops it.
    hal.failRequest(Hal::kMuxConnect, EIO, 2);
    mark = journal().size();
    EXPECT_EQ(Texts{error(3, "connectFail")}, link(3, 2));
    EXPECT_EQ((Texts{"out+ 03", "unlink by 01", "link by 02", "link by 02", "in- 02", "out- 01", "out- 03"}),
              journalSince(mark));
    EXPECT_NE(std::string::npos, err.text().find("slot 02:probe relink failed, link from 01:probe dropped\n"));
    EXPECT_EQ(nullptr, at(2)->GetSource());
    EXPECT_TRUE(at(1)->GetReceivers().empty());
}

TEST_F(SlotTable, ControllerLossDestroysEverySlotWithoutAnAnswer) {
    ProbeTraits async;
    async.async = true;
    create(1);
    create(2, async);
    create(3, async);
    link(1, 2);
    command(3, "destroy : NULL");
    size_t answers = client.Received().size();
    client.Close();
    ASSERT_TRUE(pumpUntil([] { return Slots::instance()->Live().empty(); }));
    EXPECT_EQ(answers, client.Received().size());
    EXPECT_TRUE(probes.GetSlots().empty());
    for (int s : {1, 2, 3}) EXPECT_EQ(nullptr, at(s));
    Texts deleted;
    for (const std::string& e : journal())
        if (e.compare(0, 7, "deleted") == 0) deleted.push_back(e);
    EXPECT_EQ((Texts{"deleted 01", "deleted 02", "deleted 03"}), deleted);
    EXPECT_EQ(int(HwMux::kIdleByte), sw.constantOf(channel(2)));
    advanceAndPump(clock, 200);  // the release timers went with their slots

    Lgcpc::Client next;
    connect(next);
    std::string why;
    ASSERT_TRUE(next.Send("{ seq 1, slot 1, pdu command : destroy : NULL }", why));
    ASSERT_TRUE(next.WaitFor(1));
    EXPECT_EQ(error(1, "slotNotExists"), next.Received()[0]);
}

TEST_F(SlotTable, ASlotFinishingDuringTheControllerLossIsDeletedOnce) {
    // Slot 2 waits for its release; destroying slot 1, which still feeds
    // it, completes that release in the middle of the loss.
    ProbeTraits finishing;
    finishing.async = true;
    finishing.releaseWithInput = true;
    create(2, finishing);
    create(1);
    EXPECT_EQ(Texts{}, command(2, "destroy : NULL"));
    ASSERT_TRUE(Connect(*at(1), *at(2)));
    client.Close();
    ASSERT_TRUE(pumpUntil([] { return Slots::instance()->Live().empty(); }));
    pumpPasses(3);
    Texts deleted;
    for (const std::string& e : journal())
        if (e.compare(0, 7, "deleted") == 0) deleted.push_back(e);
    EXPECT_EQ((Texts{"deleted 01", "deleted 02"}), deleted);
    EXPECT_EQ(nullptr, at(2));
}

}  // namespace
