// ISDN slots on simulated MCC channels against a LAPD peer on a channel of
// its own, patched back to back, and ATS Q.SIG slots with their B channels
// on the simulated DSP data device; in process, on the test clock.

#include "slots/isdn_slot.h"

#include "board/sim_dsp_data.h"
#include "tests/links/lapd_fixture.h"
#include "tests/slots/slot_kinds.h"

namespace {

class IsdnSlots : public SlotKinds {
protected:
    ~IsdnSlots() override {
        peerChannel.unbind();
        peerChannel.deactivate();
    }
    Texts isdn(int slot, const std::string& type) {
        return command(slot, "create : isdn : { type " + type + ", trunk 1, log 0, side user : NULL }");
    }
    // The network side's link on the next free channel, patched to `channel`.
    void peerOn(int channel) {
        peerChannel.params.mode = 1;
        peerChannel.bind(peer);
        ASSERT_TRUE(peerChannel.activate());
        ASSERT_TRUE(mcc.patch(channel, mcc.allocated().back()));
    }
    IsdnSlot* isdnSlot(int id) const { return dynamic_cast<IsdnSlot*>(at(id)); }

    IsdnFactory factory;
    SimDspData& dsp = sim.model<SimDspData>(SimDspData::kPath);
    HDLC peerChannel;
    Layer3 peer{ISDN::Side::network, peerChannel};
};

// The link's exchange with a peer is tested against libpri (interop).
TEST_F(IsdnSlots, TheChannelsKindFollowsTheInterface) {
    isdn(1, "bri");
    isdn(2, "pri");
    EXPECT_EQ(uint32_t(Mcc::kBri), mcc.channel(kFirst).allocation.kind);
    EXPECT_EQ(uint32_t(Mcc::kData), mcc.channel(kFirst + 1).allocation.kind);
    EXPECT_TRUE(isdnSlot(1)->Link()->bri);
    EXPECT_FALSE(isdnSlot(2)->Link()->bri);
    EXPECT_EQ(kFirst + 1, at(2)->IGetTransmitChannel());
}

TEST_F(IsdnSlots, AFrameTheDeviceRefusesWaitsUntilItIsWritable) {
    isdn(1, "pri");
    peerOn(kFirst);
    command(1, "activate : modem : { remoteAddr \"\", netmask \"\", gateway \"\", dns \"\", mtu 0 }");
    until(signal(1, "activated : NULL"));
    ASSERT_EQ("ok", sim.board().control("/dev/mcc/ctl buffer 4096"));
    ASSERT_TRUE(mcc.hold(kFirst));
    std::vector<Frame> messages;
    for (uint8_t n = 0; n < 7; ++n) {
        messages.push_back(Frame(2000, n));
        userData(1, std::string(2000, char(n)));
    }
    EXPECT_FALSE(isdnSlot(1)->is_ready());
    ASSERT_TRUE(mcc.release(kFirst));
    advance(100);
    EXPECT_TRUE(isdnSlot(1)->is_ready());
    EXPECT_EQ(messages, peer.received);
}

// Once its channel has ended the slot can carry nothing: activation and
// user data are refused.
TEST_F(IsdnSlots, AChannelThatEndsIsClosedReportedAndCarriesNothingMore) {
    struct Case {
        const char* create;
        const char* end;  // what the board does to the channel
        const char* lost;
    } cases[] = {
        {"create : isdn : { type pri, trunk 1, log 0, side user : NULL }", "/dev/mcc/ctl rx 256",
         "isdn-slot[256]: device lost, end of file\n"},
        {"create : isdn : { type bri, trunk 1, log 0, side user : NULL }", "/dev/mcc/ctl hangup 256",
         "isdn-slot[256]: device lost, end of file\n"},
        {"create : isdn : { type pri, trunk 1, log 0, side user : NULL }", "/dev/mcc/ctl fail 256",
         "isdn-slot[256]: device lost, Connection reset by peer\n"},
        {"create : ats-qsig : { side user : NULL, log 0 }", "/dev/dsp-data hangup",
         "isdn-slot[512]: device lost, end of file\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.end);
        ASSERT_EQ(ok(1), command(1, c.create).back());
        ASSERT_EQ("ok", sim.board().control(c.end));
        EXPECT_TRUE(has(advance(10), signal(1, "deactivated : networkError")));
        EXPECT_FALSE(isdnSlot(1)->is_open());
        EXPECT_TRUE(said(c.lost));
        EXPECT_EQ(Texts{error(1, "unsupported")},
                  command(1, "activate : modem : { remoteAddr \"\", netmask \"\", gateway \"\", dns \"\", mtu 0 }"));
        EXPECT_EQ(Texts{error(1, "unsupported")}, userData(1, "x"));
        EXPECT_TRUE(said("]: user data refused, channel closed (1 refused)\n"));
        command(1, "destroy : NULL");
        sim.board().collect();
        err.clear();
        log.clear();
    }
}

TEST_F(IsdnSlots, AtsQsigRunsOnTheDspDataDeviceWithItsBChannels) {
    command(1, "create : ats-qsig : { side user : NULL, log 0 }");
    EXPECT_EQ(512, at(1)->IGetReceiveChannel());
    EXPECT_EQ(512u, isdnSlot(1)->Link()->trunk);
    // A SABME from the network side is answered with a UA on the device.
    ASSERT_EQ("ok", sim.board().control("/dev/dsp-data rx 0 02017f"));
    advance(10);
    EXPECT_EQ("020173\n", sim.board().control("/dev/dsp-data tx 0"));

    isdn(5, "pri");
    EXPECT_EQ(Texts{error(2, "insufficientResources")}, command(2, "create : ats-qsig-b : { slot 5, subslot 1 }"));
    EXPECT_EQ(Texts{ok(2)}, command(2, "create : ats-qsig-b : { slot 1, subslot 3 }"));
    EXPECT_EQ(515, at(2)->IGetTransmitChannel());
    EXPECT_EQ("open=yes signalling=512 b=0,0,1 sent=1 lost=0", sim.board().control("/dev/dsp-data state 0"));
    command(2, "destroy : NULL");
    EXPECT_EQ("open=yes signalling=512 b=0,0,0 sent=1 lost=0", sim.board().control("/dev/dsp-data state 0"));

    // A B slot outlives its signalling slot without a channel, and never
    // takes a new slot at the same id for its own.
    command(2, "create : ats-qsig-b : { slot 1, subslot 3 }");
    command(1, "destroy : NULL");
    EXPECT_EQ(-1, at(2)->IGetTransmitChannel());
    sim.board().collect();
    command(1, "create : ats-qsig : { side user : NULL, log 0 }");
    command(3, "create : ats-qsig-b : { slot 1, subslot 3 }");
    command(2, "destroy : NULL");
    EXPECT_TRUE(said("ats-qsig-b: Can't find signalling slot\n"));
    EXPECT_EQ(515, at(3)->IGetTransmitChannel());
    EXPECT_EQ("open=yes signalling=512 b=0,0,1 sent=0 lost=0", sim.board().control("/dev/dsp-data state 0"));

    // A device without a free interface gives no slot.
    for (int id : {10, 11, 12}) command(id, "create : ats-qsig : { side network : NULL, log 0 }");
    EXPECT_EQ(Texts{error(13, "insufficientResources")}, command(13, "create : ats-qsig : { side user : NULL, log 0 }"));
}

}  // namespace
