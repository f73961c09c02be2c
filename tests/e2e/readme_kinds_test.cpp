// The README's session for every slot kind and for the monitoring
// reports, run as the README has a person run them, board commands and
// peer programs included, against the running daemon on the simulated
// board: so that the README stays true.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

#include "tests/e2e/daemon_fixture.h"
#include "tests/e2e/lgcpc_session.h"
#include "tests/e2e/readme_sessions.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/sim_command.h"

namespace {

using namespace LgcpTexts;
using Texts = std::vector<std::string>;

// Each README session is found by a text that only it holds.
const char kSwitchChannels[] = "create : echo";
const char kSs7[] = "pstn : ss7";
const char kPrimaryRate[] = "pstn : cas";
const char kBri[] = "type bri";
const char kIsdn[] = "create : isdn :";
const char kAtsQsig[] = "ats-qsig-b";
const char kHdlc[] = "hdlcParams";
const char kModemT38[] = "t38soft";
const char kMixers[] = "mixerOut";
const char kFilePlayer[] = "player : file";
const char kNetworkPlayer[] = "player : network";
const char kRecorder[] = "voice : record";
const char kRtpRadio[] = "only-rtp";
const char kDisplay[] = "display : board";
// The walk-through, which lgcpc_send_test.cpp runs.
const char kWalkThrough[] = "pdu command : destroy : NULL";
const char* const kSessions[] = {kWalkThrough, kSwitchChannels, kSs7,      kPrimaryRate, kBri,
                                  kIsdn,        kAtsQsig,        kHdlc,     kModemT38,    kMixers,
                                  kFilePlayer,  kNetworkPlayer,  kRecorder, kRtpRadio,    kDisplay};

std::string signal(int slot, const std::string& text) { return slotMessage(-1, slot, "signal : " + text); }
std::string activated(int slot) { return signal(slot, "activated : NULL"); }
// The start of a slot's signal as `lgcpc` prints it, up to `what`
// ("ioctl : hdlcLinkInfo"), for signals whose counters vary.
std::string report(int slot, const std::string& what) {
    return "  slot " + std::to_string(slot) + ",\n  pdu signal : " + what;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// What a session is to bring: the messages to wait for before the board
// commands of the second terminal, the messages and the parts of messages
// to wait for after them, and whether the first two lists are all that
// comes (no timer of the daemon adds to them).
struct Expected {
    Texts answered;
    Texts signalled;
    Texts reports;
    bool exact = false;
};

class ReadmeKinds : public RunningDaemon {
protected:
    std::string board(const std::string& line) { return simCommand(root.dir(), line); }

    // Runs the README session that holds `text`, with the texts of
    // `replaced` (the README's ports) replaced in its input, and checks
    // what it brings; the session stays open for `meanwhile`, called once
    // the answers and signals are in.
    void run(const std::string& text, const Expected& expected, std::map<std::string, std::string> replaced = {},
             const std::function<void()>& meanwhile = {}) {
        ReadmeSession readme = readmeSession(text);
        ASSERT_FALSE(readme.input.empty());
        if (!readme.peers.empty()) replaced["7000"] = std::to_string(peerPort);
        for (const auto& r : replaced) {
            replaceAll(readme.input, r.first, r.second);
            for (std::string& peer : readme.peers) replaceAll(peer, r.first, r.second);
        }
        for (const ReadmeSession::File& f : readme.files) {
            std::string bytes(f.size, '\0');
            for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7 + i / 256);
            root.writeFile(f.path, bytes);
        }
        for (const std::string& line : readme.board) EXPECT_EQ("ok", board(line)) << line;
        for (const std::string& program : readme.peers) {
            peers.emplace_back(new ChildProcess);
            ASSERT_TRUE(peers.back()->start("/usr/bin/python3", {"-c", program}));
        }
        // The peer listens before the daemon connects to it.
        ASSERT_TRUE(peers.empty() || waitFor([&] { return listening(peerPort); }));

        LgcpcSession s(port);
        s.lgcpc.feed(readme.input);
        for (const std::string& m : expected.answered) ASSERT_TRUE(s.waitFor(m));
        for (const std::string& line : readme.boardAfter) EXPECT_EQ("ok", board(line)) << line;
        for (const std::string& m : expected.signalled) ASSERT_TRUE(s.waitFor(m));
        for (const std::string& part : expected.reports) {
            EXPECT_TRUE(::waitFor([&] { return holds(s.messages(), part); }, 10000)) << part << "\n" << s.lgcpc.out();
        }
        if (meanwhile) meanwhile();
        Texts got = withoutStatuses(s.messages());
        EXPECT_EQ(0, s.finish()) << s.lgcpc.err();
        EXPECT_EQ("", s.lgcpc.err());
        if (expected.exact) {
            Texts all = expected.answered;
            all.insert(all.end(), expected.signalled.begin(), expected.signalled.end());
            EXPECT_EQ(all, got);
        }
        for (const std::string& m : got) {
            bool error = m.find("pdu response : error") != std::string::npos;
            EXPECT_TRUE(!error || holds(expected.answered, m)) << m;
        }
    }
    // What the `n`th peer printed, once it has ended.
    std::string peerOutput(size_t n) {
        peers.at(n)->wait();
        return peers.at(n)->out();
    }

    // The README's peers listen on port 7000, the tests' on this one.
    int peerPort = freeTcpPort();
    std::vector<std::unique_ptr<ChildProcess>> peers;

private:
    static bool holds(const Texts& messages, const std::string& part) {
        for (const std::string& m : messages)
            if (m.find(part) != std::string::npos) return true;
        return false;
    }
};

TEST_F(ReadmeKinds, SwitchChannelsNameTheirChannelsAndAByteChannelCarriesData) {
    run(kSwitchChannels,
        {{ok(1, 1), stream(1, "transmitter", 1), stream(1, "receiver", 1), ok(2, 2), stream(2, "receiver", 8326),
          stream(2, "transmitter", 8325), ok(3, 3), stream(3, "transmitter", 8195), stream(3, "receiver", 8196),
          ok(3, 4), ok(4, 5), stream(4, "transmitter", 129), stream(4, "receiver", 129), ok(5, 6),
          stream(5, "transmitter", 256), ok(5, 7)},
         {signal(5, "userData : '01020304'H")},
         {},
         true});
}

TEST_F(ReadmeKinds, Ss7LinksOnPatchedChannelsAlign) {
    run(kSs7,
        {{ok(1, 1), stream(1, "transmitter", 16), stream(1, "receiver", 16), ok(2, 2), stream(2, "transmitter", 48),
          stream(2, "receiver", 48), ok(3, 3), ok(4, 4), stream(3, "receiver", -1), ok(1, 5), stream(4, "receiver", -1),
          ok(2, 6)},
         {activated(3), activated(4)},
         {report(3, "ioctl : ss7LinkInfo"), report(4, "ioctl : ss7LinkInfo"), report(3, "ioctl : hdlcLinkInfo")}});
}

TEST_F(ReadmeKinds, PrimaryRateIsdnLinksComeUpAndACasSlotOnlyCounts) {
    run(kPrimaryRate,
        {{ok(1, 1), stream(1, "transmitter", 16), stream(1, "receiver", 16), ok(2, 2), stream(2, "transmitter", 48),
          stream(2, "receiver", 48), ok(3, 3), ok(4, 4), stream(3, "receiver", -1), ok(1, 5), stream(4, "receiver", -1),
          ok(2, 6), ok(5, 7), stream(5, "transmitter", 80), stream(5, "receiver", 80), ok(6, 8), stream(6, "receiver", -1),
          ok(5, 9)},
         {activated(3), activated(4)},
         {report(3, "ioctl : isdnLinkInfo"), report(4, "ioctl : isdnLinkInfo"), report(6, "ioctl : hdlcLinkInfo")}});
}

TEST_F(ReadmeKinds, BriLinksComeUpOnceBothDirectionsAreConnected) {
    run(kBri,
        {{ok(1, 1), stream(1, "transmitter", 1), stream(1, "receiver", 1), ok(2, 2), stream(2, "transmitter", 5),
          stream(2, "receiver", 5), ok(3, 3), ok(4, 4), stream(3, "receiver", -1), ok(1, 5),
          stream(3, "transmitter", -1), activated(3), ok(3, 6), stream(4, "receiver", -1), ok(2, 7),
          stream(4, "transmitter", -1), ok(4, 8)},
         {activated(4)},
         {report(4, "ioctl : isdnLinkInfo")}});
}

TEST_F(ReadmeKinds, IsdnSlotsComeUpOnActivation) {
    run(kIsdn,
        {{ok(1, 1), ok(2, 2), ok(1, 3), ok(2, 4)},
         {activated(1), activated(2)},
         {report(1, "ioctl : isdnLinkInfo"), report(2, "ioctl : isdnLinkInfo")}});
}

TEST_F(ReadmeKinds, AnAtsQsigLinkComesUpOnTheNetworksAnswer) {
    run(kAtsQsig,
        {{ok(1, 1), ok(2, 2), ok(3, 3), stream(3, "transmitter", 1), stream(3, "receiver", 1),
          stream(2, "receiver", 513), ok(3, 4), ok(1, 5)},
         {activated(1)},
         {report(1, "ioctl : isdnLinkInfo")}},
        {}, [&] { EXPECT_EQ(0u, board("/dev/dsp-data tx 0").find("00017f")); });
    EXPECT_TRUE(waitFor([&] { return korvand.err().find("ats-qsig-b: Can't find signalling slot\n") != std::string::npos; }));
}

TEST_F(ReadmeKinds, HdlcSlotsCarryPackagesToTheirAddress) {
    run(kHdlc,
        {{ok(1, 1), stream(1, "transmitter", 3), stream(1, "receiver", 3), ok(2, 2), stream(2, "transmitter", 35),
          stream(2, "receiver", 35), ok(3, 3), ok(4, 4), stream(3, "receiver", -1), ok(1, 5), stream(4, "receiver", -1),
          ok(2, 6), ok(3, 7)},
         {signal(4, "ioctl : hdlcPackages : { { body '0100'H } }"),
          signal(4, "ioctl : hdlcPackages : { { body '0200'H } }")},
         {report(4, "ioctl : hdlcLinkInfo")}});
}

TEST_F(ReadmeKinds, ModemAndT38SlotsReportTheirMissingPrograms) {
    run(kModemT38,
        {{ok(1, 1), ok(2, 2), stream(2, "transmitter", 1), stream(2, "receiver", 1), stream(1, "transmitter", 320),
          stream(1, "receiver", 320), ok(1, 3), ok(3, 4), stream(3, "transmitter", 256), stream(3, "receiver", 256),
          success(5)},
         {signal(1, "abort : 512"), signal(3, "abort : 60672")},
         {"pdu signal : query", "t38-instances 0,"}});
    EXPECT_NE(std::string::npos, korvand.err().find("t38 daemon not found!\n"));
}

TEST_F(ReadmeKinds, MixerSlotsSetTheirSumsAfterAQuery) {
    run(kMixers,
        {{success(1), resourceReport(), ok(1, 2), ok(2, 3), ok(3, 4), stream(3, "transmitter", 1),
          stream(3, "receiver", 1), stream(1, "receiver", 1025), ok(3, 5), stream(2, "transmitter", 1090), ok(2, 6),
          error(4, "insufficientResources", 7)},
         {},
         {},
         true},
        {}, [&] {
            EXPECT_EQ("3: 1@32767", board("/dev/mixer sums 0"));
            EXPECT_EQ("2: 4@1000 5@2000", board("/dev/mixer sums 1"));
            EXPECT_EQ("unit=0 tdm=32 inputs=128\nunit=1 tdm=24 inputs=96", board("/dev/mixer mixers"));
        });
}

TEST_F(ReadmeKinds, AFilePlayerPlaysItsPhraseAndEndsWithAbortZero) {
    run(kFilePlayer,
        {{ok(1, 1), ok(2, 2), stream(2, "transmitter", 1), stream(2, "receiver", 1), stream(1, "transmitter", 256),
          ok(1, 3)},
         {signal(1, "transmitter : inactive : NULL"), signal(1, "abort : 0")},
         {},
         true});
    EXPECT_NE(std::string::npos, board("/dev/mcc/ctl pace 256").find("pace=8000 "));
}

TEST_F(ReadmeKinds, ANetworkPlayerSendsItsIdAndPlaysThePeer) {
    run(kNetworkPlayer,
        {{ok(1, 1), ok(2, 2), stream(2, "transmitter", 1), stream(2, "receiver", 1), stream(1, "transmitter", 256),
          ok(1, 3)},
         {signal(1, "ioctl : startPlaying : NULL"), signal(1, "transmitter : inactive : NULL"), signal(1, "abort : 0")},
         {},
         true});
    EXPECT_EQ("0000002a\n", peerOutput(0));
}

TEST_F(ReadmeKinds, ARecorderCopiesTheChannelToItsPeer) {
    run(kRecorder,
        {{ok(1, 1), stream(1, "receiver", 256), ok(2, 2), stream(2, "transmitter", 1), stream(2, "receiver", 1),
          ok(2, 3)},
         {signal(1, "ioctl : stopRecording : userRequest")},
         {},
         true});
    EXPECT_EQ("d5d5d5d5\n", peerOutput(0));
}

TEST_F(ReadmeKinds, RtpAndEveryRadioFormReportTheirStreams) {
    // Each session's RTCP socket takes the RTP port + 1 on this host.
    std::map<std::string, std::string> ports;
    for (const char* p : {"port 40000", "port 40010", "port 40020", "port 40030"})
        ports[p] = "port " + std::to_string(freeUdpPort() - 1);
    Texts answered;
    for (int slot = 1; slot <= 4; ++slot) {
        answered.push_back(ok(slot, slot));
        answered.push_back(stream(slot, "transmitter", 255 + slot));
        answered.push_back(stream(slot, "receiver", 255 + slot));
    }
    run(kRtpRadio, {answered, {}, {}, true}, ports, [&] {
        EXPECT_EQ("error: no session", board("/dev/rtp_ext session 256"));
        EXPECT_NE(std::string::npos, board("/dev/rtp_ext session 257").find(" etype=0x1337 "));
        EXPECT_NE(std::string::npos, board("/dev/rtp session 258").find(" attach=7/100"));
        EXPECT_NE(std::string::npos, board("/dev/rtp_ext session 259").find(" etype=0x167 "));
    });
}

TEST_F(ReadmeKinds, DisplayReportsWriteTheStatusFilesAndTheLeds) {
    auto file = [&](const std::string& name) { return root.readFile("/var/monitoring/" + name); };
    Texts answered;
    for (int seq = 1; seq <= 8; ++seq) answered.push_back(success(seq));
    run(kDisplay, {answered, {}, {}, true}, {}, [&] {
        EXPECT_EQ("3\n1.0\n2\n", file("board2"));
        EXPECT_EQ("1\n2\n3\n2\n2\n1\n1\n1\n", file("emphone5"));
        EXPECT_EQ("17", file("term_cnts/router"));
        EXPECT_EQ("3", file("term_cnts/board2"));
        EXPECT_EQ("2", file("controller/127.0.0.1/status"));
        EXPECT_EQ("lab", file("gatewayCommon/0/location"));
        EXPECT_EQ(0u, board("/dev/hal monitor leds").find("0xc "));
    });
    // The board files go with the controller.
    EXPECT_TRUE(waitFor([&] { return !root.exists("/var/monitoring/board2"); }));
    EXPECT_TRUE(root.exists("/var/monitoring/emphone5"));
}

// A session added to the README needs a test to stay true.
TEST(ReadmeSessions, EverySessionThatCreatesOrReportsIsRunByATest) {
    size_t run = 0;
    for (const ReadmeSession& session : readmeSessions()) {
        if (session.input.find("create :") == std::string::npos && session.input.find("display :") == std::string::npos)
            continue;
        size_t found = 0;
        for (const char* text : kSessions) found += session.input.find(text) != std::string::npos ? 1 : 0;
        EXPECT_EQ(1u, found) << session.input;
        ++run;
    }
    EXPECT_EQ(std::size(kSessions), run);
}

}  // namespace
