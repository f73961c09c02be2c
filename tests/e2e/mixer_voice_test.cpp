// Mixer and voice slots of the running daemon on the simulated board: a
// controller's session sets and clears sums, then plays a phrase file on a
// channel that the board paces at 8,000 bytes per second, with the board's
// mixer and MCC controller read through its control socket.

#include <gtest/gtest.h>

#include "board/sim_words.h"
#include "tests/e2e/daemon_fixture.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/pump.h"
#include "tests/support/sim_command.h"
#include "tools/lgcpc/client.h"

namespace {

using namespace LgcpTexts;
using Texts = std::vector<std::string>;

class MixerVoice : public ControlledDaemon {
protected:
    std::string board(const std::string& line) { return simCommand(root.dir(), line); }
};

TEST_F(MixerVoice, ASessionSetsSumsAndPlaysAPhraseOnAPacedChannel) {
    EXPECT_EQ(Texts{error(1, "insufficientResources")}, command(1, "create : mixerIn : { unit 0, channel tdm : 1 }"));
    Texts query = answers(client, "{ seq 2, pdu command : query : NULL }");
    ASSERT_EQ(2u, query.size());
    EXPECT_NE(std::string::npos, query[1].find("unit 1,\n        tdm_inputs 24,\n        tdm_outputs 24,\n"
                                               "        mixer_inputs 96,"))
        << query[1];

    EXPECT_EQ(Texts{ok(1)}, command(1, "create : mixerIn : { unit 0, channel tdm : 1, summator tdm : 3 }"));
    EXPECT_EQ(Texts{ok(2)}, command(2, "create : mixerOut : { unit 1, channel tdm : 2, inputs { { channel tdm : 4, "
                                   "gain 1000 } } }"));
    EXPECT_EQ("3: 1@32767", board("/dev/mixer sums 0"));
    EXPECT_EQ("2: 4@1000", board("/dev/mixer sums 1"));
    command(1, "destroy : NULL");
    command(2, "destroy : NULL");
    EXPECT_EQ("", board("/dev/mixer sums 0") + board("/dev/mixer sums 1"));

    std::string phrase(1500, '\0');
    for (size_t i = 0; i < phrase.size(); ++i) phrase[i] = char(i * 3 + i / 256);
    root.writeFile("/usr/local/voice/hello.raw", phrase);
    ASSERT_EQ("ok", board("/dev/mcc/ctl pace all 8000"));
    command(3, "create : voice : player : file : { name { \"hello.raw\" }, repeat 2 }");
    command(4, "create : trunk : { trunk 0, timeslot 1 }");
    command(3, "connect : 4");
    const std::string end = slotMessage(-1, 3, "signal : abort : 0");
    ASSERT_TRUE(pumpUntil([&] {
        return std::find(client.Received().begin(), client.Received().end(), end) != client.Received().end();
    }));
    // The abort follows the last write; the line plays it out after.
    ASSERT_TRUE(pumpUntil([&] { return board("/dev/mcc/ctl pace 256").find("played=3000 ") != std::string::npos; }));
    std::string sent;
    for (char c : board("/dev/mcc/ctl tx 256"))
        if (c != '\n') sent += c;
    std::string once = SimWords::hex(reinterpret_cast<const uint8_t*>(phrase.data()), phrase.size());
    EXPECT_EQ(once + once, sent);
    EXPECT_EQ(0u, board("/dev/mcc/ctl pace 256").find("pace=8000 played=3000 gap_us="));
}

}  // namespace
