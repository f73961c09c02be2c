// The README's sessions run with bash as a person types them after
// `scripts/run`: in a checkout's layout (build/run/root, laid out by
// scripts/root as scripts/run lays it out, and build/run/tools/lgcpc), with
// `sim` as the README defines it, the board commands, files and peers as
// each block has them, and the lines after a here-document typed in a
// second terminal once the answers are in. Only the ports are the tests'
// own: the daemon's (the checkout's client is told it), the peers' and the
// RTP sessions'. Each session runs on a daemon of its own, and all of them
// run one after another on one daemon.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <list>
#include <map>

#include "tests/e2e/daemon_fixture.h"
#include "tests/e2e/lgcpc_session.h"
#include "tests/e2e/readme_sessions.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/sim_command.h"

namespace {

using namespace LgcpTexts;
using Texts = std::vector<std::string>;

// Each README session is found by a text that only it holds.
const char kWalkThrough[] = "pdu command : destroy : NULL";
const char kWithoutStatuses[] = "!/trunkStatus/";
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
const char* const kSessions[] = {
    kWalkThrough,   kWithoutStatuses, kSwitchChannels, kSs7,      kPrimaryRate, kBri,
    kIsdn,          kAtsQsig,         kHdlc,           kModemT38, kMixers,      kFilePlayer,
    kNetworkPlayer, kRecorder,        kRtpRadio,       kDisplay};

// The answer of `n` board commands that succeed.
std::string oks(size_t n) {
    std::string ok;
    for (size_t i = 0; i < n; ++i) ok += "ok\n";
    return ok;
}

std::string signal(int slot, const std::string& text) {
    return slotMessage(-1, slot, "signal : " + text);
}
std::string activated(int slot) {
    return signal(slot, "activated : NULL");
}
// The start of a slot's signal as `lgcpc` prints it, up to `what`
// ("ioctl : hdlcLinkInfo"), for signals whose counters vary.
std::string report(int slot, const std::string& what) {
    return "  slot " + std::to_string(slot) + ",\n  pdu signal : " + what;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

bool holdsPart(const Texts& messages, const std::string& part) {
    for (const std::string& m : messages)
        if (m.find(part) != std::string::npos) return true;
    return false;
}

size_t boardLines(const std::vector<std::string>& lines) {
    return size_t(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.compare(0, 4, "sim ") == 0; }));
}

// The first terminal's output: the answers of its `n` board commands, a
// peer's line `printed` (where it came, if it came), and what `lgcpc`
// printed. The peer may write its text and its line end apart, with
// `lgcpc`'s messages before, between or after them; its text starts a line
// all the same, and its line end is an empty line to the messages.
struct FirstTerminal {
    std::string board, printed, client;
};
FirstTerminal splitOutput(const std::string& out, size_t n, const std::string& printed) {
    FirstTerminal t;
    size_t at = 0;
    for (size_t i = 0; i < n && at < out.size(); ++i) {
        size_t end = std::min(out.find('\n', at), out.size() - 1) + 1;
        t.board += out.substr(at, end - at);
        at = end;
    }
    t.client = out.substr(at);
    const std::string text = printed.substr(0, printed.find('\n'));
    for (size_t p = t.client.find(text); !text.empty() && p != std::string::npos; p = t.client.find(text, p + 1)) {
        if (p > 0 && t.client[p - 1] != '\n') continue;
        t.printed = printed;
        t.client.erase(p, text.size());
        break;
    }
    return t;
}

// What a session is to bring.
struct Expected {
    Texts answered;                            // before the second terminal's lines
    Texts signalled;                           // after them
    Texts reports;                             // parts of messages whose counters vary
    bool exact = false;                        // answered and signalled are all the messages
    std::string printed;                       // a peer's line in the first terminal
    std::string secondTerminal;                // what it prints; "ok" a line unless said
    std::map<std::string, std::string> ports;  // the README's ports, the test's own
    std::function<void()> meanwhile;           // while the session runs, once all came
    std::function<void()> afterwards;          // once it has ended
};

class ReadmeKinds : public RunningDaemon {
  protected:
    ReadmeKinds() : RunningDaemon("/build/run/root", KORVAND_ROOT_LAYOUT) {}

    void SetUp() override {
        RunningDaemon::SetUp();
        if (!HasFatalFailure()) installClient();
    }

    // build/run/tools/lgcpc of the checkout: the test build's client, on
    // the daemon's port.
    void installClient() {
        char* real = realpath(buildProgram("tools/lgcpc").c_str(), nullptr);
        ASSERT_NE(nullptr, real);
        std::string lgcpc = real;
        free(real);
        std::string tools = root.top() + "/build/run/tools";
        ASSERT_EQ(0, mkdir(tools.c_str(), 0755));
        std::ofstream(tools + "/lgcpc") << "#!/bin/sh\n"
                                        << "if [ \"$1\" = send ]; then shift; exec '" << lgcpc
                                        << "' send --port " << port << " \"$@\"; fi\n"
                                        << "exec '" << lgcpc << "' \"$@\"\n";
        ASSERT_EQ(0, chmod((tools + "/lgcpc").c_str(), 0755));
    }

    std::string board(const std::string& line) { return simCommand(root.dir(), line); }

    // Starts bash on `lines` in the checkout, with `sim` defined as the
    // README defines it; -e stops it at the first command that fails.
    void startShell(ChildProcess& shell, const std::string& lines) {
        std::string script = "cd '" + root.top() + "'\n" + simDefinition + lines;
        ASSERT_TRUE(shell.start("/bin/bash", {"-e", "-c", script}));
    }
    // Runs `lines` as a second terminal does; what it printed.
    std::string typeInSecondTerminal(const std::string& lines) {
        ChildProcess shell;
        startShell(shell, lines);
        EXPECT_EQ(0, shell.wait(20000)) << shell.err();
        EXPECT_EQ("", shell.err());
        return shell.out();
    }

    // Runs the README session that holds `key` and checks what it brings.
    void runSession(const std::string& key) {
        SCOPED_TRACE(key);
        ReadmeSession readme = readmeSession(key);
        ASSERT_FALSE(readme.input.empty());
        Expected e = expected(key);
        // The README's peers listen on port 7000, the session's on a port
        // of its own.
        e.ports["7000"] = std::to_string(reserve());
        std::string first = readme.firstTerminal(), second = readme.secondTerminal();
        for (const auto& p : e.ports) {
            replaceAll(first, p.first, p.second);
            replaceAll(second, p.first, p.second);
        }
        size_t commands = boardLines(readme.before);
        ChildProcess shell;
        startShell(shell, first);
        auto got = [&] {
            return printedMessages(splitOutput(shell.out(), commands, e.printed).client);
        };
        auto came = [&](const std::string& m) {
            bool in = ::waitFor(
                [&] {
                    Texts g = got();
                    return std::find(g.begin(), g.end(), m) != g.end();
                },
                20000);
            EXPECT_TRUE(in) << m << "\nafter:\n" << shell.out() << shell.err();
            return in;
        };
        for (const std::string& m : e.answered) ASSERT_TRUE(came(m));
        if (!readme.after.empty()) {
            EXPECT_EQ(e.secondTerminal.empty() ? oks(readme.after.size()) : e.secondTerminal,
                      typeInSecondTerminal(second));
        }
        for (const std::string& m : e.signalled) ASSERT_TRUE(came(m));
        for (const std::string& part : e.reports)
            EXPECT_TRUE(::waitFor([&] { return holdsPart(got(), part); }, 10000)) << part << "\n"
                                                                                  << shell.out();
        if (e.meanwhile) e.meanwhile();

        EXPECT_EQ(0, shell.wait(30000)) << shell.err();
        EXPECT_EQ("", shell.err());
        FirstTerminal out = splitOutput(shell.out(), commands, e.printed);
        EXPECT_EQ(oks(commands), out.board);
        EXPECT_EQ(e.printed, out.printed) << shell.out();
        Texts messages = withoutStatuses(printedMessages(out.client));
        if (e.exact) {
            Texts all = e.answered;
            all.insert(all.end(), e.signalled.begin(), e.signalled.end());
            EXPECT_EQ(all, messages);
        }
        for (const std::string& m : messages) {
            bool error = m.find("pdu response : error") != std::string::npos;
            EXPECT_TRUE(!error || std::count(e.answered.begin(), e.answered.end(), m)) << m;
        }
        if (e.afterwards) e.afterwards();
    }

    // The walk-through typed by hand: while slot 1 (time slot 1 of trunk 0)
    // is connected to slot 2, the README has the line drive time slot 1 and
    // reads what reaches time slot 1 of trunk 1 (channel 33).
    void typeTheWalkThroughWithTheLineDriven() {
        std::string input = readmeSession(kWalkThrough).input;
        size_t connected = input.find('\n', input.find("connect : 2")) + 1;
        LgcpcSession typing(port);
        typing.lgcpc.feed(input.substr(0, connected));
        ASSERT_TRUE(typing.waitFor(ok(1, 4)));
        EXPECT_EQ("ok\n0x17\n", typeInSecondTerminal(
                                    "sim /dev/hal bus carry 1 0x17\nsim /dev/hal bus read 33\n"));
        typing.lgcpc.feed(input.substr(connected));
        EXPECT_EQ(0, typing.finish()) << typing.lgcpc.err();
    }

    Expected expected(const std::string& key);

    // The first of `count` consecutive ports reserved for the test's life.
    int reserve(int count = 1) { return reserved.emplace_back(count).number(); }
    std::list<ReservedPort> reserved;

    // The README's definition of `sim`, read once.
    const std::string simDefinition = readmeSimBlock().definition;
};

// A slot created at once with its streams on `channel`.
Texts created(int slot, int seq, int channel) {
    return {ok(slot, seq), stream(slot, "transmitter", channel), stream(slot, "receiver", channel)};
}

Texts joined(std::initializer_list<Texts> parts) {
    Texts all;
    for (const Texts& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Expected ReadmeKinds::expected(const std::string& key) {
    Expected e;
    // Two links (slots 3 and 4) on time slot 16 of E1 trunks 0 and 1.
    const Texts links = joined({created(1, 1, 16),
                                created(2, 2, 48),
                                {ok(3, 3), ok(4, 4), stream(3, "receiver", -1), ok(1, 5),
                                 stream(4, "receiver", -1), ok(2, 6)}});
    if (key == kWalkThrough) {
        e.answered = joined({{success(1)},
                             created(1, 2, 1),
                             created(2, 3, 33),
                             {ok(1, 4), success(5), resourceReport(), ok(2, 6), ok(1, 0), ok(1, 7),
                              ok(2, 0), ok(2, 8)}});
        e.exact = true;
    } else if (key == kWithoutStatuses) {
        e.answered = {success(1)};
        e.exact = true;
    } else if (key == kSwitchChannels) {
        e.answered = joined(
            {created(1, 1, 1),
             {ok(2, 2), stream(2, "receiver", 8326), stream(2, "transmitter", 8325), ok(3, 3),
              stream(3, "transmitter", 8195), stream(3, "receiver", 8196), ok(3, 4)},
             created(4, 5, 129),
             {ok(5, 6), stream(5, "transmitter", 256), ok(5, 7)}});
        e.signalled = {signal(5, "userData : '01020304'H")};
        e.exact = true;
    } else if (key == kSs7) {
        e.answered = links;
        e.signalled = {activated(3), activated(4)};
        e.reports = {report(3, "ioctl : ss7LinkInfo"), report(4, "ioctl : ss7LinkInfo"),
                     report(3, "ioctl : hdlcLinkInfo")};
    } else if (key == kPrimaryRate) {
        e.answered =
            joined({links, created(5, 7, 80), {ok(6, 8), stream(6, "receiver", -1), ok(5, 9)}});
        e.signalled = {activated(3), activated(4)};
        e.reports = {report(3, "ioctl : isdnLinkInfo"), report(4, "ioctl : isdnLinkInfo"),
                     report(6, "ioctl : hdlcLinkInfo")};
    } else if (key == kBri) {
        e.answered =
            joined({created(1, 1, 1),
                    created(2, 2, 5),
                    {ok(3, 3), ok(4, 4), stream(3, "receiver", -1), ok(1, 5),
                     stream(3, "transmitter", -1), activated(3), ok(3, 6),
                     stream(4, "receiver", -1), ok(2, 7), stream(4, "transmitter", -1), ok(4, 8)}});
        e.signalled = {activated(4)};
        e.reports = {report(4, "ioctl : isdnLinkInfo")};
    } else if (key == kIsdn) {
        e.answered = {ok(1, 1), ok(2, 2), ok(1, 3), ok(2, 4)};
        e.signalled = {activated(1), activated(2)};
        e.reports = {report(1, "ioctl : isdnLinkInfo"), report(2, "ioctl : isdnLinkInfo")};
    } else if (key == kAtsQsig) {
        e.answered = joined({{ok(1, 1), ok(2, 2)},
                             created(3, 3, 1),
                             {stream(2, "receiver", 513), ok(3, 4), ok(1, 5)}});
        e.signalled = {activated(1)};
        e.reports = {report(1, "ioctl : isdnLinkInfo")};
        e.meanwhile = [this] { EXPECT_EQ(0u, board("/dev/dsp-data tx 0").find("00017f")); };
        e.afterwards = [this] {
            EXPECT_TRUE(waitFor([&] {
                return korvand.err().find("ats-qsig-b: Can't find signalling slot\n") !=
                       std::string::npos;
            }));
        };
    } else if (key == kHdlc) {
        e.answered = joined({created(1, 1, 3),
                             created(2, 2, 35),
                             {ok(3, 3), ok(4, 4), stream(3, "receiver", -1), ok(1, 5),
                              stream(4, "receiver", -1), ok(2, 6), ok(3, 7)}});
        e.signalled = {signal(4, "ioctl : hdlcPackages : { { body '0100'H } }"),
                       signal(4, "ioctl : hdlcPackages : { { body '0200'H } }")};
        e.reports = {report(4, "ioctl : hdlcLinkInfo")};
    } else if (key == kModemT38) {
        e.answered = joined({{ok(1, 1)},
                             created(2, 2, 1),
                             {stream(1, "transmitter", 320), stream(1, "receiver", 320), ok(1, 3)},
                             created(3, 4, 256),
                             {success(5)}});
        e.signalled = {signal(1, "abort : 512"), signal(3, "abort : 60672")};
        e.reports = {"pdu signal : query", "t38-instances 0,"};
        e.afterwards = [this] {
            EXPECT_NE(std::string::npos, korvand.err().find("t38 daemon not found!\n"));
        };
    } else if (key == kMixers) {
        e.answered = joined({{success(1), resourceReport(), ok(1, 2), ok(2, 3)},
                             created(3, 4, 1),
                             {stream(1, "receiver", 1025), ok(3, 5), stream(2, "transmitter", 1090),
                              ok(2, 6), error(4, "insufficientResources", 7)}});
        e.exact = true;
        e.secondTerminal = "3: 1@32767\n2: 4@1000 5@2000\n";
        e.meanwhile = [this] {
            EXPECT_EQ("unit=0 tdm=32 inputs=128\nunit=1 tdm=24 inputs=96",
                      board("/dev/mixer mixers"));
        };
    } else if (key == kFilePlayer || key == kNetworkPlayer) {
        // A player on MCC channel 256, played into time slot 1 of trunk 0.
        e.answered =
            joined({{ok(1, 1)}, created(2, 2, 1), {stream(1, "transmitter", 256), ok(1, 3)}});
        e.signalled = {signal(1, "transmitter : inactive : NULL"), signal(1, "abort : 0")};
        e.exact = true;
    } else if (key == kRecorder) {
        e.answered = joined({{ok(1, 1), stream(1, "receiver", 256)}, created(2, 2, 1), {ok(2, 3)}});
        e.signalled = {signal(1, "ioctl : stopRecording : userRequest")};
        e.exact = true;
        e.printed = "d5d5d5d5\n";
    } else if (key == kRtpRadio) {
        // Each session's RTCP socket takes the RTP port + 1 on this host.
        for (const char* p : {"port 40000", "port 40010", "port 40020", "port 40030"})
            e.ports[p] = "port " + std::to_string(reserve(2));
        for (int slot = 1; slot <= 4; ++slot)
            e.answered = joined({e.answered, created(slot, slot, 255 + slot)});
        e.exact = true;
        e.meanwhile = [this] {
            EXPECT_EQ("error: no session", board("/dev/rtp_ext session 256"));
            EXPECT_NE(std::string::npos, board("/dev/rtp_ext session 257").find(" etype=0x1337 "));
            EXPECT_NE(std::string::npos, board("/dev/rtp session 258").find(" attach=7/100"));
            EXPECT_NE(std::string::npos, board("/dev/rtp_ext session 259").find(" etype=0x167 "));
        };
    } else if (key == kDisplay) {
        for (int seq = 1; seq <= 8; ++seq) e.answered.push_back(success(seq));
        e.exact = true;
        e.meanwhile = [this] {
            auto file = [&](const std::string& name) {
                return root.readFile("/var/monitoring/" + name);
            };
            EXPECT_EQ("3\n1.0\n2\n", file("board2"));
            EXPECT_EQ("1\n2\n3\n2\n2\n1\n1\n1\n", file("emphone5"));
            EXPECT_EQ("17", file("term_cnts/router"));
            EXPECT_EQ("3", file("term_cnts/board2"));
            EXPECT_EQ("2", file("controller/127.0.0.1/status"));
            EXPECT_EQ("lab", file("gatewayCommon/0/location"));
            EXPECT_EQ(0u, board("/dev/hal monitor leds").find("0xc "));
        };
        // The board files go with the controller.
        e.afterwards = [this] {
            EXPECT_TRUE(waitFor([&] { return !root.exists("/var/monitoring/board2"); }));
            EXPECT_TRUE(root.exists("/var/monitoring/emphone5"));
        };
    } else {
        ADD_FAILURE() << "no expectations for the session of " << key;
    }
    if (key == kFilePlayer) {
        e.afterwards = [this] {
            EXPECT_NE(std::string::npos, board("/dev/mcc/ctl pace 256").find("pace=8000 "));
        };
    } else if (key == kNetworkPlayer) {
        // The peer plays after the id; its end ends the player.
        e.signalled.insert(e.signalled.begin(), signal(1, "ioctl : startPlaying : NULL"));
        e.printed = "0000002a\n";
    }
    return e;
}

TEST_F(ReadmeKinds, TheWalkThroughIsAnsweredAlsoRightAfterAnotherSession) {
    // The second session comes during the daemon's pause after the first.
    runSession(kWalkThrough);
    runSession(kWalkThrough);
}

TEST_F(ReadmeKinds, TheFilterLeavesOutTheTrunkStatuses) {
    runSession(kWithoutStatuses);
}

TEST_F(ReadmeKinds, SwitchChannelsNameTheirChannelsAndAByteChannelCarriesData) {
    runSession(kSwitchChannels);
}

TEST_F(ReadmeKinds, Ss7LinksOnPatchedChannelsAlign) {
    runSession(kSs7);
}

TEST_F(ReadmeKinds, PrimaryRateIsdnLinksComeUpAndACasSlotOnlyCounts) {
    runSession(kPrimaryRate);
}

TEST_F(ReadmeKinds, BriLinksComeUpOnceBothDirectionsAreConnected) {
    runSession(kBri);
}

TEST_F(ReadmeKinds, IsdnSlotsComeUpOnActivation) {
    runSession(kIsdn);
}

TEST_F(ReadmeKinds, AnAtsQsigLinkComesUpOnTheNetworksAnswer) {
    runSession(kAtsQsig);
}

TEST_F(ReadmeKinds, HdlcSlotsCarryPackagesToTheirAddress) {
    runSession(kHdlc);
}

TEST_F(ReadmeKinds, ModemAndT38SlotsReportTheirMissingPrograms) {
    runSession(kModemT38);
}

TEST_F(ReadmeKinds, MixerSlotsSetTheirSumsAfterAQuery) {
    runSession(kMixers);
}

TEST_F(ReadmeKinds, AFilePlayerPlaysItsPhraseAndEndsWithAbortZero) {
    runSession(kFilePlayer);
}

TEST_F(ReadmeKinds, ANetworkPlayerSendsItsIdAndPlaysThePeer) {
    runSession(kNetworkPlayer);
}

TEST_F(ReadmeKinds, ARecorderCopiesTheChannelToItsPeer) {
    runSession(kRecorder);
}

// A peer that the daemon does not reach ends with its session, so that it
// cannot answer the next session's player or recorder.
TEST_F(ReadmeKinds, APeerThatTheDaemonDoesNotReachEndsWithItsSession) {
    std::string first = readmeSession(kNetworkPlayer).firstTerminal();
    // Without its connect the player never calls its peer.
    size_t connect = first.find("pdu command : connect");
    ASSERT_NE(std::string::npos, connect);
    size_t line = first.rfind('\n', connect) + 1;
    first.erase(line, first.find('\n', connect) + 1 - line);
    const int peerPort = reserve();
    replaceAll(first, "7000", std::to_string(peerPort));
    ChildProcess shell;
    startShell(shell, first);
    EXPECT_EQ(0, shell.wait(30000)) << shell.err();
    EXPECT_FALSE(listening(peerPort));
}

TEST_F(ReadmeKinds, RtpAndEveryRadioFormReportTheirStreams) {
    runSession(kRtpRadio);
}

TEST_F(ReadmeKinds, DisplayReportsWriteTheStatusFilesAndTheLeds) {
    runSession(kDisplay);
}

// The session of the switch channels connects an MCC channel to time slot
// 1 of trunk 0 (channel 1), and its end releases the switch's output to
// that line with the idle byte; what the line sends still reaches the time
// slot connected to it.
TEST_F(ReadmeKinds, TheLineReachesTheConnectedTimeSlotAlsoAfterAnEarlierSession) {
    runSession(kSwitchChannels);
    typeTheWalkThroughWithTheLineDriven();
}

// The README's example sets framer 2's state, which the board answers with
// the framer's record.
TEST_F(ReadmeKinds, TheSimFunctionReachesTheBoard) {
    std::string commands = readmeSimBlock().commands;
    ASSERT_EQ("sim /dev/maintenance framer 2 state normal\n", commands);
    EXPECT_EQ(0u, typeInSecondTerminal(commands).find("trunk 2 state normal "));
}

// As a person types them after `scripts/run`: every session in the
// README's order on one daemon, then the walk-through typed with the line
// driven.
TEST_F(ReadmeKinds, EverySessionWorksOneAfterAnotherOnOneDaemon) {
    for (const ReadmeSession& session : readmeSessions()) {
        for (const char* key : kSessions) {
            if (!session.holds(key)) continue;
            runSession(key);
            break;
        }
        if (HasFatalFailure()) return;
    }
    typeTheWalkThroughWithTheLineDriven();
}

// The first terminal's output reads the same in whatever order its
// writers' writes land: `lgcpc` writes each message whole, with the empty
// line before it, and a peer its text and its line end apart.
TEST(ReadmeOutput, APeersLineAmongTheMessagesReadsTheSameInAnyOrder) {
    const Texts messages = {ok(1, 1), stream(1, "receiver", 256), signal(1, "ioctl : stopRecording : userRequest")};
    std::vector<std::string> writes;
    for (size_t i = 0; i < messages.size(); ++i) writes.push_back((i ? "\n" : "") + messages[i] + "\n");
    for (size_t text = 0; text <= writes.size(); ++text) {
        for (size_t end = text; end <= writes.size(); ++end) {
            std::string out = "ok\nok\n";
            for (size_t i = 0; i <= writes.size(); ++i) {
                if (i == text) out += "d5d5d5d5";
                if (i == end) out += "\n";
                if (i < writes.size()) out += writes[i];
            }
            SCOPED_TRACE(out);
            FirstTerminal t = splitOutput(out, 2, "d5d5d5d5\n");
            EXPECT_EQ("ok\nok\n", t.board);
            EXPECT_EQ("d5d5d5d5\n", t.printed);
            EXPECT_EQ(messages, printedMessages(t.client));
        }
    }
}

// A session added to the README needs its expectations here.
TEST(ReadmeSessions, EverySessionIsRunByATest) {
    size_t run = 0;
    for (const ReadmeSession& session : readmeSessions()) {
        size_t found = 0;
        for (const char* key : kSessions) found += session.holds(key) ? 1 : 0;
        EXPECT_EQ(1u, found) << session.opening << "\n" << session.input;
        ++run;
    }
    EXPECT_EQ(std::size(kSessions), run);
}

}  // namespace
