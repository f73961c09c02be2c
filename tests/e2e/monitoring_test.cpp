// The monitoring controller of the running daemon: the simulated board's
// power supply, DIP switch and LEDs, the controller's display reports, the
// status files, and an SNMP agent stand-in that prints what it receives.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "tests/e2e/daemon_fixture.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/sim_command.h"
#include "tools/lgcpc/client.h"

namespace {

using Texts = std::vector<std::string>;

// The set command of an item's row as the agent stand-in prints it.
std::string pushed(const std::string& section, const std::string& name, int index, const std::string& value) {
    return "id name : { section \"" + section + "\", name \"" + name + "\", index " + std::to_string(index) +
           " }, value \"" + value + "\" }";
}

class MonitoringDaemon : public RunningDaemon {
protected:
    void SetUp() override {
        ASSERT_TRUE(agent.start(buildProgram("tests/standins/mon_agent"), {std::to_string(agentPort)}));
        ASSERT_TRUE(waitFor([&] { return agent.out().find('\n') != std::string::npos; })) << agent.err();
        ASSERT_EQ("listening " + std::to_string(agentPort) + "\n", agent.out());
        root.writeFile("/usr/local/etc/server.conf",
                       "[snmpagent]\nhost = 127.0.0.1:" + std::to_string(agentPort) + "\nname = qorb\n");
        for (int n = 0; n < 4; ++n)
            root.writeFile("/proc/driver/hdlc/peb22554/" + std::to_string(n),
                           "Current state           : Synchronized\n");
        RunningDaemon::SetUp();
    }
    void connect() {
        std::string error;
        ASSERT_TRUE(client.Connect("127.0.0.1", uint16_t(port), error)) << error;
    }
    bool got(const std::string& text) { return agent.out().find(text) != std::string::npos; }
    // The values the agent was pushed for an item's row, oldest first.
    Texts pushes(const std::string& section, const std::string& name, int index) {
        const std::string row = pushed(section, name, index, "");
        const std::string prefix = row.substr(0, row.size() - 3);
        const std::string out = agent.out();
        Texts values;
        for (size_t at = out.find(prefix); at != std::string::npos; at = out.find(prefix, at + 1)) {
            size_t begin = at + prefix.size();
            values.push_back(out.substr(begin, out.find('"', begin) - begin));
        }
        return values;
    }
    // Waits for `count` more copies of `message` among the messages after
    // the first `from`.
    bool receivedAgain(const std::string& message, size_t from, int count) {
        for (size_t k = from + 1; count > 0 && client.WaitFor(k); ++k)
            if (client.Received()[k - 1] == message) --count;
        return count == 0;
    }
    // Waits for a power signal among the messages after the first `from`.
    bool signalled(const std::string& power, size_t from = 0) {
        const std::string wanted = Lgcpc::canonical("{ pdu signal : power : " + power + " }");
        for (size_t k = from + 1; client.WaitFor(k); ++k)
            if (client.Received()[k - 1] == wanted) return true;
        return false;
    }
    std::string board(const std::string& line) { return simCommand(root.dir(), line); }
    std::string file(const std::string& name) { return root.readFile("/var/monitoring/" + name); }
    Texts display(const std::string& params) {
        return answers(client, "{ seq 4, pdu command : display : " + params + " }");
    }

    ReservedPort agentPort;
    ChildProcess agent;
    Lgcpc::Client client;
};

TEST_F(MonitoringDaemon, PowerReportsLedsAndFramersReachTheControllerTheFilesAndTheAgent) {
    // BRI line 2 runs while E1 trunk 2 has lost its carrier; the background
    // check has read the framer files before the controller comes.
    ASSERT_EQ(std::string::npos, board("/dev/hal spi line 2 normal").find("error"));
    ASSERT_TRUE(waitFor([&] { return got(pushed("e1Table", "e1StatusDsc", 3, "Synchronized")); })) << agent.out();
    connect();
    // Every controller learns the power state when it connects.
    ASSERT_TRUE(signalled("main"));
    size_t seen = client.Received().size();
    ASSERT_EQ("0x0", board("/dev/hal monitor power 0"));
    ASSERT_TRUE(signalled("both", seen));
    ASSERT_TRUE(waitFor([&] { return file("powerstatus") == "3"; }));
    EXPECT_TRUE(waitFor([&] { return got(pushed("gatewayCommon", "powerStatus", 0, "3")); })) << agent.out();

    EXPECT_EQ(Texts{LgcpTexts::success(4)},
              display("board : boardStatus : { position 2, version '3176'H, status waitBoard, type e0 }"));
    EXPECT_EQ("2\n1v\n4\n", file("board2"));
    EXPECT_EQ(Texts{LgcpTexts::success(4)},
              display("emPhone : phoneStatus : { id 5, panelSV '70'H, ctrlSV '63'H, fpgaSV '66'H, status ready, "
                      "powerStatus main, mode active, hookStatus connected, baseStatus connected }"));
    EXPECT_EQ("p\nc\nf\n2\n2\n1\n1\n1\n", file("emphone5"));
    EXPECT_TRUE(waitFor([&] { return got(pushed("extBoardTable", "extBoardSoftVer", 2, "1v")); }));
    EXPECT_TRUE(waitFor([&] { return got(pushed("emPhoneTable", "emPhoneStatus", 6, "2")); }));

    EXPECT_EQ(Texts{LgcpTexts::success(4)}, display("framer : { e1 1, info line : TRUE }"));
    EXPECT_EQ("0xc writes 2", board("/dev/hal monitor leds"));

    // The E1 control's trunk statuses reach the framer records: trunk 2 has
    // lost its carrier on the simulated board.
    EXPECT_TRUE(waitFor([&] { return got(pushed("e1Table", "e1StatusDsc", 3, "No Carrier")); })) << agent.out();
    // The BRI lines' statuses carry the same numbers and leave the framers
    // alone: until the framer's own state changes, nothing else is pushed.
    EXPECT_TRUE(receivedAgain(LgcpTexts::trunkStatus("bri", 2, "normal"), client.Received().size(), 2));
    ASSERT_EQ(std::string::npos, board("/dev/maintenance framer 2 state ais").find("error"));
    EXPECT_TRUE(waitFor([&] { return got(pushed("e1Table", "e1StatusDsc", 3, "AIS")); })) << agent.out();
    Texts framer3 = pushes("e1Table", "e1StatusDsc", 3);
    framer3.erase(framer3.begin(), std::find(framer3.begin(), framer3.end(), "No Carrier"));
    EXPECT_EQ((Texts{"No Carrier", "AIS"}), framer3) << agent.out();

    // The controller goes: its board files go with it.
    client.Close();
    EXPECT_TRUE(waitFor([&] { return !root.exists("/var/monitoring/board2"); }));
    EXPECT_TRUE(root.exists("/var/monitoring/emphone5"));
}

TEST_F(MonitoringDaemon, TheControllerCheckFindsALocalControllerProcess) {
    // No controller is connected: the check looks for a local process of
    // that name, first found, then gone.
    pid_t helper = fork();
    if (helper == 0) {
        prctl(PR_SET_NAME, "controller");
        pause();
        _exit(0);
    }
    ASSERT_GT(helper, 0);
    const std::string status = "/var/monitoring/controller/self/status";
    bool found = waitFor([&] { return root.readFile(status) == "4"; }, 15000);
    kill(helper, SIGKILL);
    waitpid(helper, nullptr, 0);
    EXPECT_TRUE(found) << "notconnection";
    // The same test in a run of the whole suite may have its own helper up
    // meanwhile; it ends it within 15 s.
    EXPECT_TRUE(waitFor([&] { return root.readFile(status) == "5"; }, 40000)) << "notrun";
    EXPECT_TRUE(waitFor([&] { return got(pushed("gatewayCommon", "controllerStatus", 0, "5")); }));
}

class HalFailingAtPowerUp : public MonitoringDaemon {
protected:
    HalFailingAtPowerUp() { environment = {"KORVAND_SIM_COMMANDS=/dev/hal fault open ENODEV"}; }
};

TEST_F(HalFailingAtPowerUp, TheMonitoringOpensTheDeviceOnceItWorks) {
    int opens = std::atoi(board("/dev/hal log open").c_str());
    ASSERT_TRUE(waitFor([&] { return std::atoi(board("/dev/hal log open").c_str()) >= opens + 2; }));
    EXPECT_FALSE(root.exists("/var/monitoring/powerstatus"));
    ASSERT_EQ("ok", board("/dev/hal fault open off"));
    EXPECT_TRUE(waitFor([&] { return file("powerstatus") == "2"; }));
    EXPECT_EQ("0x0 writes 1", board("/dev/hal monitor leds"));
}

}  // namespace
