#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "tests/support/daemon_process.h"
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
