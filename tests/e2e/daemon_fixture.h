#ifndef KORVAND_TESTS_E2E_DAEMON_FIXTURE_H
#define KORVAND_TESTS_E2E_DAEMON_FIXTURE_H

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/version.h"
#include "tests/support/daemon_process.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/temp_root.h"

// Whether a TCP socket of this host on the local `port` is as `wanted`
// says, given its state and its queues (see TcpSocket).
using TcpSocketTest = std::function<bool(const std::string& state, const std::string& queues)>;
inline bool tcpSocketAt(int port, const TcpSocketTest& wanted) {
    for (const TcpSocket& s : tcpSocketsAt(port))
        if (wanted(s.state, s.queues)) return true;
    return false;
}

// Whether a TCP socket of this host listens on `port` (so a client can
// connect without racing the daemon's start).
inline bool listening(int port) {
    return tcpSocketAt(port,
                       [](const std::string& state, const std::string&) { return state == "0A"; });
}

// Waits until `daemon` listens on `port` itself; false if it ended or
// did not in time.
inline bool listensItself(ChildProcess& daemon, int port) {
    waitFor([&] { return listensOn(daemon.pid(), port) || !daemon.running(); }, 10000);
    return listensOn(daemon.pid(), port);
}

// Stops `daemon` as a user does and waits for it: it ends with status 0,
// and its board's final check, which runs at its end, reports nothing.
inline void stopDaemon(ChildProcess& daemon) {
    int status = daemon.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << daemon.err();
    EXPECT_FALSE(boardReported(daemon.err())) << daemon.err();
}

// The version text the daemon prints.
inline std::string versionText() {
    std::ostringstream text;
    text << Version::current;
    return text.str();
}

// The board's services send every controller the trunk statuses at its
// connection and every second, and the power state at its connection and
// at each change; tests of other things leave them out.
inline bool isTrunkStatus(const std::string& message) {
    return message.find("pdu signal : trunkStatus") != std::string::npos;
}
inline bool isPowerSignal(const std::string& message) {
    return message.find("pdu signal : power") != std::string::npos;
}
inline bool isStatus(const std::string& message) {
    return isTrunkStatus(message) || isPowerSignal(message);
}

inline std::vector<std::string> withoutStatuses(const std::vector<std::string>& messages) {
    std::vector<std::string> rest;
    for (const std::string& m : messages)
        if (!isStatus(m)) rest.push_back(m);
    return rest;
}

// The trunk statuses among what the client has received.
inline std::vector<std::string> trunkStatuses(const Lgcpc::Client& client) {
    std::vector<std::string> got;
    for (const std::string& m : client.Received())
        if (isTrunkStatus(m)) got.push_back(m);
    return got;
}

// Sends one request (value notation); what it brought, statuses left out.
inline std::vector<std::string> answers(Lgcpc::Client& client, const std::string& text) {
    return withoutStatuses(LgcpTexts::request(client, text));
}

// korvand on the simulated board with a private root, listening on its
// own port.
class RunningDaemon : public ::testing::Test {
protected:
    RunningDaemon() = default;
    // The daemon on a root that the program `layout` lays out at `below` in
    // a fresh temporary directory.
    RunningDaemon(const std::string& below, const std::string& layout) : root(below, layout) {}

    void SetUp() override {
        ASSERT_TRUE(startKorvand(korvand, root.dir(), {"--port", std::to_string(port)}, environment));
        ASSERT_TRUE(listensItself(korvand, port)) << korvand.err();
    }
    // Stops the daemon as a user does, so that its board makes its final
    // check. A daemon that the test ended itself was ended as it meant.
    void TearDown() override {
        if (korvand.running()) stopDaemon(korvand);
    }
    struct Outcome {
        int status;
        std::string out, err;
    };
    // Runs `lgcpc send` against the daemon with `input` on its standard
    // input; its output without the trunk statuses.
    Outcome send(const std::string& input, std::vector<std::string> args = {}) {
        ChildProcess p;
        args.insert(args.begin(), {"send", "--port", std::to_string(port)});
        EXPECT_TRUE(p.start(buildProgram("tools/lgcpc"), args, {}, input));
        int status = p.wait();
        EXPECT_TRUE(WIFEXITED(status)) << status;
        return {WEXITSTATUS(status), printedWithoutStatuses(p.out()), p.err()};
    }
    // `lgcpc send` prints each message followed by an empty line but the last.
    static std::string printedWithoutStatuses(const std::string& out) {
        std::string kept;
        for (size_t at = 0; at < out.size();) {
            size_t end = out.find("\n\n", at);
            if (end == std::string::npos) end = out.size() - (out.back() == '\n' ? 1 : 0);
            std::string message = out.substr(at, end - at);
            at = end + 2;
            if (!isStatus(message)) kept += (kept.empty() ? "" : "\n\n") + message;
        }
        return kept.empty() ? kept : kept + "\n";
    }
    static size_t lines(const std::string& text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

    TempRoot root;
    ReservedPort port;
    // Extra environment entries of the daemon ("NAME=value").
    std::vector<std::string> environment;
    ChildProcess korvand;
};

// The daemon with one controller, connected once it listens.
class ControlledDaemon : public RunningDaemon {
protected:
    void SetUp() override {
        RunningDaemon::SetUp();
        if (HasFatalFailure()) return;
        std::string error;
        ASSERT_TRUE(client.Connect("127.0.0.1", uint16_t(port), error)) << error;
    }
    // Sends `cmd` for `slot`; what it brought, statuses left out.
    std::vector<std::string> command(int slot, const std::string& cmd) {
        return answers(client, "{ seq 1, slot " + std::to_string(slot) + ", pdu command : " + cmd + " }");
    }

    Lgcpc::Client client;
};

#endif
