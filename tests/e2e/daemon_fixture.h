#ifndef KORVAND_TESTS_E2E_DAEMON_FIXTURE_H
#define KORVAND_TESTS_E2E_DAEMON_FIXTURE_H

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/daemon_process.h"
#include "tests/support/temp_root.h"

// Whether a TCP socket of this host listens on `port` (so a client can
// connect without racing the daemon's start).
inline bool listening(int port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", unsigned(port));
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (state == "0A" && local.size() > 5 && local.substr(local.size() - 5) == wanted) return true;
    }
    return false;
}

// korvand on the simulated board with a private root, listening on its
// own port.
class RunningDaemon : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(startKorvand(korvand, root.dir(), {"--port", std::to_string(port)}));
        ASSERT_TRUE(waitFor([&] { return listening(port); })) << korvand.err();
    }
    struct Outcome {
        int status;
        std::string out, err;
    };
    // Runs `lgcpc send` against the daemon with `input` on its standard input.
    Outcome send(const std::string& input, std::vector<std::string> args = {}) {
        ChildProcess p;
        args.insert(args.begin(), {"send", "--port", std::to_string(port)});
        EXPECT_TRUE(p.start(buildProgram("tools/lgcpc"), args, {}, input));
        int status = p.wait();
        EXPECT_TRUE(WIFEXITED(status)) << status;
        return {WEXITSTATUS(status), p.out(), p.err()};
    }
    static size_t lines(const std::string& text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

    TempRoot root;
    int port = freeTcpPort();
    ChildProcess korvand;
};

#endif
