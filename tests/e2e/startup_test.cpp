// The daemon's command line and configuration file: what each option makes
// of a start, and the trace switches' complaints.

#include <sys/wait.h>

#include <gtest/gtest.h>


#include "tests/e2e/daemon_fixture.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/sim_command.h"
#include "tools/lgcpc/client.h"

namespace {

const std::string usage =
    "Usage:\n"
    " korvand -Dh\n"
    "  -D --daemon                      run as daemon\n"
    "  -p --port                        use this port\n"
    "     --disable-clock               disable clock control\n"
    "     --version                     print version\n"
    "  -h --help                        display this information\n"
    "\n";

struct Exit {
    int status;
    std::string out, err;
};

// Runs korvand with `args` on the simulated board of `root` until it ends.
Exit runKorvand(const TempRoot& root, const std::vector<std::string>& args) {
    ChildProcess p;
    EXPECT_TRUE(startKorvand(p, root.dir(), args));
    int status = p.wait();
    EXPECT_TRUE(WIFEXITED(status)) << status;
    return {WEXITSTATUS(status), p.out(), p.err()};
}

TEST(Options, HelpVersionAndRefusedOptionsEndTheStart) {
    TempRoot root;
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
        const char* complaint;  // a part of the error text, or null for none
    } cases[] = {
        {{"--help"}, 0, usage, nullptr},
        {{"--port", "7", "-h", "--bogus"}, 0, usage, nullptr},
        {{"--version", "--help"}, 0, usage, nullptr},
        {{"--version"}, 2, "server version: " + versionText() + "\n", nullptr},
        {{"-p", "5"}, 2, usage, "invalid option -- 'p'"},
        {{"--bogus", "--help"}, 2, usage, "unrecognized option '--bogus'"},
        {{"--version", "-x"}, 2, usage, "invalid option -- 'x'"},
        {{"--port"}, 2, usage, "requires an argument"},
        // Ports that are no number, or out of range, are refused.
        {{"--port", "abc"}, 2, usage, "invalid port 'abc'"},
        {{"--port=20001x"}, 2, usage, "invalid port '20001x'"},
        {{"--port", "0"}, 2, usage, "invalid port '0'"},
        {{"--port", "65536"}, 2, usage, "invalid port '65536'"},
        {{"--port", "-1"}, 2, usage, "invalid port '-1'"},
        {{"--port", "99999999999999999999"}, 2, usage, "invalid port"},
        {{"--port="}, 2, usage, "invalid port ''"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        Exit e = runKorvand(root, c.args);
        EXPECT_EQ(c.status, e.status) << line;
        EXPECT_EQ(c.out, e.out) << line;
        if (c.complaint)
            EXPECT_NE(std::string::npos, e.err.find(c.complaint)) << line << e.err;
        else
            EXPECT_EQ("", e.err) << line;
    }
    // None of them went as far as publishing a pid.
    EXPECT_FALSE(root.exists("/var/run/server.pid"));
}

// Connects `client` to the daemon on `port` and waits for the framers'
// statuses that every connection brings.
void connect(Lgcpc::Client& client, int port) {
    std::string error;
    ASSERT_TRUE(client.Connect("127.0.0.1", uint16_t(port), error)) << error;
    ASSERT_TRUE(client.WaitFor(4));
}

TEST(Options, ThePortEitherWayAndClockControlOffWhereverItStands) {
    TempRoot root;
    const std::string version = versionText();
    ReservedPort first, second;
    ChildProcess before, after;
    ASSERT_TRUE(startKorvand(before, root.dir(), {"--disable-clock", "--port=" + std::to_string(first)}));
    ASSERT_TRUE(listensItself(before, first)) << before.err();

    Lgcpc::Client client;
    connect(client, first);
    EXPECT_EQ(std::vector<std::string>{LgcpTexts::failure(1, "unsupported")},
              answers(client, "{ seq 1, pdu command : clockCfg : { clkSel0 internal, "
                                         "bextEn disabled, source 0 } }"));
    EXPECT_EQ(0u, simCommand(root.dir(), "/dev/hal clock").find("source 4 freerun selects 0 "));
    EXPECT_NE(std::string::npos, before.err().find("clock control disabled.\n"));
    EXPECT_EQ(0u, before.out().find("Starting server [" + version + "], port=" + std::to_string(first) + "\n"))
        << before.out();

    stopDaemon(before);
    ASSERT_TRUE(startKorvand(after, root.dir(), {"--port", std::to_string(second), "--disable-clock"}));
    ASSERT_TRUE(listensItself(after, second)) << after.err();
    Lgcpc::Client next;
    connect(next, second);
    EXPECT_EQ(0u, simCommand(root.dir(), "/dev/hal clock").find("source 4 freerun selects 0 "));
    EXPECT_NE(std::string::npos, after.err().find("clock control disabled.\n"));
    // The clock is built while the options are read: its closes, and those
    // of everything built later, come before the board's final check.
    stopDaemon(after);
}

TEST(Configuration, EverySubsectionOfTracesIsReadAndABadTruthWordReported) {
    TempRoot root;
    root.writeFile("/usr/local/etc/server.conf",
                   "[traces]\nsignalling.hdlc = Yes\n[snmpagent]\nsignalling.hdlc = x\n"
                   "[traces]\nsignalling.isdn = maybe\nmonitoring.internal = enabled\n");
    ChildProcess korvand;
    ReservedPort port;
    ASSERT_TRUE(startKorvand(korvand, root.dir(), {"--port", std::to_string(port)}));
    ASSERT_TRUE(listensItself(korvand, port)) << korvand.err();
    std::string err = korvand.err();
    size_t hdlc = err.find("traces: optional key \"signalling.hdlc\" has invalid value=\"Yes\", line 2.");
    size_t isdn = err.find("traces: optional key \"signalling.isdn\" has invalid value=\"maybe\", line 6.");
    EXPECT_NE(std::string::npos, hdlc) << err;
    EXPECT_NE(std::string::npos, isdn) << err;
    EXPECT_LT(hdlc, isdn);
    // Other sections are not the trace switches' business.
    EXPECT_EQ(std::string::npos, err.find("value=\"x\"")) << err;
    stopDaemon(korvand);
}

}  // namespace
