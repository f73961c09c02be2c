// The board's control services of the running daemon, driven by a
// controller: trunk statuses, CAS, trunk modes, the bus clock and the bus
// tests, with the simulated board's state read and changed through its
// control socket.

#include <gtest/gtest.h>

#include "tests/e2e/daemon_fixture.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/sim_command.h"
#include "tools/lgcpc/client.h"

namespace {

using namespace LgcpTexts;
using Texts = std::vector<std::string>;

const int kTrunks = 4;
const int kLines = 8;

class Services : public RunningDaemon {
protected:
    void SetUp() override {
        RunningDaemon::SetUp();
        if (!HasFatalFailure()) connect(client);
    }
    // Connects and waits for the framers' statuses that every connection
    // brings: the services have heard of the controller then.
    void connect(Lgcpc::Client& c) {
        std::string error;
        ASSERT_TRUE(c.Connect("127.0.0.1", uint16_t(port), error)) << error;
        ASSERT_TRUE(waitForStatuses(c, kTrunks));
    }
    static bool waitForStatuses(Lgcpc::Client& c, size_t n, int ms = 5000) {
        for (size_t k = c.Received().size() + 1; trunkStatuses(c).size() < n; ++k)
            if (!c.WaitFor(k, ms)) return false;
        return true;
    }
    Texts ask(const std::string& text) { return answers(client, text); }
    // The next `n` messages after the first `from` that are not statuses.
    Texts nextEvents(size_t from, size_t n) {
        Texts got;
        for (size_t k = from + 1; got.size() < n && client.WaitFor(k); ++k)
            if (!isStatus(client.Received()[k - 1])) got.push_back(client.Received()[k - 1]);
        return got;
    }
    std::string board(const std::string& line) { return simCommand(root.dir(), line); }
    bool logged(const std::string& text) { return korvand.err().find(text) != std::string::npos; }

    static std::string casCommand(int seq, int trunk, int timeslot, const std::string& cmd) {
        return "{ seq " + std::to_string(seq) + ", pdu command : ioctl : cas : { channel { path " +
               std::to_string(trunk) + ", timeslot " + std::to_string(timeslot) + " }, cmd " + cmd + " } }";
    }
    static std::string busTest(int bus, const std::string& mode) {
        return "{ seq 5, pdu command : testBpc : { bus " + std::to_string(bus) + ", seed 7, mode " + mode +
               " : NULL, timeslot-start 10, timeslot-length 3 } }";
    }

    Lgcpc::Client client;
};

TEST_F(Services, FramersAtConnectionThenFramersAndLinesEverySecond) {
    EXPECT_EQ(e1Statuses(), Texts(client.Received().begin(), client.Received().begin() + kTrunks));
    ASSERT_TRUE(waitForStatuses(client, 2 * kTrunks + kLines, 3000));
    Texts second = e1Statuses();
    for (int line = 0; line < kLines; ++line)
        second.push_back(trunkStatus("bri", line, line < 6 ? "normal" : "lossCarrier"));
    Texts statuses = trunkStatuses(client);
    EXPECT_EQ(second, Texts(statuses.begin() + kTrunks, statuses.end()));
}

// The services' answers in detail are their in-process tests' business:
// here each one answers in the daemon, and the board's control commands
// reach them.
TEST_F(Services, CasAnswersWithTheChannelsBitsAndForwardsTheDriversEvents) {
    EXPECT_EQ((Texts{cas(0, 0, 0, 0), cas(0, 5, 9, 15), success(1)}), ask(casCommand(1, 0, 5, "open : 31")));
    size_t before = client.Received().size();
    EXPECT_EQ("sent", board("/dev/e1-cas event 0 5 3"));
    EXPECT_EQ("sent 1", board("/dev/e1-cas record 3 7 9 1"));
    EXPECT_EQ((Texts{cas(0, 5, 3, 15), cas(3, 7, 9, 1)}), nextEvents(before, 2));
}

TEST_F(Services, TrunkModesClockSelectionsAndBusTests) {
    EXPECT_EQ(Texts{success(1)}, ask("{ seq 1, pdu command : trunkCfg : { trunk 1, mode slave } }"));
    EXPECT_EQ("0x2", board("/dev/maintenance tclk"));
    EXPECT_EQ(Texts{success(3)},
              ask("{ seq 3, pdu command : clockCfg : { clkSel0 external, bextEn enabled, source 2 } }"));
    EXPECT_EQ(0u, board("/dev/hal clock").find("source 2 f2 "));
    // A peer board carries seed 7's bytes on bus 2, and then a channel of
    // it goes bad.
    ASSERT_EQ("ok", board("/dev/hal bus pattern 2 10 3 7"));
    EXPECT_EQ(Texts{success(5)}, ask(busTest(2, "read")));
    ASSERT_EQ("ok", board("/dev/hal bus mismatch " + std::to_string(8192 + 2 * 128 + 11)));
    EXPECT_EQ(Texts{failure(5, "busError")}, ask(busTest(2, "read")));

    // The controller goes and another comes: free run at each, and the
    // transmit-clock mask starts cleared.
    client.Close();
    ASSERT_TRUE(waitFor([&] { return logged("closed.\n"); })) << korvand.err();
    Lgcpc::Client next;
    connect(next);
    std::string clock = board("/dev/hal clock");
    EXPECT_EQ(0u, clock.find("source 4 freerun ")) << clock;
    EXPECT_EQ(clock.size() - 6, clock.rfind(" 2 4 4")) << clock;
    EXPECT_EQ("0x0", board("/dev/maintenance tclk"));
}

class BoardWithoutSpi : public Services {
protected:
    BoardWithoutSpi() { environment = {"KORVAND_SIM_SPI=absent"}; }
};

TEST_F(BoardWithoutSpi, ReportsTheFramersAlone) {
    // Had the lines been polled, their statuses would follow the framers'
    // second round in the same loop pass, before the closing ping's answer.
    ASSERT_TRUE(waitForStatuses(client, 2 * kTrunks, 3000));
    EXPECT_EQ(Texts(), withoutStatuses(barrier(client, client.Received().size())));
    Texts statuses = trunkStatuses(client);
    EXPECT_EQ(e1Statuses(), Texts(statuses.begin() + kTrunks, statuses.end()));
    EXPECT_TRUE(logged("spi: hal without spi\n"));
}

}  // namespace
