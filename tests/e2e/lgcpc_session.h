#ifndef KORVAND_TESTS_E2E_LGCPC_SESSION_H
#define KORVAND_TESTS_E2E_LGCPC_SESSION_H

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/daemon_fixture.h"
#include "tests/support/daemon_process.h"

// The messages in what `lgcpc send` printed, one a block with an empty line
// between two, trunk statuses left out.
inline std::vector<std::string> printedMessages(const std::string& text) {
    std::vector<std::string> out;
    for (size_t at = 0; at < text.size();) {
        size_t end = std::min(text.find("\n\n", at), text.size());
        std::string m = text.substr(at, end - at);
        if (!m.empty() && m.back() == '\n') m.pop_back();
        if (!m.empty() && !isTrunkStatus(m)) out.push_back(m);
        at = end + 2;
    }
    return out;
}

// `lgcpc send` against a running daemon, typed into while it runs: each
// command goes out when it is given, and what the daemon sends is read as
// `lgcpc` prints it, one message a block.
class LgcpcSession {
public:
    explicit LgcpcSession(int port) {
        EXPECT_TRUE(
            lgcpc.startFed(buildProgram("tools/lgcpc"), {"send", "--port", std::to_string(port), "--wait", "10000"}));
    }
    ~LgcpcSession() {
        if (lgcpc.running()) finish();
    }

    // `command` for `slot`, numbered from 1.
    void command(int slot, const std::string& command) {
        lgcpc.feed("{ seq " + std::to_string(++seq) + ", slot " + std::to_string(slot) + ", pdu command : " + command +
                   " }\n");
    }
    // The messages printed so far, trunk statuses left out.
    std::vector<std::string> messages() const { return printedMessages(lgcpc.out()); }
    size_t count(const std::string& message) const {
        std::vector<std::string> got = messages();
        return size_t(std::count(got.begin(), got.end(), message));
    }
    // Waits until `message` has been printed `n` times.
    bool waitFor(const std::string& message, size_t n = 1, int ms = 20000) {
        bool came = ::waitFor([&] { return count(message) >= n; }, ms);
        EXPECT_TRUE(came) << message << "\nafter:\n" << lgcpc.out() << lgcpc.err();
        return came;
    }
    // Ends the input; the exit status once every request is answered.
    int finish() {
        lgcpc.endInput();
        int status = lgcpc.wait(20000);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ChildProcess lgcpc;
    int seq = 0;
};

#endif
