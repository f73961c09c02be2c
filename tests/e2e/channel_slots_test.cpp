// Map, extension, echo and MCC byte-channel slots of the running daemon on
// the simulated board, driven with `lgcpc send` and the controller client,
// with the board's switch and MCC controller read through its control
// socket.

#include <gtest/gtest.h>

#include "tests/e2e/daemon_fixture.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/pump.h"
#include "tests/support/sim_command.h"
#include "tools/lgcpc/client.h"

namespace {

using namespace LgcpTexts;
using Texts = std::vector<std::string>;

class ChannelSlots : public RunningDaemon {
protected:
    // `lgcpc send` with the commands, each "<slot> <command>" given seq 1.
    std::string run(const Texts& commands) {
        std::string input;
        for (const std::string& c : commands) {
            size_t blank = c.find(' ');
            input += "{ seq 1, slot " + c.substr(0, blank) + ", pdu command : " + c.substr(blank + 1) + " }\n";
        }
        Outcome o = send(input, {"--wait", "3000"});
        EXPECT_EQ(0, o.status) << o.err;
        return o.out;
    }
    // How `lgcpc send` prints the messages.
    static std::string printed(const Texts& messages) {
        std::string out;
        for (const std::string& m : messages) out += (out.empty() ? "" : "\n\n") + m;
        return out + "\n";
    }
    static std::string lines(std::initializer_list<Texts> groups) {
        Texts all;
        for (const Texts& g : groups) all.insert(all.end(), g.begin(), g.end());
        return printed(all);
    }
    std::string board(const std::string& line) { return simCommand(root.dir(), line); }
    size_t count(const std::string& text) const {
        std::string all = korvand.err();
        size_t n = 0;
        for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
        return n;
    }
    static Texts refused(int slot) { return {error(slot, "insufficientResources")}; }
};

TEST_F(ChannelSlots, MapSlotsNameBusChannelsAndTakeOverAClaimedOne) {
    EXPECT_EQ(lines({{ok(1), stream(1, "transmitter", 8325)},
                     {ok(2), stream(2, "receiver", 10239)},
                     {ok(2, 0), ok(2)},
                     {ok(3), stream(3, "receiver", 8201)},
                     {ok(3, 0), ok(4), stream(4, "transmitter", 8201)},
                     {ok(1, 0), ok(1)},
                     {ok(5), stream(5, "receiver", 8448), stream(5, "transmitter", 8448)},
                     {ok(5, 0), ok(5)}}),
              run({"1 create : map : { transmitter { bus 1, channel 5 } }",
                   "2 create : map : { receiver { bus 15, channel 127 } }", "2 destroy : NULL",
                   "3 create : map : { receiver { bus 0, channel 9 } }",
                   "4 create : map : { transmitter { bus 0, channel 9 } }", "1 destroy : NULL",
                   "5 create : map : { transmitter { bus 2, channel 0 }, receiver { bus 2, channel 0 } }",
                   "5 destroy : NULL"}));
    EXPECT_EQ(1u, count("map: disable map channel 2047\n"));
    EXPECT_EQ(1u, count("map-slot: two slots require the same ipc-slot, remove old.\nnew slot na:map <-> old slot 03:map\n"));
    EXPECT_EQ(1u, count("map: disable map channel 9\n"));
    EXPECT_EQ(1u, count("map: disable map channel 256\n"));  // the slot on one channel, once
    EXPECT_EQ(3u, count("map: disable map channel"));
    EXPECT_EQ(0u, count("internal error"));
}

TEST_F(ChannelSlots, ExtensionsNeedBusChannelsAndEchoSlotsAFittedBus) {
    EXPECT_EQ("4 5", board("/dev/hal echo"));
    EXPECT_EQ(lines({{ok(1), stream(1, "transmitter", 8195)},
                     refused(2),
                     refused(2),
                     refused(2),
                     refused(2),
                     {stream(1, "receiver", 8196), ok(1)},
                     {slotMessage(-1, 1, "signal : receiver : inactive : NULL"), ok(1)},
                     {ok(3), stream(3, "transmitter", 163), stream(3, "receiver", 163)},
                     refused(4),
                     refused(4),
                     refused(4),
                     refused(4)}),
              run({"1 create : ext : { transmitter 3, receiver 4 }", "2 create : ext : { transmitter 3, receiver -8000 }",
                   "2 create : ext : { transmitter 2048, receiver 0 }",
                   // one stream per switch output: the receive channel is taken
                   "2 create : ext : { transmitter 9, receiver 4 }", "2 create : map : { receiver { bus 0, channel 4 } }",
                   "1 activate : empty : NULL", "1 deactivate : NULL", "3 create : echo : { bus 5, channel 3 }",
                   "4 create : echo : { bus 6, channel 0 }", "4 create : echo : { bus 16, channel 0 }",
                   "4 create : echo : { bus 4, channel 32 }", "4 create : echo : { bus 5, channel 3 }"}));
    EXPECT_EQ(1u, count("ext-slot: receive channel 8196 is held by 01:bri\n"));
    EXPECT_EQ(1u, count("map-slot: receive channel 8196 is held by 01:bri\n"));
    EXPECT_EQ(1u, count("echo-slot: receive channel 163 is held by 03:echo\n"));
}

TEST_F(ChannelSlots, ByteChannelsAreAllocatedByTypeAndConnectedThroughTheSwitch) {
    EXPECT_EQ(lines({{ok(1)},
                     {ok(2)},
                     {ok(3)},
                     {ok(9), stream(9, "transmitter", 5), stream(9, "receiver", 5)},
                     {stream(1, "transmitter", 256), ok(1)}}),
              run({"1 create : mcc : { type transparent, mode ss7 }", "2 create : mcc : { type bri, mode standard }",
                   "3 create : mcc : { type data, mode standard }", "9 create : trunk : { trunk 0, timeslot 5 }",
                   "1 connect : 9"}));
    // The board keeps each channel's last allocation.
    EXPECT_NE(std::string::npos, board("/dev/mcc/ctl state 256").find("kind=3 size=512 reserved=0 rx=1 tx=1"));
    EXPECT_EQ(1u, count("mcc: MCC_ALLOCATE type=3\nmcc: MCC_ALLOCATE type=1\nmcc: MCC_ALLOCATE type=0\n"));
    EXPECT_EQ(1u, count("mux: slot 01:MCC [256] -> 09:trunk [5]\n"));
}

// How the client prints octets: "0a ff".
std::string Hex(std::vector<uint8_t>::const_iterator from, std::vector<uint8_t>::const_iterator to) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (auto b = from; b != to; ++b) out += std::string(out.empty() ? "" : " ") + digits[*b >> 4] + digits[*b & 15];
    return out;
}

// A controller's session: the switch follows an extension's activation,
// and 64 KiB go from the controller into one transparent channel, which
// the board patches to a second one, and back to the controller from it.
TEST_F(ChannelSlots, ASessionSwitchesAnExtensionAndCarriesUserDataBothWays) {
    Lgcpc::Client client;
    std::string why;
    ASSERT_TRUE(client.Connect("127.0.0.1", uint16_t(port), why)) << why;
    auto ask = [&](int slot, const std::string& command) {
        return answers(client, "{ seq 1, slot " + std::to_string(slot) + ", pdu command : " + command + " }");
    };
    ask(3, "create : ext : { transmitter 3, receiver 4 }");
    EXPECT_EQ("0xff", board("/dev/hal bus read 8196"));  // disabled since the switch opened
    ask(3, "activate : empty : NULL");
    EXPECT_EQ("0xd5", board("/dev/hal bus read 8196"));
    // Activated again, a linked extension keeps its source.
    ask(4, "create : map : { transmitter { bus 3, channel 0 } }");
    ASSERT_EQ("ok", board("/dev/hal bus carry 8576 0x42"));
    ask(4, "connect : 3");
    ask(3, "activate : empty : NULL");
    EXPECT_EQ("0x42", board("/dev/hal bus read 8196"));
    ask(3, "deactivate : NULL");
    EXPECT_EQ("0xff", board("/dev/hal bus read 8196"));

    for (int slot : {1, 2}) ASSERT_EQ(Texts{ok(slot)}, ask(slot, "create : mcc : { type transparent, mode standard }"));
    ASSERT_EQ("ok", board("/dev/mcc/ctl patch 256 257"));
    std::vector<uint8_t> pattern(64 * 1024);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = uint8_t(i * 131 + (i >> 8));
    // Each `userData` signal of slot 2, up to the quote that opens its octets.
    std::string prefix = slotMessage(-1, 2, "signal : userData : '00'H");
    prefix.resize(prefix.find('\'') + 1);
    std::string arrived;
    size_t seen = 0;
    auto upTo = [&](size_t octets) {
        for (; seen < client.Received().size(); ++seen) {
            const std::string& m = client.Received()[seen];
            if (m.compare(0, prefix.size(), prefix) != 0) continue;
            arrived += (arrived.empty() ? "" : " ") + m.substr(prefix.size(), m.find('\'', prefix.size()) - prefix.size());
        }
        return arrived.size() >= octets * 3 - 1;
    };
    // A line has no flow control: each piece is sent once the last arrived.
    const long kPiece = 4096;
    for (auto at = pattern.cbegin(); at != pattern.cend(); at += kPiece) {
        Texts got = ask(1, "userData : '" + Hex(at, at + kPiece) + "'H");
        ASSERT_NE(got.end(), std::find(got.begin(), got.end(), ok(1)));
        ASSERT_TRUE(pumpUntil([&] { return upTo(size_t(at - pattern.cbegin() + kPiece)); }))
            << arrived.size() / 3 << " octets arrived";
    }
    EXPECT_EQ(Hex(pattern.cbegin(), pattern.cend()), arrived);
}

}  // namespace
