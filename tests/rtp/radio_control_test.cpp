// The radio controllers on the simulated board's header-extension driver,
// with the loop on the test clock: the session and its source filter, the
// receive loop's run rule, the LEMZ access rules and announcements, the
// ED-137 keep-alive, report interval and reception time-out, also across
// the wrap of the 32-bit millisecond clock.

#include <poll.h>
#include <unistd.h>

#include <limits>
#include <memory>
#include <regex>

#include "rtp/ed137_radio_control.h"
#include "rtp/lemz_radio_control.h"
#include "tests/rtp/radio_fixture.h"

namespace {

using namespace RTPSignalling;
using Times = std::vector<std::pair<uint64_t, int>>;

// A full LEMZ status: channel 3 on 121.5, remote 1/9, and the standby
// fields set or not.
TERM::RadioStatus lemzStatus(bool standby) {
    TERM::RadioStatus s = parse<TERM::RadioStatus>(lemzStatusText());
    if (!standby) s.set_lemz().set_standby_state_channel().setValue(-1);  // not-use
    return s;
}

TERM::RadioModifier lemzModifier(const std::string& params, const char* from = "10.9.9.9") {
    return parse<TERM::RadioModifier>("lemz : { addr { session-addr \"" + std::string(from) +
                                      "\", session-ssrc 7 }, params " + params + " }");
}

// The session of an extension session being made: the requests the driver got.
class RadioControlBase : public RadioSession {};

TEST_F(RadioControlBase, SessionKindsAndTheSourceFilter) {
    // Attached: opened without blocking, initialised, attached to the RTP session.
    auto attached = std::make_unique<LemzRadioGWControl>(channel, attach(::getpid()), init(kRtpExtLemz));
    ASSERT_NE(nullptr, ext.session(channel));
    EXPECT_NE(0, ext.log().front().value & O_NONBLOCK);
    EXPECT_TRUE(attached->IsPolling());
    std::regex prefix("rtp_ext\\[" + std::to_string(channel) + "\\] \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{6}:");
    EXPECT_TRUE(std::regex_match(attached->GetPrefix(), prefix)) << attached->GetPrefix();

    // The filter is set once per holder and reset only when held.
    in_addr a{addr("10.0.0.7")}, b{addr("10.0.0.8")};
    ext.clearLog();
    attached->UpdateAccess(true, a);
    attached->UpdateAccess(true, a);
    EXPECT_NE(std::string::npos, ext.control({"session", std::to_string(channel)}).find(" filter=10.0.0.7 "));
    attached->UpdateAccess(true, b);
    attached->UpdateAccess(false, b);
    attached->UpdateAccess(false, b);
    EXPECT_EQ("set_filter=2 reset_filter=1", ext.control({"log"}));

    // Stopping detaches and closes.
    ext.clearLog();
    EXPECT_TRUE(attached->RtpExtStop());
    EXPECT_EQ("detach=1", ext.control({"log"}));
    EXPECT_FALSE(attached->IsPolling());

    ext.clearLog();
    // A controller on the RTP session attaches that session and asks
    // nothing of the extension driver.
    auto rtpAttached = std::make_unique<LemzRadioGWControl>(channel, session, rtp_attach_session_params{7, 100});
    EXPECT_NE(std::string::npos, rtp.control({"session", std::to_string(channel)}).find(" attach=7/100"));
    EXPECT_TRUE(rtpAttached->RtpExtStop());
    EXPECT_FALSE(rtpAttached->IsPolling());
    EXPECT_EQ("", ext.control({"log"}));
}

TEST_F(RadioControlBase, FailedStepsCloseWhatWasOpened) {
    const struct {
        unsigned long request;
        const char* line;
    } steps[] = {{0, "create rtp_ext session fail !!!"},
                 {Rtp::RTP_EXT_INIT, "init rtp_ext session fail !!!"},
                 {Rtp::RTP_EXT_ATTACH, "attach rtp_ext session fail !!!"}};
    for (const auto& s : steps) {
        if (s.request)
            ext.failRequest(s.request, EIO, 1);
        else
            ext.failOpen(ENODEV, 1);
        LemzRadioGWControl c(channel, attach(::getpid()), init(kRtpExtLemz));
        EXPECT_FALSE(c.IsPolling()) << s.line;
        EXPECT_NE(std::string::npos, err.text().find(std::string(":") + s.line + "\n")) << s.line;
        // Sends fail and count their error; the status timer still runs.
        EXPECT_TRUE(c.SendASNToChan(lemzModifier("wm-flags : { " + flags(1, false) + " }")));
        EXPECT_EQ(EBADF, c.GetStatistics().writeErrno);
    }
    sim.board().collect();
    EXPECT_TRUE(ext.handles().empty());
    // A stale descriptor number is no RTP session.
    LemzRadioGWControl stale(channel, rtp_ext_attach_session_params{999, ::getpid()}, init(kRtpExtLemz));
    EXPECT_FALSE(stale.IsPolling());
}

// A hung-up driver is read no more: poll would report it on every pass.
TEST_F(RadioControlBase, AFailedSessionStopsBeingPolled) {
    ED137RadioGWControl c(channel, attach(), init(kRtpExtEd137, 10, 1));
    ASSERT_TRUE(c.IsPolling());
    EXPECT_EQ("ok", ext.control({"hangup"}));
    pumpPasses(3);
    EXPECT_FALSE(c.IsPolling());
    EXPECT_NE(std::string::npos, err.text().find("read rtp_ext session fail: "));
}

// ---- LEMZ ----------------------------------------------------------------------------

class LemzControl : public RadioSession {
protected:
    void SetUp() override {
        RadioSession::SetUp();
        start();
    }
    void start() {
        gw.reset(new LemzRadioGWControl(channel, attach(::getpid()), init(kRtpExtLemz)));
        gw->SetNotify(&notify);
    }
    std::unique_ptr<LemzRadioGWControl> gw;
};

TEST_F(LemzControl, ControllerCommandsBecomeThePacketsOfTheGateway) {
    // A full status updates the channel state and sends nothing.
    ASSERT_TRUE(gw->SendASNToChan(lemzStatus(true)));
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(3, gw->GetChannelState().channelId);
    EXPECT_FALSE(gw->IsAccessHeld());

    const struct {
        std::string params;
        Bytes packet;
    } rows[] = {
        {"wm-chan : { freq { channel 4, frequency \"118.125\" }, squelshe persent_10, rte h3e }",
         lemzPacket(WM_CHAN, [](sig_proto& p) {
             sig_proto_set_base(&p, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
             sig_proto_set_wm_chan(&p, 4, 118.125f, 13, 5);
         })},
        {"wm-selcall : { " + flags(2, true) + ", ip \"10.1.2.3\", ssrc 77, cid \"ABC\" }",
         lemzPacket(WM_SEL_CALL_TRANS, [](sig_proto& p) {
             sig_proto_set_base(&p, 2, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0);
             sig_proto_set_wm_selcall_transmite(&p, addr("10.1.2.3"), 77, "ABC", 3);
         })},
        {"wm-quality : { bss-val \"0.75\" }", lemzPacket(WM_RADIO_QUALITY, [](sig_proto& p) {
             sig_proto_set_base(&p, 2, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0);
             sig_proto_set_wm_radio_quality(&p, 0.75f);
         })},
        // A workstation's command is kept, not sent.
        {"gw-set-ptt : { " + flags(2, true) + " }", {}},
    };
    for (const auto& r : rows) {
        ASSERT_TRUE(gw->SendASNToChan(lemzModifier(r.params)));
        std::vector<Bytes> w = written();
        EXPECT_EQ(r.packet.empty() ? 0u : 1u, w.size()) << r.params;
        if (!w.empty()) {
            EXPECT_EQ(SimRtpExt::padded(r.packet.data(), r.packet.size()), w[0]) << r.params;
        }
    }
    // The transmission holds the radio for its session; the caller id is not kept.
    EXPECT_TRUE(gw->IsAccessHeld());
    EXPECT_NE(std::string::npos, ext.control({"session", std::to_string(channel)}).find("filter=10.1.2.3"));
    EXPECT_EQ(0, gw->GetChannelState().callerId[0]);
    EXPECT_FALSE(gw->SendASNToChan(parse<TERM::RadioModifier>(
        "ed-137 : { addr { session-addr \"1.1.1.1\", session-ssrc 0 }, params tx : { header { ptt ptt-off, "
        "squ squ-off, ptt-id 0, ptt-mute FALSE, ptt-summation FALSE, sct FALSE } } }")));
}

// A modifier whose address text is no dotted quad would hold the radio for
// 0.0.0.0 or tell the channel of it: it is refused whole, with a line, and
// the radio stays held for the session it had.
TEST_F(RadioControlBase, AModifierWithAnAddressThatIsNoDottedQuadIsRefused) {
    auto lemz = [&](const std::string& from, const std::string& ip) {
        return "lemz : { addr { session-addr \"" + from + "\", session-ssrc 7 }, params wm-trans : { " +
               flags(2, true) + ", ip \"" + ip + "\", ssrc 1 } }";
    };
    auto ed137 = [&](const std::string& from) {
        return "ed-137 : { addr { session-addr \"" + from + "\", session-ssrc 3 }, params rx : { header { ptt "
               "normal-ptt-on, squ squ-on, ptt-id 2, ptt-mute FALSE, ptt-summation FALSE, sct FALSE } } }";
    };
    // The first request of each kind is taken and holds the radio.
    const struct {
        uint16_t etype;
        std::vector<std::string> requests;
    } kinds[] = {
        {kRtpExtLemz,
         {lemz("10.9.9.9", "10.1.2.3"), lemz("10.9.9.9", "not-an-address"), lemz("10.9.9.9", "10.1.2.4:80"),
          lemz("", "10.1.2.4"), lemz("10.9.9", "10.1.2.4")}},
        {kRtpExtEd137, {ed137("10.1.2.3"), ed137("10.1.2.4 "), ed137("010.1.2.4"), ed137("")}},
    };
    for (const auto& kind : kinds) {
        std::unique_ptr<RadioControl> control;
        if (kind.etype == kRtpExtLemz)
            control.reset(new LemzRadioGWControl(channel, attach(::getpid()), init(kRtpExtLemz)));
        else
            control.reset(new ED137RadioGWControl(channel, attach(), init(kRtpExtEd137, 10, 1)));
        for (size_t i = 0; i < kind.requests.size(); ++i) {
            const std::string& request = kind.requests[i];
            bool taken = i == 0;
            err.clear();
            EXPECT_EQ(taken, control->SendASNToChan(parse<TERM::RadioModifier>(request))) << request;
            EXPECT_EQ(taken ? 1u : 0u, written().size()) << request;
            EXPECT_EQ(!taken, err.text().find("radio request refused, an address is no dotted quad: ") !=
                                  std::string::npos)
                << request;
            EXPECT_NE(std::string::npos, ext.control({"session", std::to_string(channel)}).find("filter=10.1.2.3 "))
                << request;
        }
    }
}

TEST_F(LemzControl, OfARunOfOneTypeFromOneSourceOnlyTheLastIsReported) {
    gw->SendASNToChan(lemzStatus(true));
    ext.session(channel)->filtered = false;
    auto ptt = [](int prio) { return lemzFlags(GW_FLAG_PTT, prio); };
    for (int prio : {3, 2, 1}) ASSERT_TRUE(ext.inject(channel, addr("10.0.0.2"), 5, ptt(prio)));
    pumpPasses(2);
    ASSERT_EQ(1u, notify.requests.size());
    EXPECT_NE(std::string::npos, notify.requests[0].find("params gw-set-ptt : { flags { prio 1, ptt TRUE,"))
        << notify.requests[0];
    EXPECT_NE(std::string::npos, notify.requests[0].find("addr { session-addr \"10.0.0.2\", session-ssrc 5 }"));
    EXPECT_NE(std::string::npos, notify.requests[0].find("frequency \"121.500000\""));

    // Another type between, another source, a packet that does not unpack.
    notify.requests.clear();
    for (const Bytes& b : {ptt(3), lemzPacket(GW_ADJUST_RTE), Bytes{200, 0, 0, 0}, ptt(2)})
        ASSERT_TRUE(ext.inject(channel, addr("10.0.0.2"), 5, b));
    ASSERT_TRUE(ext.inject(channel, addr("10.0.0.3"), 5, ptt(2)));
    pumpPasses(2);
    EXPECT_EQ(4u, notify.requests.size());
    EXPECT_EQ(-8, gw->GetStatistics().unpackError);
    EXPECT_EQ(7u, gw->GetStatistics().decoded);
}

// While a transmitter holds the radio, another source gets through only
// with a push-to-talk of a higher priority; the driver's filter is off here,
// so the controller's own rules are seen.
TEST_F(LemzControl, AccessOrderBetweenSources) {
    gw->SendASNToChan(lemzStatus(true));
    gw->SendASNToChan(lemzModifier("wm-trans : { " + flags(5, true) + ", ip \"10.0.0.1\", ssrc 1 }"));
    ext.session(channel)->filtered = false;
    const struct {
        const char* from;
        uint32_t type;
        int prio;
        int ptt;
        bool reported;
    } rows[] = {
        {"10.0.0.2", GW_FLAG, 1, 1, true},       // higher priority push-to-talk
        {"10.0.0.2", GW_FLAG_PTT, 5, 1, false},  // the same priority
        {"10.0.0.2", GW_FLAG_PTT, 1, 0, false},  // no push-to-talk
        {"10.0.0.2", GW_ADJUST_RTE, 0, 1, false},  // no push-to-talk command
        {"10.0.0.1", GW_ADJUST_RTE, 9, 0, true},   // the holder
    };
    for (const auto& r : rows) {
        notify.requests.clear();
        receive(lemzFlags(r.type, r.prio, r.ptt), addr(r.from));
        EXPECT_EQ(r.reported ? 1u : 0u, notify.requests.size()) << r.from << " " << r.type;
    }
    // A holder that is this host lets everyone through.
    gw->SendASNToChan(lemzModifier("wm-trans : { " + flags(5, true) + ", ip \"" + gw->GetLocalAddr().GetString().substr(0, gw->GetLocalAddr().GetString().find(':')) +
                                   "\", ssrc 1 }"));
    ext.session(channel)->filtered = false;
    notify.requests.clear();
    receive(lemzPacket(GW_ADJUST_RTE), addr("10.0.0.2"));
    EXPECT_EQ(1u, notify.requests.size());
}

// The workstation side sends what the gateway only keeps, and the other way.
TEST_F(LemzControl, TheWorkstationMirrorsTheGateway) {
    gw.reset();
    LemzRadioWSControl ws(channel, attach(::getpid()), init(kRtpExtLemz));
    ws.SetNotify(&notify);
    ASSERT_TRUE(ws.SendASNToChan(lemzModifier("gw-set-ptt : { " + flags(2, false) + " }")));
    ASSERT_TRUE(ws.SendASNToChan(lemzModifier("wm-trans : { " + flags(2, false) + ", ip \"10.1.2.3\", ssrc 7 }")));
    std::vector<Bytes> w = written();
    ASSERT_EQ(1u, w.size());
    EXPECT_EQ(GW_FLAG_PTT, w[0][0]);
    // The gateway's announcement of a transmission is heard, its session kept.
    receive(lemzPacket(WM_TRANS, [](sig_proto& p) { sig_proto_set_wm_transmite(&p, addr("10.1.2.3"), 7); }),
            addr("10.0.0.9"), 4);
    ASSERT_EQ(1u, notify.requests.size());
    EXPECT_EQ(addr("10.0.0.9"), ws.GetRadioState().sessionAddr);
}

// Floats from the wire as the controller's texts: bounded, and a value that
// is no finite number reads as 0.
TEST(LemzDecimalText, FormatsAnyFloatWithinItsBuffer) {
    const struct {
        float value;
        const char* text;
    } rows[] = {{118.125f, "118.125000"},
                {-0.5f, "-0.500000"},
                {std::numeric_limits<float>::max(), "340282346638528859811704183484516925440.000000"},
                {-std::numeric_limits<float>::max(), "-340282346638528859811704183484516925440.000000"},
                {std::numeric_limits<float>::quiet_NaN(), "0.000000"},
                {std::numeric_limits<float>::infinity(), "0.000000"},
                {-std::numeric_limits<float>::infinity(), "0.000000"}};
    for (const auto& r : rows) EXPECT_EQ(r.text, FormatDecimal(r.value)) << r.value;
    for (const char* bad : {"nan", "inf", "-infinity", "1e39", "x"}) EXPECT_EQ(0.0f, ParseDecimal(bad)) << bad;
    EXPECT_EQ(121.5f, ParseDecimal("121.5"));
}

// ---- the receive loop, whatever the packet-information request answers ------------------

class RadioReceive : public RadioSession, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        RadioSession::SetUp();
        ASSERT_EQ("ok", ext.control({"info", GetParam()}));
    }
};

INSTANTIATE_TEST_SUITE_P(InfoAnswers, RadioReceive, ::testing::Values("count", "zero"));

// A driver may answer the information request with 0 for success: every
// payload is read all the same, and a wake-up ends where a read finds
// nothing, or after 256 payloads.
TEST_P(RadioReceive, EveryInformationRequestIsFollowedByARead) {
    LemzRadioGWControl gw(channel, attach(::getpid()), init(kRtpExtLemz));
    gw.SetNotify(&notify);
    for (int prio : {3, 2, 1}) ASSERT_TRUE(ext.inject(channel, addr("10.0.0.2"), 5, lemzFlags(GW_FLAG_PTT, prio)));
    pumpPasses(2);
    ASSERT_EQ(1u, notify.requests.size());
    EXPECT_NE(std::string::npos, notify.requests[0].find("params gw-set-ptt : { flags { prio 1, ptt TRUE,"))
        << notify.requests[0];
    EXPECT_NE(std::string::npos, notify.requests[0].find("addr { session-addr \"10.0.0.2\", session-ssrc 5 }"));

    for (int i = 0; i < 260; ++i) ASSERT_TRUE(ext.inject(channel, addr("10.0.0.2"), 5, lemzFlags(GW_FLAG_PTT, 1)));
    multiplexer.runOnce(0);
    EXPECT_EQ(3u + 256u, gw.GetStatistics().decoded);
    multiplexer.runOnce(0);
    EXPECT_EQ(3u + 260u, gw.GetStatistics().decoded);
    EXPECT_EQ(3u, notify.requests.size());
}

// The ground side that keeps sending keeps an ED-137 slot alive.
TEST_P(RadioReceive, Ed137HearsTheGroundWhateverTheAnswer) {
    ED137RadioGWControl gw(channel, attach(), init(kRtpExtEd137, 10, 1));
    gw.SetNotify(&notify);
    gw.SetTimerEnable(true);
    for (int t = 0; t < 30; ++t) {
        receive(r2sTx(0, 1), addr("10.0.0.4"));
        advanceAndPump(clock, 100);
    }
    EXPECT_EQ(std::vector<int>{}, notify.codes);
    EXPECT_EQ(30u, gw.GetStatistics().decoded);
}

// ---- timings, also across the wrap of the millisecond clock ----------------------------

class RadioTimings : public RadioSession, public ::testing::WithParamInterface<uint64_t> {
protected:
    void SetUp() override {
        clock.setMs(GetParam());
        RadioSession::SetUp();
    }
};

INSTANTIATE_TEST_SUITE_P(Clock, RadioTimings, ::testing::Values(uint64_t(1000), uint64_t(0xFFFFFFFFu) - 1500),
                         [](const ::testing::TestParamInfo<uint64_t>& i) {
                             return i.param == 1000 ? std::string("Start") : std::string("AcrossTheWrap");
                         });

TEST_P(RadioTimings, LemzAnnouncements) {
    LemzRadioGWControl gw(channel, attach(::getpid()), init(kRtpExtLemz));
    gw.SendASNToChan(lemzStatus(false));  // standby not set: no WM_STANDBY
    gw.SetTimerEnable(true);
    // The channel selection on every run, flags and channel once a second.
    EXPECT_EQ((Times{{1000, WM_FLAG}, {1000, WM_CHAN}, {1000, WM_SELECT_RC_CHAN},
                     {2000, WM_FLAG}, {2000, WM_CHAN}, {2000, WM_SELECT_RC_CHAN}}),
              runFor(2000));
    // With the standby fields set, WM_STANDBY joins.
    gw.SendASNToChan(lemzStatus(true));
    EXPECT_EQ((Times{{1000, WM_FLAG}, {1000, WM_CHAN}, {1000, WM_SELECT_RC_CHAN}, {1000, WM_STANDBY}}), runFor(1000));
    // A command 400 ms into the interval renews its group: the run after
    // the regular one comes 410 ms later, 1010 ms after the command.
    runFor(400);
    gw.SendASNToChan(lemzModifier("wm-trans : { " + flags(5, true) + ", ip \"10.0.0.1\", ssrc 1 }"));
    EXPECT_EQ(1u, written().size());
    EXPECT_EQ((Times{{600, WM_CHAN}, {600, WM_SELECT_RC_CHAN}, {600, WM_STANDBY}, {1010, WM_TRANS},
                     {1010, WM_SELECT_RC_CHAN}, {1610, WM_CHAN}, {1610, WM_SELECT_RC_CHAN}, {1610, WM_STANDBY}}),
              runFor(1610));
}

TEST_P(RadioTimings, Ed137KeepAliveReportsAndReceptionTimeOut) {
    ED137RadioGWControl gw(channel, attach(), init(kRtpExtEd137, 10, 1));
    gw.SetNotify(&notify);
    gw.SetTimerInterval(1000);
    gw.SetTimerEnable(true);
    // The rx header of the create command goes out at once, then every interval.
    gw.SendASNToChan(parse<TERM::RadioStatus>("ed-137 : { header { ptt ptt-off, squ squ-on, ptt-id 5, "
                                              "ptt-mute FALSE, ptt-summation FALSE, sct FALSE } }"));
    EXPECT_EQ((std::vector<Bytes>{{0x11, 0x40, 0, 0}}), written());
    // An equal status sends nothing.
    gw.SendASNToChan(parse<TERM::RadioStatus>("ed-137 : { header { ptt ptt-off, squ squ-on, ptt-id 5, "
                                              "ptt-mute FALSE, ptt-summation FALSE, sct FALSE } }"));
    EXPECT_TRUE(written().empty());

    // The ground side's push-to-talk: reported at once; a repeat 300 ms
    // later not; a change at once; the same again after an interval.
    receive(r2sTx(1, 9), addr("10.0.0.4"));
    advanceAndPump(clock, 300);
    receive(r2sTx(1, 9), addr("10.0.0.4"));
    receive(r2sTx(0, 9), addr("10.0.0.4"));
    advanceAndPump(clock, 400);
    receive(r2sTx(0, 9), addr("10.0.0.4"));
    advanceAndPump(clock, 700);
    receive(r2sTx(0, 9), addr("10.0.0.4"));
    ASSERT_EQ(3u, notify.requests.size());
    EXPECT_NE(std::string::npos, notify.requests[0].find("params tx : { header { ptt normal-ptt-on, squ squ-off, ptt-id 9"))
        << notify.requests[0];
    EXPECT_NE(std::string::npos, notify.requests[0].find("status ed-137 : { header { ptt ptt-off, squ squ-on, ptt-id 5"));
    EXPECT_NE(std::string::npos, notify.requests[1].find("params tx : { header { ptt ptt-off"));
    written();

    // Silence: keep-alives every second; 151 from 2000 ms after the last
    // payload, on every run.
    EXPECT_EQ((Times{{600, 0x11}, {1600, 0x11}, {2600, 0x11}, {3600, 0x11}}), runFor(3600));
    EXPECT_EQ((std::vector<int>{151, 151}), notify.codes);
}

TEST_F(RadioControlBase, Ed137AccessFollowsTheRadioTypeAndMode) {
    const struct {
        uint32_t type, mode;
        bool heard;
    } rows[] = {{2, 2, true}, {3, 0, true}, {4, 2, true}, {0, 2, false}, {1, 2, false}, {2, 1, false}};
    for (const auto& r : rows) {
        ED137RadioGWControl gw(channel, attach(), init(kRtpExtEd137, 10, 1));
        ED137RadioParams p;
        p.radioType = r.type;
        p.txrxMode = r.mode;
        gw.SetParams(p);
        gw.SetNotify(&notify);
        notify.requests.clear();
        receive(r2sTx(1, 1), addr("10.0.0.4"));
        EXPECT_EQ(r.heard ? 1u : 0u, notify.requests.size()) << r.type << "/" << r.mode;
    }
}

TEST_F(RadioControlBase, Ed137SendsOnlyChangesWhileTheDriverKeepsItsInterval) {
    const std::string rx = "ed-137 : { addr { session-addr \"10.0.0.6\", session-ssrc 3 }, params rx : { header { ptt "
                           "normal-ptt-on, squ squ-on, ptt-id 2, ptt-mute FALSE, ptt-summation FALSE, sct FALSE }, sqi "
                           "{ bss-method agc, bss-quality 20 } } }";
    for (uint32_t keepAlives : {10u, 0u}) {
        ED137RadioGWControl gw(channel, attach(), init(kRtpExtEd137, keepAlives, 1));
        gw.SendASNToChan(parse<TERM::RadioModifier>(rx));
        gw.SendASNToChan(parse<TERM::RadioModifier>(rx));
        // The rx header with its SQI element; the radio is held for the session.
        std::vector<Bytes> w = written();
        EXPECT_EQ(keepAlives ? 1u : 2u, w.size());
        EXPECT_EQ((Bytes{0x30, 0x81, 0x11, 20 << 3 | 1}), w[0]);
        EXPECT_NE(std::string::npos, ext.control({"session", std::to_string(channel)}).find("filter=10.0.0.6"));
        EXPECT_TRUE(gw.GetSQU());
    }
}

}  // namespace
