// The LEMZ and ED-137 radio gateway slots built by their factories on the
// simulated board, driven by a controller through the slot table: the
// driver records of their sessions, the radio requests both ways, the
// squelch-gated input, the payload change and the reception time-out.

#include <fcntl.h>
#include <unistd.h>

#include <memory>

#include "board/sim_rtp.h"
#include "board/sim_rtp_ext.h"
#include "board/sim_voice_dsp.h"
#include "board/sim_words.h"
#include "rtp/rtp_ext_slot.h"
#include "rtp/rtp_radio_factory.h"
#include "tests/core/slot_fixture.h"
#include "tests/rtp/radio_fixture.h"

namespace {

const std::string kFlags = flags(5, false);
const std::string kLemzStatus = lemzStatusText();

std::string r2sHeader(const char* ptt, const char* squ) {
    return std::string("header { ptt ") + ptt + ", squ " + squ +
           ", ptt-id 5, ptt-mute FALSE, ptt-summation FALSE, sct FALSE }";
}

std::string ed137Status(const char* squ, const std::string& response) {
    return "ed-137 : { " + r2sHeader("ptt-off", squ) +
           (response.empty() ? "" : ", radio-response { type radio-txrx, txrxmode txrx" + response + " }") + " }";
}

class RadioSlots : public SlotServer {
protected:
    void SetUp() override {
        SlotServer::SetUp();
        rtpFactory.reset(new RtpFactory);
        lemzFactory.reset(new RtpLEMZFactory);
        ed137Factory.reset(new RtpED137Factory);
    }
    void TearDown() override {
        SlotServer::TearDown();
        ed137Factory.reset();
        lemzFactory.reset();
        rtpFactory.reset();
    }
    // A create command `rtp` with a radio request; `pre` goes before the
    // request, `post` after it.
    Texts create(int slot, const std::string& radio, const std::string& pre = "", const std::string& post = "") {
        return command(slot, "create : rtp : { codecRTP { payload ptG729, dhost { iaddr \"127.0.0.1\", port 40000 }, "
                             "shost { iaddr \"0.0.0.0\", port 65535 }" + pre + ", radio { status " + radio + " }" +
                                 post + " }, txPayload ptG729, rxPayload ptG729 }");
    }
    static Texts created(int slot) { return {ok(slot), stream(slot, "transmitter", 256), stream(slot, "receiver", 256)}; }
    Texts received(const std::function<void()>& emit) {
        size_t before = client.Received().size();
        emit();
        pumpPasses(3);
        return barrier(before);
    }
    std::string extSession() { return ext.control({"session", "256"}); }
    std::string rtpSession() { return rtp.control({"session", "256"}); }
    RtpExtSlot* radio(int id) { return dynamic_cast<RtpExtSlot*>(at(id)); }

    std::unique_ptr<RtpFactory> rtpFactory;
    std::unique_ptr<RtpLEMZFactory> lemzFactory;
    std::unique_ptr<RtpED137Factory> ed137Factory;
    SimRtp& rtp = sim.model<SimRtp>(SimRtp::kPath);
    SimRtpExt& ext = sim.model<SimRtpExt>(SimRtpExt::kPath);
};

TEST_F(RadioSlots, LemzGatewayCarriesRequestsBothWays) {
    ASSERT_EQ(created(1), create(1, kLemzStatus));
    EXPECT_STREQ("rtp ext LEMZ (GW)", at(1)->GetName());
    std::string s = extSession();
    EXPECT_NE(std::string::npos, s.find("etype=0x1337 init=0,0,0,0 attach=")) << s;
    EXPECT_NE(std::string::npos, s.find("/" + std::to_string(::getpid()) + " ")) << s;
    EXPECT_TRUE(radio(1)->GetController()->IsTimerEnabled());
    EXPECT_NE(std::string::npos, log.text().find("rtp ext LEMZ[16,32,64,8]: do create rtp ext LEMZ: "));

    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : rtpExt : lemz : { addr { session-addr \"10.0.0.1\", session-ssrc 1 }, "
                                       "params wm-chan : { freq { channel 4, frequency \"118.125\" }, squelshe "
                                       "persent_10, rte h3e } }"));
    Bytes chan = lemzPacket(WM_CHAN, [](sig_proto& p) {
        p.priority = 5;
        sig_proto_set_wm_chan(&p, 4, 118.125f, 13, 5);
    });
    EXPECT_EQ(SimWords::hex(chan), ext.control({"writes", "256", "clear"}));

    // A workstation's push-to-talk reaches the controller.
    Bytes ptt = lemzFlags(GW_FLAG_PTT, 2);
    EXPECT_EQ(Texts{slotMessage(-1, 1,
                                "signal : rtpExt : { status lemz : { " + kFlags +
                                    ", freq { channel 4, frequency \"118.125000\" }, remote { no 1, ch 9 }, squelshe "
                                    "persent_10, rte h3e, standby-state-channel active, standby-group 2, "
                                    "standby-state-receiver standby }, request lemz : { addr { session-addr "
                                    "\"10.0.0.2\", session-ssrc 9 }, params gw-set-ptt : { " + flags(2, true) + " } } }")},
              received([&] { ASSERT_TRUE(ext.inject(256, addr("10.0.0.2"), 9, ptt)); }));

    ext.clearLog();
    EXPECT_EQ((Texts{ok(1, 0), ok(1)}), command(1, "destroy : NULL"));
    sim.board().collect();
    EXPECT_EQ("detach=1 close=1", ext.control({"log"}));
    EXPECT_TRUE(rtp.sessions().empty());
}

// Bytes of a radio beyond the controller's ranges are reported within them,
// each noted with its raw value: the signal must still encode, or the
// controller loses the rest of the radio's state with it.

// Both radio factories set their sessions up as the RTP factory does: an
// address that is no dotted quad gives no slot.
TEST_F(RadioSlots, AnAddressThatIsNoDottedQuadGivesNoSlot) {
    for (const std::string& status : {kLemzStatus, ed137Status("squ-off", "")}) {
        SCOPED_TRACE(status);
        EXPECT_EQ(Texts{error(1, "insufficientResources")},
                  command(1, "create : rtp : { codecRTP { payload ptG729, dhost { iaddr \"radio.local\", port 40000 }, "
                             "radio { status " + status + " } }, txPayload ptG729, rxPayload ptG729 }"));
        EXPECT_NE(std::string::npos, err.text().find("]: rtp do not created: dhost address \"radio.local\" not valid\n"));
        EXPECT_TRUE(rtp.handles().empty());
        EXPECT_TRUE(ext.handles().empty());
        err.clear();
    }
}

TEST_F(RadioSlots, LemzFieldsBeyondTheControllersRangesStillReachIt) {
    ASSERT_EQ(created(1), create(1, kLemzStatus));
    const struct {
        Bytes packet;
        const char* params;
        const char* note;
    } rows[] = {
        {lemzPacket(GW_ADJUST_SQUELSHE, [](sig_proto& p) { sig_proto_set_gw_adjust_squelsh(&p, 104); }),
         "gw-set-squelshe : { squelshe no-config }", "squelshe 104"},
        {lemzPacket(GW_ADJUST_RTE, [](sig_proto& p) { sig_proto_set_gw_adjust_rte(&p, 8); }),
         "gw-set-rte : { rte no-config }", "rte 8"},
        {lemzPacket(GW_ADJUST_STANDBY, [](sig_proto& p) { sig_proto_set_gw_adjust_standby(&p, 2); }),
         "gw-set-standby : { state standby }", "standby-state-channel 2"},
        {lemzPacket(WM_CHAN, [](sig_proto& p) { sig_proto_set_wm_chan(&p, 4, 118.125f, 255, 200); }),
         "wm-chan : { freq { channel 4, frequency \"118.125000\" }, squelshe no-config, rte no-config }", "rte 200"},
        {lemzPacket(WM_STANDBY, [](sig_proto& p) { sig_proto_set_wm_standby(&p, 1, 7, 255); }),
         "wm-standby : { state-channel standby, group 7, state-receiver standby }", "standby-state-receiver 255"},
    };
    const std::string status = "status lemz : { " + kFlags +
                               ", freq { channel 3, frequency \"121.500000\" }, remote { no 1, ch 9 }, squelshe on, "
                               "rte a1b, standby-state-channel active, standby-group 2, "
                               "standby-state-receiver standby }";
    for (const auto& r : rows) {
        EXPECT_EQ(Texts{slotMessage(-1, 1, "signal : rtpExt : { " + status + ", request lemz : { addr { session-addr "
                                                   "\"10.0.0.2\", session-ssrc 9 }, params " + r.params + " } }")},
                  received([&] { ASSERT_TRUE(ext.inject(256, addr("10.0.0.2"), 9, r.packet)); }));
        EXPECT_NE(std::string::npos, err.text().find(r.note)) << r.note;
    }
}

// A caller id or a push-to-talk type that the signal's types cannot carry
// reaches the controller within them, each noted with its raw value: a
// strict decoder at the controller would refuse the whole signal.
TEST_F(RadioSlots, RadioValuesBeyondTheSignalsTypesAreTakenWithinThem) {
    ASSERT_EQ(created(1), create(1, kLemzStatus));
    ASSERT_EQ((Texts{ok(2), stream(2, "transmitter", 257), stream(2, "receiver", 257)}),
              create(2, ed137Status("squ-off", "")));
    const struct {
        const char* channel;
        const char* payload;
        const char* params;
        const char* note;
    } rows[] = {
        {"256", "0900000003fffe80", "ip \"0.0.0.0\", ssrc 0, cid \"???\" }", "cid octet 255"},
        {"256", "090000000441ff4280", "ip \"0.0.0.0\", ssrc 0, cid \"A?B?\" }", "cid octet 255"},
        {"257", "e0400000", "params tx : { header { ptt normal-ptt-on, squ squ-off, ptt-id 1,", "ptt 7"},
        {"257", "a0800000", "params tx : { header { ptt normal-ptt-on, squ squ-off, ptt-id 2,", "ptt 5"},
        {"257", "c0c00000", "params tx : { header { ptt normal-ptt-on, squ squ-off, ptt-id 3,", "ptt 6"},
    };
    for (const auto& r : rows) {
        Texts got = received([&] { EXPECT_EQ("ok", ext.control({"inject", r.channel, "10.0.0.2", "9", r.payload})); });
        ASSERT_EQ(1u, got.size()) << r.payload;
        EXPECT_NE(std::string::npos, oneLine(got[0]).find(r.params)) << got[0];
        EXPECT_NE(std::string::npos, err.text().find(std::string(r.note) + " from the radio lies beyond")) << r.note;
    }
}

TEST_F(RadioSlots, LemzModesOfTheRtpSession) {
    const std::string e2m = ", rtp-e2m { slot 1, channel 2, mode ";
    ASSERT_EQ(created(1), create(1, kLemzStatus, "", e2m + "only-rtp : { fd 7, pid 100 } }"));
    EXPECT_NE(std::string::npos, rtpSession().find(" attach=7/100")) << rtpSession();
    EXPECT_EQ("error: no session", extSession());
    EXPECT_FALSE(radio(1)->GetController()->IsTimerEnabled());
    // A payload change begins the session again on the same channel and
    // attaches the new one; the old one is closed, the controller's hold
    // on it included.
    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : encoder-mode : alaw"));
    EXPECT_NE(std::string::npos, rtpSession().find(" tx_pt=8 ")) << rtpSession();
    EXPECT_NE(std::string::npos, rtpSession().find(" attach=7/100")) << rtpSession();
    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : pd-enable : { timeout 300 }"));
    sim.board().collect();
    EXPECT_EQ(1u, rtp.handles().size());
    command(1, "destroy : NULL");
    ASSERT_EQ(created(1), create(1, kLemzStatus, "", e2m + "both-rtp-and-rtp-ext : NULL }"));
    EXPECT_NE(std::string::npos, extSession().find("etype=0x1337"));
}

TEST_F(RadioSlots, Ed137KeepAliveWordsAndStatusInterval) {
    const struct {
        std::string pre, response, init;
        unsigned long interval;
    } rows[] = {
        {"", "", "init=1,123,10,1", 1000},
        {", pfactor 0", ", sigtime 1, r2s-keepalive-period 200, r2s-keepalive-multiplier 10, ptt-id 5", "init=1,123,10,1",
         1000},
        {", pfactor 4", ", sigtime 3, r2s-keepalive-period 400, r2s-keepalive-multiplier 5, ptt-id 5", "init=1,123,30,3",
         1000},
        {", pfactor 1", ", r2s-keepalive-period 20, r2s-keepalive-multiplier 2, ptt-id 5", "init=1,123,2,1", 20},
    };
    for (const auto& r : rows) {
        ASSERT_EQ(created(1), create(1, ed137Status("squ-off", r.response), r.pre)) << r.response;
        std::string s = extSession();
        EXPECT_NE(std::string::npos, s.find("etype=0x167 " + r.init + " attach=")) << s;
        EXPECT_NE(std::string::npos, s.find("/-1 ")) << s;
        EXPECT_EQ(r.interval, radio(1)->GetController()->GetTimerInterval());
        command(1, "destroy : NULL");
    }
}

TEST_F(RadioSlots, Ed137InputFollowsTheSquelchWhenTransmissionDependsOnIt) {
    const std::string gated = ", ptt-id 5, transmission-depend-on-squ TRUE";
    ASSERT_EQ(created(1), create(1, ed137Status("squ-off", gated)));
    EXPECT_TRUE(radio(1)->IsSquelchGated());
    EXPECT_TRUE(at(1)->IOnInputStream());
    EXPECT_NE(std::string::npos, rtpSession().find("input=off"));
    auto rx = [&](const char* squ) {
        return command(1, "ioctl : rtpExt : ed-137 : { addr { session-addr \"10.0.0.1\", session-ssrc 1 }, params rx : "
                          "{ " + r2sHeader("ptt-off", squ) + " } }");
    };
    EXPECT_EQ(Texts{ok(1)}, rx("squ-on"));
    EXPECT_NE(std::string::npos, rtpSession().find("input=on"));
    EXPECT_EQ(Texts{ok(1)}, rx("squ-off"));
    EXPECT_NE(std::string::npos, rtpSession().find("input=off"));
    // A payload change keeps the input as the squelch had it.
    EXPECT_EQ(Texts{ok(1)}, rx("squ-on"));
    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : encoder-mode : alaw"));
    EXPECT_NE(std::string::npos, rtpSession().find("input=on"));
    EXPECT_EQ(Texts{ok(1)}, rx("squ-off"));
    EXPECT_NE(std::string::npos, rtpSession().find("input=off"));
    // A request of the other family is refused.
    EXPECT_EQ(Texts{error(1, "unsupported")},
              command(1, "ioctl : rtpExt : lemz : { addr { session-addr \"10.0.0.1\", session-ssrc 1 }, params "
                         "wm-flags : { " + kFlags + " } }"));
    command(1, "destroy : NULL");
    // A radio created with its squelch open lets the stream in at once.
    ASSERT_EQ(created(1), create(1, ed137Status("squ-on", gated)));
    EXPECT_NE(std::string::npos, rtpSession().find("input=on"));
}

TEST_F(RadioSlots, TheRadioRequestsDspSettings) {
    ASSERT_EQ(created(1), create(1, kLemzStatus));
    EXPECT_NE(std::string::npos, rtpSession().find(" bss=0 "));
    command(1, "destroy : NULL");
    ASSERT_EQ(created(1), command(1, "create : rtp : { codecRTP { payload ptG729, dhost { iaddr \"127.0.0.1\", port "
                                     "40000 }, shost { iaddr \"0.0.0.0\", port 65535 }, radio { status " + kLemzStatus +
                                     ", rx-delay 40, bss-enable TRUE, ng-enable TRUE } }, txPayload ptG729, rxPayload "
                                     "ptG729 }"));
    EXPECT_NE(std::string::npos, rtpSession().find(" bss=1 "));
    SimVoiceDsp::Channel c = sim.model<SimVoiceDsp>(SimVoiceDsp::kPath).channel(256);
    EXPECT_TRUE(c.bss.on);
    EXPECT_TRUE(c.ng.on);
    EXPECT_FALSE(c.selcalSh.on);
    EXPECT_EQ(40u, c.delays.rx);
    EXPECT_EQ(0u, c.delays.tx);
}

// The restart closes the session the factory opened; the extension session
// attaches to the new one, whatever number it got.
TEST_F(RadioSlots, APayloadChangeAttachesTheExtensionsToTheNewSession) {
    int hole = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(created(1), create(1, kLemzStatus));
    // A transmission holds the radio: the new session keeps its filter.
    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : rtpExt : lemz : { addr { session-addr \"10.0.0.1\", session-ssrc 1 }, "
                                       "params wm-trans : { " + flags(5, true) + ", ip \"10.0.0.2\", ssrc 1 } }"));
    ::close(hole);  // the restart's session takes this number
    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : encoder-mode : alaw"));
    std::string s = extSession();
    EXPECT_NE(std::string::npos, s.find(" attach=" + std::to_string(hole) + "/")) << s << err.text();
    EXPECT_NE(std::string::npos, s.find(" filter=10.0.0.2 ")) << s;
    Bytes ptt = lemzFlags(GW_FLAG_PTT, 2);
    EXPECT_EQ(1u, received([&] { ASSERT_TRUE(ext.inject(256, addr("10.0.0.2"), 9, ptt)); }).size());

    // A failed restart leaves the extensions down and answers unsupported.
    rtp.failOpen(EMFILE, 1);
    EXPECT_EQ(Texts{error(1, "unsupported")}, command(1, "ioctl : encoder-mode : lbrc"));
    EXPECT_EQ("error: no session", extSession());
}

TEST_F(RadioSlots, Ed137AbortsOnEveryRunWhileTheGroundIsSilent) {
    ASSERT_EQ(created(1), create(1, ed137Status("squ-off", "")));
    std::string abort = slotMessage(-1, 1, "signal : abort : 151");
    EXPECT_EQ(Texts{}, advance(1990));
    // The keep-alives go out meanwhile.
    EXPECT_FALSE(ext.control({"writes", "256"}).empty());
    EXPECT_EQ(Texts{abort}, advance(20));
    EXPECT_EQ(Texts{abort}, advance(1000));
    // A payload from the ground starts the count again.
    received([&] { ASSERT_TRUE(ext.inject(256, addr("10.0.0.2"), 9, r2sTx(0, 1))); });
    EXPECT_EQ(Texts{}, advance(1500));
}

}  // namespace
