#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "tests/support/daemon_process.h"
#include "tests/support/sim_command.h"
#include "tests/support/temp_root.h"

namespace {

TEST(Daemon, WritesItsPidFileAndRemovesItOnSigterm) {
    TempRoot root;
    ChildProcess korvand;
    ASSERT_TRUE(startKorvand(korvand, root.dir(), {"--port", std::to_string(freeTcpPort())}));
    ASSERT_TRUE(waitFor([&] { return root.readFile("/var/run/server.pid") == std::to_string(korvand.pid()); }))
        << korvand.err();
    korvand.signal(SIGTERM);
    int status = korvand.wait();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_FALSE(root.exists("/var/run/server.pid"));
}

}  // namespace

namespace {

TEST(Daemon, DrivesTheWatchdogOfTheSimulatedBoard) {
    TempRoot root;
    ChildProcess korvand;
    ASSERT_TRUE(startKorvand(korvand, root.dir(), {"--port", std::to_string(freeTcpPort())}));
    std::string records;
    // A second pass of the loop feeds the watchdog again after a second.
    EXPECT_TRUE(waitFor(
        [&] {
            records = simCommand(root.dir(), "/dev/misc/gw-wd records");
            return records.rfind("START PING PING", 0) == 0;
        },
        5000))
        << records << korvand.err();
    EXPECT_EQ("error: no device /dev/none", simCommand(root.dir(), "/dev/none x"));
    korvand.signal(SIGINT);
    ASSERT_EQ(0, korvand.wait());
}

}  // namespace
