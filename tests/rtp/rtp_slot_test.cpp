// RTP slots built by RtpFactory on the simulated board ("/dev/rtp",
// "/dev/voice", the DSPs and the switch), driven by a controller through
// the slot table, with the RTCP packets caught on a local UDP socket.

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "board/sim_rtp.h"
#include "board/sim_tone_dsp.h"
#include "board/sim_voice.h"
#include "board/sim_voice_dsp.h"
#include "core/slot.h"
#include "rtp/rtp_factory.h"
#include "rtp/rtp_slot.h"
#include "runtime/fd.h"
#include "tests/core/slot_fixture.h"
#include "tests/support/descriptors.h"

namespace {

using Bytes = std::vector<unsigned char>;

class RtpSlots : public SlotServer {
protected:
    void SetUp() override {
        SlotServer::SetUp();
        rtcp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ASSERT_EQ(0, ::bind(rtcp.get(), reinterpret_cast<sockaddr*>(&a), sizeof a));
        ::getsockname(rtcp.get(), reinterpret_cast<sockaddr*>(&a), &len);
        rtpPort = ntohs(a.sin_port) - 1;
        factory.reset(new RtpFactory);
    }
    void TearDown() override {
        SlotServer::TearDown();
        factory.reset();
        rtcp.close();
    }
    // The RTP parameters: the remote is the RTCP catcher; the local RTCP
    // port (65535 + 1) is the system's choice.
    std::string codec(const std::string& payload, const std::string& extra = "") const {
        return "codecRTP { payload " + payload + ", dhost { iaddr \"127.0.0.1\", port " + std::to_string(rtpPort) +
               " }, shost { iaddr \"0.0.0.0\", port 65535 }" + extra + " }";
    }
    Texts create(int slot, const std::string& payload, const std::string& extra = "", const std::string& tx = "",
                 const std::string& rx = "") {
        return command(slot, "create : rtp : { " + codec(payload, extra) + ", txPayload " +
                                 (tx.empty() ? payload : tx) + ", rxPayload " + (rx.empty() ? payload : rx) + " }");
    }
    static Texts created(int slot, int channel) {
        return {ok(slot), stream(slot, "transmitter", channel), stream(slot, "receiver", channel)};
    }
    // The next datagram on the RTCP catcher.
    Bytes rtcpPacket() {
        pollfd p{rtcp.get(), POLLIN, 0};
        if (::poll(&p, 1, 5000) != 1) return {};
        unsigned char b[2048];
        ssize_t n = ::recv(rtcp.get(), b, sizeof b, 0);
        return Bytes(b, b + (n > 0 ? n : 0));
    }
    static Bytes encoded(const RTPC::Msg& m) {
        Bytes b(1024);
        b.resize(m.encode(reinterpret_cast<char*>(b.data()), unsigned(b.size())));
        return b;
    }
    Texts received(const std::function<void()>& emit) {
        size_t before = client.Received().size();
        emit();
        pumpPasses(3);
        return barrier(before);
    }
    std::string session(int channel) { return rtp.control({"session", std::to_string(channel)}); }

    std::unique_ptr<RtpFactory> factory;
    Fd rtcp;
    int rtpPort = 0;
    SimRtp& rtp = sim.model<SimRtp>(SimRtp::kPath);
    SimToneDsp& tone = sim.model<SimToneDsp>(SimToneDsp::kPath);
    SimVoiceDsp& voice = sim.model<SimVoiceDsp>(SimVoiceDsp::kPath);
};

TEST_F(RtpSlots, EveryCodecAndTheBadOnes) {
    const struct {
        const char* payload;
        int pt;
    } codecs[] = {{"ptG711-Alaw", 8},     {"ptG711-Ulaw", 0},      {"ptG723", 4}, {"ptG729", 18},
                  {"ptG711mcc-Alaw", 136}, {"ptG711mcc-Ulaw", 128}, {"ptG728", 15}};
    for (const auto& c : codecs) {
        ASSERT_EQ(created(1, 256), create(1, c.payload)) << c.payload;
        std::string pt = std::to_string(c.pt);
        EXPECT_NE(std::string::npos, session(256).find("rx_pt=" + pt + " tx_pt=" + pt)) << session(256);
        EXPECT_EQ((Texts{ok(1, 0), ok(1)}), command(1, "destroy : NULL"));
    }
    for (const char* bad : {"ptT38-UDP-TL", "ptT38-TCP-TPKT", "ptR2S", "reserv-1"}) {
        EXPECT_EQ(Texts{error(2, "insufficientResources")}, create(2, bad));
        EXPECT_NE(std::string::npos, err.text().find(std::string("rtp do not created: payload ") + bad + "not found\n"));
    }
    EXPECT_TRUE(rtp.sessions().empty());
    // Only G.711 overrides the codec in a direction.
    create(3, "ptG729", "", "ptG711-Alaw", "ptG729");
    EXPECT_NE(std::string::npos, session(256).find("rx_pt=18 tx_pt=8"));
    create(4, "ptG729", "", "ptG723", "ptG711-Ulaw");
    EXPECT_NE(std::string::npos, session(257).find("rx_pt=0 tx_pt=18"));
    // A radio request is not this factory's.
    EXPECT_EQ(Texts{error(5, "insufficientResources")},
              command(5, "create : rtp : { " + codec("ptG729", ", radio { status lemz : { flags { prio 1, ptt FALSE, "
                                                               "bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, "
                                                               "pwr FALSE, rv FALSE, resv FALSE, selcall 0, li 0 }, freq { "
                                                               "channel 1, frequency \"1\" }, remote { no 0, ch 0 }, "
                                                               "squelshe 0, rte 0, standby-state-channel 0, standby-group 0, "
                                                               "standby-state-receiver 0 } }") +
                                 ", txPayload ptG729, rxPayload ptG729 }"));
}

TEST_F(RtpSlots, TheSessionRecordAndTheRtcpPackets) {
    ASSERT_EQ(created(1, 256),
              create(1, "ptG729", ", pfactor 3, crate 8000, vad TRUE, ssrc 3735928559, ttl 16, qos-dscp ef=46"));
    EXPECT_EQ("channel=256 remote=127.0.0.1:" + std::to_string(rtpPort) +
                  " local=0.0.0.0:65535 rx_pt=18 tx_pt=18 packet_factor=3 vad=1 crate=1 ssrc=0xdeadbeef ttl=16 tos=184"
                  " bss=0 input=off pd=off",
              session(256));
    // The packets' bytes are checked against tshark's decode elsewhere.
    EXPECT_EQ(encoded(RtpSlot::sourceDescription(0xDEADBEEF)), rtcpPacket());
    command(1, "destroy : NULL");
    EXPECT_EQ(encoded(RtpSlot::goodbye(0xDEADBEEF)), rtcpPacket());

    // Without ssrc, shost and qos: a random SSRC, the remote port for both, no TOS.
    ASSERT_EQ(created(2, 256), command(2, "create : rtp : { codecRTP { payload ptG711-Alaw, dhost { iaddr "
                                          "\"127.0.0.2\", port 6000 } }, txPayload ptG711-Alaw, rxPayload ptG711-Alaw }"));
    std::string s = session(256);
    EXPECT_NE(std::string::npos, s.find("remote=127.0.0.2:6000 local=0.0.0.0:6000 ")) << s;
    EXPECT_NE(std::string::npos, s.find(" ttl=0 tos=-1 ")) << s;
    // The local RTCP port is taken: no slot.
    EXPECT_EQ(Texts{error(3, "insufficientResources")},
              command(3, "create : rtp : { codecRTP { payload ptG711-Alaw, dhost { iaddr \"127.0.0.2\", port " +
                             std::to_string(rtpPort) + " } }, txPayload ptG711-Alaw, rxPayload ptG711-Alaw }"));
    EXPECT_NE(std::string::npos, err.text().find("rtp do not created: can not bind socket [errno=Address already in use, port=" +
                                                 std::to_string(rtpPort + 1) + "]"));
}

// The driver would send to whatever the conversion made of the text: an
// address that is no dotted quad is refused before anything is opened.
TEST_F(RtpSlots, AnAddressThatIsNoDottedQuadGivesNoSlot) {
    const struct {
        const char* dhost;
        const char* shost;  // null: none
        const char* line;   // "" for a slot
    } cases[] = {
        {"not-an-address", nullptr, "rtp do not created: dhost address \"not-an-address\" not valid\n"},
        {"10.1.2", nullptr, "rtp do not created: dhost address \"10.1.2\" not valid\n"},
        {"127.0.0.2", "", "rtp do not created: shost address \"\" not valid\n"},
        {"127.0.0.2", "local", "rtp do not created: shost address \"local\" not valid\n"},
        {"255.255.255.255", nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::string shost = c.shost ? std::string(", shost { iaddr \"") + c.shost + "\", port 6100 }" : "";
        Texts answer = command(1, std::string("create : rtp : { codecRTP { payload ptG729, dhost { iaddr \"") +
                                      c.dhost + "\", port 6000 }" + shost + " }, txPayload ptG729, rxPayload ptG729 }");
        if (!*c.line) {
            EXPECT_EQ(created(1, 256), answer);
            EXPECT_NE(std::string::npos, session(256).find("remote=255.255.255.255:6000 ")) << session(256);
            continue;
        }
        EXPECT_EQ(Texts{error(1, "insufficientResources")}, answer);
        EXPECT_NE(std::string::npos, err.text().find(c.line)) << err.text();
        EXPECT_TRUE(rtp.handles().empty());
    }
}

TEST_F(RtpSlots, DriverFailuresCloseWhatWasOpened) {
    rtp.failOpen(ENODEV, 1);
    create(1, "ptG729");  // the controller's connection and the services are in place
    sim.board().collect();
    int before = openDescriptors();
    rtp.failOpen(ENODEV, 1);
    EXPECT_EQ(Texts{error(1, "insufficientResources")}, create(1, "ptG729"));
    EXPECT_NE(std::string::npos, err.text().find("device \"/dev/rtp\" open fail: No such device\n"));
    rtp.failRequest(Rtp::RTP_BEGIN_SESSION, EINVAL, 1);
    EXPECT_EQ(Texts{error(1, "insufficientResources")}, create(1, "ptG729"));
    EXPECT_NE(std::string::npos, err.text().find("begin session fail !!! \n"));
    rtp.failRequest(Rtp::RTP_ADD_CHANNEL, EBUSY, 1);
    EXPECT_EQ(Texts{error(1, "insufficientResources")}, create(1, "ptG729"));
    EXPECT_NE(std::string::npos, err.text().find("add channel fail !!!\n"));
    sim.board().collect();
    EXPECT_LE(openDescriptors(), before);
    EXPECT_TRUE(rtp.handles().empty());
}

TEST_F(RtpSlots, StreamsEventsAndTeardown) {
    ASSERT_EQ(created(1, 256), create(1, "ptG729"));
    rtcpPacket();
    // The driver input follows the link into the slot: a connect switches
    // it on, the disconnect off; the source's own input stays off.
    ASSERT_EQ(created(2, 257), create(2, "ptG729"));
    EXPECT_EQ(Texts{ok(2)}, link(2, 1));
    EXPECT_EQ(257, sw.sourceOf(256));
    EXPECT_NE(std::string::npos, session(256).find("input=on"));
    EXPECT_NE(std::string::npos, session(257).find("input=off"));
    EXPECT_EQ(Texts{ok(1)}, command(1, "disconnect : NULL"));
    EXPECT_NE(std::string::npos, session(256).find("input=off"));
    EXPECT_EQ((Texts{ok(2, 0), ok(2)}), command(2, "destroy : NULL"));
    sim.board().collect();

    // Several records in one wake-up; only packet detection is reported.
    auto event = [this](uint32_t type, int32_t value, int32_t timeout) {
        rtp_event e{};
        e.type = type, e.value = value, e.timeout = timeout;
        EXPECT_TRUE(rtp.emitEvent(256, e));
    };
    std::string pd = slotMessage(-1, 1, "signal : rtp : pd : { value 7, timeout 300 }");
    EXPECT_EQ((Texts{pd, pd}), received([&] {
                  event(1, 7, 300);
                  event(2, 1, 1);
                  event(1, 7, 300);
              }));
    EXPECT_NE(std::string::npos, log.text().find("rtp[256]: rtp event:  type=2\n"));
    // The board's control emits a burst of one record.
    EXPECT_EQ((Texts{pd, pd, pd}), received([&] { rtp.control({"event", "256", "1", "7", "300", "3"}); }));
    EXPECT_EQ("error: bad count", rtp.control({"event", "256", "1", "7", "300", "65"}));
    // A short record ends the pass; the next records still come.
    EXPECT_EQ(Texts{pd}, received([&] {
                  rtp.control({"raw", "0100"});
                  pumpPasses(2);
                  event(1, 7, 300);
              }));
    EXPECT_NE(std::string::npos, err.text().find("rtp[256]: fail to read from rtp: short record of 2 bytes\n"));

    rtp.clearLog();
    command(1, "destroy : NULL");
    sim.board().collect();
    EXPECT_EQ("teardown_10=1 teardown_3=1 teardown_11=1 reset_pd=1 close=1", rtp.control({"log"}));
    EXPECT_TRUE(rtp.sessions().empty());
}

TEST_F(RtpSlots, EveryIoctlRow) {
    ASSERT_EQ(created(1, 256), create(1, "ptG729"));
    const unsigned ts = 256;
    const struct {
        const char* ioctl;
        bool supported;
        std::function<bool()> done;
    } rows[] = {
        {"echoSuppressor : TRUE", true, [&] { return tone.channel(ts).lms; }},
        {"activateWaitTone : NULL", true, nullptr},
        {"deactivateWaitTone : NULL", true, nullptr},
        {"translateDTMF : { digits { { freq1 697, freq2 1209 } }, amp1 300, amp2 400 }", true,
         [&] { return tone.channel(ts).generator.freq1 == 697 && tone.channel(ts).generator.level2 == 400; }},
        {"dtmf-params : { threshold { twist 8, ratio 9, noise 10 }, level { silence 11 } }", true,
         [&] { return tone.channel(ts).configured && tone.channel(ts).config.silence == 11; }},
        {"dtmf-enable : TRUE", true, [&] { return tone.channel(ts).dtmf; }},
        {"dtmf-reject-enable : TRUE", true, [&] { return tone.channel(ts).rejection; }},
        // A configure first: it opens the voice-processing DSP on this board.
        {"sd-params : NULL", true, [&] { return voice.channel(ts).sdConfigured; }},
        {"vad-params : v2 : { voice-th-msec 200, silence-th-msec 300, e-th-dB -40 }", true,
         [&] {
             DSProc::VadParamsV2 v;
             std::memcpy(&v, voice.channel(ts).vadParams, sizeof v);
             return voice.channel(ts).vadConfigured && v.voice_th_msec == 200 && v.e_th_dB == -40;
         }},
        {"vad-enable : TRUE", true, [&] { return voice.channel(ts).vad.on; }},
        {"vad-disable : NULL", true, [&] { return !voice.channel(ts).vad.on; }},
        {"sd-enable : TRUE", true, [&] { return voice.channel(ts).sd.on; }},
        {"sd-disable : NULL", true, [&] { return !voice.channel(ts).sd.on; }},
        {"pd-enable : { timeout 300 }", true, [&] { return session(256).find("pd=300") != std::string::npos; }},
        {"pd-disable : NULL", true, [&] { return session(256).find("pd=off") != std::string::npos; }},
        {"rx-gain : { gainDB -6 }", true, [&] { return voice.channel(ts).gain_dB == -6; }},
        {"tone-filter : { freq 2100, enable TRUE, duration-th-msec 100, det-level-dB -30 }", true,
         [&] { return voice.channel(ts).filters.count(2100) == 1; }},
        {"selcal : { amp 100, signs \"ABCD\" }", true, nullptr},
        {"deactivateRecord : NULL", false, nullptr},
        {"ss7RqBSN : NULL", false, nullptr},
        {"dtmf-disable : NULL", false, nullptr},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Texts{row.supported ? ok(1) : error(1, "unsupported")}, command(1, std::string("ioctl : ") + row.ioctl))
            << row.ioctl << err.text();
        if (row.done) {
            EXPECT_TRUE(row.done()) << row.ioctl;
        }
    }
    EXPECT_NE(std::string::npos, log.text().find("rtp[256]: RTP SET EVENT PD timeout=300\n"));
    // The destruction turns off what the slot turned on.
    command(1, "destroy : NULL");
    EXPECT_FALSE(tone.channel(ts).dtmf);
    EXPECT_TRUE(voice.channel(ts).filters.empty());
}

TEST_F(RtpSlots, PayloadChangesRestartTheSession) {
    ASSERT_EQ(created(1, 256), create(1, "ptG729"));
    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : encoder-mode : lbrc"));
    EXPECT_NE(std::string::npos,
              log.text().find("rtp[256]: do restart RTP session (change tx payload):encoder-mode : lbrc - Nothing to do\n"));
    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : encoder-mode : alaw"));
    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : decoder-mode : ulaw"));
    EXPECT_NE(std::string::npos, session(256).find("rx_pt=0 tx_pt=8"));
    EXPECT_EQ(1u, rtp.handles().size());  // the old sessions are closed
    // Events come from the new session.
    rtp_event e{};
    e.type = 1, e.value = 2, e.timeout = 3;
    EXPECT_EQ(Texts{slotMessage(-1, 1, "signal : rtp : pd : { value 2, timeout 3 }")},
              received([&] { EXPECT_TRUE(rtp.emitEvent(256, e)); }));

    // A failed restart leaves nothing polled: the loop stays quiet.
    rtp.failOpen(EMFILE, 1);
    EXPECT_EQ(Texts{error(1, "unsupported")}, command(1, "ioctl : encoder-mode : lbrc"));
    EXPECT_NE(std::string::npos, err.text().find("rtp[256]: fail to restart RTP session!\n"));
    pumpPasses(20);
    EXPECT_EQ(std::string::npos, err.text().find("fail to read from rtp"));
    std::ostringstream dump;
    multiplexer.dump(dump);
    EXPECT_EQ(std::string::npos, dump.str().find("RtpSlot::OnRtpEvent"));
    EXPECT_EQ(Texts{error(1, "unsupported")}, command(1, "ioctl : pd-enable : { timeout 1 }"));
    EXPECT_EQ((Texts{ok(1, 0), ok(1)}), command(1, "destroy : NULL"));
}

// The new session of a payload change runs as the old one did: the input of
// a connected receiver and the packet detection stay on, and the slot's
// flags still agree with the driver afterwards.
TEST_F(RtpSlots, APayloadChangeKeepsTheInputAndThePacketDetection) {
    ASSERT_EQ(created(1, 256), create(1, "ptG729"));
    ASSERT_EQ(created(2, 257), create(2, "ptG729"));
    EXPECT_EQ(Texts{ok(2)}, link(2, 1));
    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : pd-enable : { timeout 300 }"));
    for (const char* change : {"encoder-mode : alaw", "decoder-mode : ulaw"}) {
        EXPECT_EQ(Texts{ok(1)}, command(1, std::string("ioctl : ") + change));
        EXPECT_NE(std::string::npos, session(256).find(" input=on pd=300")) << change << " " << session(256);
    }
    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : pd-disable : NULL"));
    EXPECT_EQ(Texts{ok(1)}, command(1, "disconnect : NULL"));
    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : encoder-mode : lbrc"));
    EXPECT_NE(std::string::npos, session(256).find("tx_pt=18 packet_factor=0 vad=0 crate=0 ")) << session(256);
    EXPECT_NE(std::string::npos, session(256).find(" input=off pd=off")) << session(256);
}

// A restart that failed stores nothing: the payload of the other direction
// changed next begins a session with the old one, and the same change is
// tried again and not taken for done while the slot has no session.
TEST_F(RtpSlots, AFailedRestartKeepsTheOldPayload) {
    ASSERT_EQ(created(1, 256), create(1, "ptG729"));
    const struct {
        const char* change;     // answered with an error
        unsigned long request;  // the failing one, 0 for the open
        const char* next;       // answered with success
        const char* payloads;
    } rows[] = {
        {"encoder-mode : alaw", Rtp::RTP_BEGIN_SESSION, "decoder-mode : ulaw", "rx_pt=0 tx_pt=18 "},
        {"encoder-mode : alaw", Rtp::RTP_BEGIN_SESSION, "encoder-mode : alaw", "rx_pt=0 tx_pt=8 "},
        {"decoder-mode : alaw", Rtp::RTP_ADD_CHANNEL, "decoder-mode : alaw", "rx_pt=8 tx_pt=8 "},
        {"encoder-mode : ulaw", 0, "encoder-mode : ulaw", "rx_pt=8 tx_pt=0 "},
    };
    for (const auto& r : rows) {
        if (r.request)
            rtp.failRequest(r.request, EIO, 1);
        else
            rtp.failOpen(EMFILE, 1);
        std::string change = std::string("ioctl : ") + r.change, next = std::string("ioctl : ") + r.next;
        EXPECT_EQ(Texts{error(1, "unsupported")}, command(1, change)) << r.change;
        EXPECT_EQ(Texts{ok(1)}, command(1, next)) << r.change << ", then " << r.next;
        EXPECT_NE(std::string::npos, session(256).find(r.payloads)) << r.change << ", then " << r.next << ": "
                                                                    << session(256);
    }
    // Nor is the payload the slot already has done while it has no session:
    // the session is begun again with it.
    rtp.failOpen(EMFILE, 1);
    EXPECT_EQ(Texts{error(1, "unsupported")}, command(1, "ioctl : encoder-mode : alaw"));
    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : encoder-mode : ulaw"));
    EXPECT_NE(std::string::npos, session(256).find("rx_pt=8 tx_pt=0 ")) << session(256);
    EXPECT_EQ(std::string::npos, log.text().find("Nothing to do"));
}

TEST_F(RtpSlots, QueryReportsTheVoiceDriverCapacitiesAndClosesIt) {
    sim.model<SimVoice>(SimVoice::kPath).setCapacity(8, 5);
    LGCP::Resources r;
    factory->Query(r);
    EXPECT_EQ(32, r.get_rtp_g729().getValue());
    EXPECT_EQ(16, r.get_rtp_g723().getValue());
    EXPECT_EQ(64, r.get_rtp_g711().getValue());
    EXPECT_EQ(5, r.get_rtp_g711mcc().getValue());
    EXPECT_EQ(8, r.get_universal().getValue());
    std::ostringstream prefix;
    factory->PutHeader(prefix);
    EXPECT_EQ("rtp[16,32,64,8]: ", prefix.str());
    sim.board().collect();
    EXPECT_TRUE(sim.model<SimVoice>(SimVoice::kPath).handles().empty());
}

TEST_F(RtpSlots, CreateAndDestroyKeepTheDescriptorCount) {
    ASSERT_EQ(created(1, 256), create(1, "ptG729"));
    command(1, "destroy : NULL");
    sim.board().collect();
    int before = openDescriptors();
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(created(1, 256), create(1, "ptG729"));
        command(1, "destroy : NULL");
        rtcpPacket();
        rtcpPacket();
    }
    sim.board().collect();
    EXPECT_EQ(before, openDescriptors());
}

}  // namespace
