// MCC byte-channel slots in process, on the simulated controller: the
// channel kinds, the resource report, the read and write paths, and what
// the controller is told when the device fails.

#include "slots/mcc_slot.h"

#include "board/mcc_driver.h"
#include "slots/trunk_slot.h"
#include "tests/slots/slot_kinds.h"
#include "tests/support/descriptors.h"

namespace {

class MccSlots : public SlotKinds {
protected:
    Texts create(int slot, const std::string& type, const std::string& mode = "standard") {
        return command(slot, "create : mcc : { type " + type + ", mode " + mode + " }");
    }
    static std::string data(int slot, const std::string& bytes) { return signal(slot, "userData : " + hex(bytes)); }
    static std::string lost(int slot) { return signal(slot, "deactivated : networkError"); }
    MccSlot* slotAt(int id) const { return dynamic_cast<MccSlot*>(at(id)); }

    MccFactory factory;
};

TEST_F(MccSlots, TypeAndModeChooseTheChannelKind) {
    struct Case {
        const char* type;
        const char* mode;
        uint32_t kind;
    } cases[] = {{"data", "standard", 0}, {"bri", "standard", 1}, {"transparent", "standard", 2},
                 {"transparent", "ss7", 3}, {"data", "ss7", 3}};
    int slot = 1;
    for (const Case& c : cases) {
        EXPECT_EQ(Texts{ok(slot)}, create(slot, c.type, c.mode)) << c.type << " " << c.mode;
        EXPECT_EQ((std::vector<uint32_t>{c.kind, 512, 0, 1, 1}), allocation(kFirst + slot - 1));
        EXPECT_TRUE(said("mcc: MCC_ALLOCATE type=" + std::to_string(c.kind) + "\n"));
        EXPECT_EQ(kFirst + slot - 1, at(slot)->IGetTransmitChannel());
        ++slot;
    }
}

TEST_F(MccSlots, ABurstArrivesInSignalsOfOneReadAndUserDataWaitsForTheChannelInOrder) {
    create(1, "transparent");
    std::string burst;
    for (int i = 0; i < 3000; ++i) burst += char(i * 7);
    ASSERT_TRUE(mcc.receive(kFirst, SimMcc::Frame(burst.begin(), burst.end())));
    Texts expected;
    for (size_t at = 0; at < burst.size(); at += 512) expected.push_back(data(1, burst.substr(at, 512)));
    EXPECT_EQ(expected, next(expected.size()));

    // What the channel cannot take yet waits.
    ASSERT_EQ("ok", sim.board().control("/dev/mcc/ctl buffer 4096"));
    ASSERT_TRUE(mcc.hold(kFirst));
    std::string written;
    for (char c : std::string("abcd")) {
        std::string bytes(16000, c);
        EXPECT_EQ(Texts{ok(1)}, userData(1, bytes));
        EXPECT_GT(slotAt(1)->Pending(), 0u);
        written += bytes;
    }
    // Beyond the queue's bound the whole command is refused.
    EXPECT_EQ(Texts{error(1, "unsupported")}, userData(1, std::string(16000, 'e')));

    ASSERT_TRUE(mcc.release(kFirst));
    ASSERT_TRUE(pumpUntil([&] {
        mcc.release(kFirst);
        return slotAt(1)->Pending() == 0;
    }));
    EXPECT_EQ(written, played());

    mcc.failWrite(EIO, 1);
    EXPECT_EQ(Texts{error(1, "unsupported")}, userData(1, "x"));
    EXPECT_TRUE(said("mcc: write fail: Input/output error\n"));
}

TEST_F(MccSlots, AChannelThatEndsOrFailsIsClosedAndReported) {
    struct Case {
        const char* command;  // what the board does to channel 256
        const char* why;
    } cases[] = {{"rx 256", "end of file"}, {"hangup 256", "end of file"}, {"fail 256", "Connection reset by peer"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        create(1, "data");
        ASSERT_EQ("ok", sim.board().control(std::string("/dev/mcc/ctl ") + c.command));
        EXPECT_EQ(Texts{lost(1)}, next(1));
        EXPECT_FALSE(slotAt(1)->IsOpen());
        EXPECT_TRUE(said(std::string("mcc: channel 256 lost, read fail: ") + c.why));
        EXPECT_EQ(Texts{error(1, "unsupported")}, userData(1, "x"));
        command(1, "destroy : NULL");
        sim.board().collect();
    }
}

TEST_F(MccSlots, DeviceFailuresGiveNoSlot) {
    mcc.setCounts(SimMcc::Counts{0, 4, 4});
    EXPECT_EQ(Texts{error(1, "insufficientResources")}, create(1, "data"));
    EXPECT_TRUE(said("mcc: MCC_ALLOCATE fail: No space left on device\n"));
    mcc.failOpen(EBUSY, 1);
    EXPECT_EQ(Texts{error(1, "insufficientResources")}, create(1, "bri"));
    EXPECT_TRUE(said("mcc: fail to open MCC device: Device or resource busy\n"));
    EXPECT_TRUE(mcc.allocated().empty());
    // Nor has the resource report any channels (the counts are checked end
    // to end).
    LGCP::Resources r;
    r.set_mcc_data(7);
    mcc.failOpen(ENOENT, 1);
    factory.Query(r);
    EXPECT_EQ(0, r.get_mcc_data().getValue() + r.get_mcc_bri().getValue() + r.get_mcc_trans().getValue());

    // A channel whose time slot the driver cannot tell is kept as it is
    // and cannot be connected.
    mcc.failRequest(Mcc::MCC_TIMESLOT, EIO, 1);
    EXPECT_EQ(Texts{ok(1)}, create(1, "bri"));
    EXPECT_EQ(-1, at(1)->IGetReceiveChannel());
    command(2, "create : trunk : { trunk 0, timeslot 5 }");
    EXPECT_EQ((Texts{stream(1, "transmitter", -1), error(1, "connectFail")}), link(1, 2));
}

TEST_F(MccSlots, ThousandCyclesLeaveNoDescriptorBehind) {
    create(1, "transparent");
    command(1, "destroy : NULL");
    sim.board().collect();
    int before = openDescriptors();
    LGCP::Resources r;
    for (int i = 0; i < 1000; ++i) {
        factory.Query(r);  // which opens the controller too
        std::string error;
        client.Send("{ seq 1, slot 1, pdu command : create : mcc : { type transparent, mode standard } }", error);
        client.Send("{ seq 2, slot 1, pdu command : destroy : NULL }", error);
        if (i % 100 == 99) barrier(client.Received().size());
    }
    barrier(client.Received().size());
    sim.board().collect();
    EXPECT_EQ(before, openDescriptors());
    EXPECT_TRUE(mcc.allocated().empty());
}

}  // namespace
