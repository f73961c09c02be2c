// HDLC packet slots in process, on the simulated MCC controller and the
// test clock: the frame header both ways, the transmit ring, batches of
// received frames, statistics, and the packet pool under many queued
// frames.

#include "slots/hdlc_slot.h"

#include "tests/slots/slot_kinds.h"
#include "tests/support/descriptors.h"
#include "tests/support/pump.h"

namespace {

class HdlcSlots : public SlotKinds {
protected:
    void SetUp() override {
        SlotKinds::SetUp();
        command(1, "create : hdlcParams : { trunk 1, log 0, address 4660 }");  // 0x1234
    }
    // Slot 1 connected from time slot 5 of trunk 0: its channel opens.
    void connect() {
        command(9, "create : trunk : { trunk 0, timeslot 5 }");
        ASSERT_EQ(ok(9), link(9, 1).back());
    }
    static std::string packages(const std::vector<std::string>& bodies) {
        std::string list;
        for (const std::string& b : bodies) list += std::string(list.empty() ? "" : ", ") + "{ body " + hex(b) + " }";
        return "ioctl : hdlcPackages : { " + list + " }";
    }
    Texts send(int slot, const std::vector<std::string>& bodies) { return command(slot, packages(bodies)); }
    std::vector<std::string> sent() const {
        std::vector<std::string> out;
        for (const SimMcc::Frame& f : mcc.channel(kFirst).sent) out.push_back(SimWords::hex(f));
        return out;
    }
    // A frame the slot reads before anything else happens.
    void receive(const SimMcc::Frame& frame) {
        ASSERT_TRUE(mcc.receive(kFirst, frame));
        pumpPasses(2);
    }
    static std::string received(const std::vector<std::string>& bodies) { return signal(1, packages(bodies)); }
    HdlcSlot* slot() const { return dynamic_cast<HdlcSlot*>(at(1)); }

    HdlcSlotFactory factory;
};

TEST_F(HdlcSlots, FramesCarryTheAddressAndBothCountersAndAreCountedEvery3000Ms) {
    connect();
    EXPECT_EQ(Texts{ok(1)}, send(1, {"a", "b", "c"}));
    EXPECT_EQ((std::vector<std::string>{"12340061", "12342062", "12344063"}), sent());
    receive({0x12, 0x34, 0xA0, 'x'});
    mcc.clearSent(kFirst);
    send(1, {"d", "e", "f", "g", "h", "i"});
    // Counters 3 to 8: the sixth is 0 again; 5 is what the peer sent last.
    EXPECT_EQ((std::vector<std::string>{"12346564", "12348565", "1234a566", "1234c567", "1234e568", "12340569"}), sent());

    // The statistics come every 3000 ms and on each deactivation.
    std::string info = signal(1, "ioctl : hdlcLinkInfo : { txSU 9, txDiscard 0, txError 0, txOverflow 0, rxSU 1 }");
    Texts got = advance(3000);
    EXPECT_EQ(1u, count(got, "hdlcLinkInfo"));
    EXPECT_TRUE(has(got, info));
    EXPECT_EQ((Texts{info, ok(1)}), command(1, "deactivate : NULL"));
    EXPECT_EQ((Texts{error(1, "unsupported")}), command(1, "ioctl : ss7RqBSN : NULL"));
}

TEST_F(HdlcSlots, TheRingKeeps120FramesUntilTheChannelOpens) {
    // 200 packages in two requests: a request carries at most 128.
    std::vector<std::string> bodies;
    for (int i = 0; i < 200; ++i) bodies.push_back(std::string(1, char(i)));
    EXPECT_EQ(Texts{ok(1)}, send(1, std::vector<std::string>(bodies.begin(), bodies.begin() + 128)));
    EXPECT_EQ(Texts{ok(1)}, send(1, std::vector<std::string>(bodies.begin() + 128, bodies.end())));
    EXPECT_EQ(120u, slot()->Queued());
    EXPECT_TRUE(said("HdlcSlot[0/*]: transmit ring full, 8 packages dropped (8 dropped)\n"));
    EXPECT_TRUE(said("HdlcSlot[0/*]: transmit ring full, 72 packages dropped (80 dropped)\n"));
    connect();
    advance(10);
    std::vector<std::string> expected;
    for (int i = 0; i < 120; ++i) expected.push_back(SimWords::hex({0x12, 0x34, uint8_t((i % 8) << 5), uint8_t(i)}));
    EXPECT_EQ(expected, sent());
    EXPECT_EQ(0u, slot()->Queued());
}

TEST_F(HdlcSlots, ReceivedFramesComeInBatches) {
    connect();
    size_t mark = client.Received().size();
    for (uint8_t more : {0x80, 0x80, 0x80}) receive({0x12, 0x34, 0, 'a', more});
    receive({0x12, 0x34, 0, 'b', 0x00});
    EXPECT_EQ((Texts{received({"a\x80", "a\x80", "a\x80", std::string("b\0", 2)})}), barrier(mark));

    // Without the batch's end the frames go 100 ms after the first.
    mark = client.Received().size();
    receive({0x12, 0x34, 0, 'c', 0x80});
    receive({0x12, 0x34});  // too short to end a batch, and empty
    receive({0x43, 0x21, 0, 'x', 0x80});
    advanceAndPump(clock, 99);
    EXPECT_TRUE(barrier(mark).empty());
    EXPECT_EQ((Texts{received({"c\x80", ""})}), advance(1));

    // Another address ends a batch without joining it; nothing pending,
    // nothing sent.
    mark = client.Received().size();
    receive({0x12, 0x34, 0, 'd', 0x80});
    receive({0x43, 0x21, 0, 'x', 0x00});
    receive({0x43, 0x21, 0, 'y', 0x00});
    advanceAndPump(clock, 200);
    EXPECT_EQ((Texts{received({"d\x80"})}), barrier(mark));

    // A list never grows beyond what the controller decodes.
    mark = client.Received().size();
    for (int i = 0; i < 130; ++i) receive({0x12, 0x34, 0, 'e', 0x80});
    EXPECT_EQ((Texts{received(std::vector<std::string>(128, "e\x80"))}), barrier(mark));
    EXPECT_EQ((Texts{received({"e\x80", "e\x80"})}), advance(110));
}

TEST_F(HdlcSlots, QueuedFramesNeverDrainThePacketPool) {
    unsigned freeBefore = Packet::free_blocks();
    int descriptorsBefore = openDescriptors();
    std::vector<std::string> bodies(120, "frame");
    size_t refused = 0;
    for (int id = 1; id <= 9; ++id) {
        if (id > 1) command(id, "create : hdlcParams : { trunk 1, log 0, address 1 }");
        Texts answer = send(id, bodies);
        refused += answer == Texts{error(id, "unsupported")};
    }
    EXPECT_GE(refused, 3u);
    EXPECT_TRUE(said("packages refused, packet pool low"));
    EXPECT_GE(Packet::free_blocks(), 256u);
    for (int id = 1; id <= 9; ++id) command(id, "destroy : NULL");
    EXPECT_EQ(freeBefore, Packet::free_blocks());
    EXPECT_EQ(descriptorsBefore, openDescriptors());
}

}  // namespace
