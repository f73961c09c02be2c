#ifndef KORVAND_TESTS_E2E_LGCPC_SESSION_H
#define KORVAND_TESTS_E2E_LGCPC_SESSION_H

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/daemon_fixture.h"
#include "tests/support/daemon_process.h"

// The messages in what `lgcpc send` printed, trunk statuses left out. Each
// is the lines from one that opens a brace to the one that closes it
// (braces in quoted strings aside); the empty lines between messages are
// not theirs, nor any line end that another writer of the same output put
// among them. A message still being written is not yet one.
inline std::vector<std::string> printedMessages(const std::string& text) {
    std::vector<std::string> out;
    std::string message;
    int depth = 0;
    bool quoted = false;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) break;
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty()) continue;
        message += (message.empty() ? "" : "\n") + line;
        for (char c : line) {
            if (c == '"') quoted = !quoted;
            if (!quoted) depth += c == '{' ? 1 : c == '}' ? -1 : 0;
        }
        if (depth > 0) continue;
        if (!isTrunkStatus(message)) out.push_back(message);
        message.clear();
        depth = 0;
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
