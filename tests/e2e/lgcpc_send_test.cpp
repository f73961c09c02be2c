// `lgcpc send` against the running daemon: a session waits for every final
// answer, sends what is typed as it comes, and says what went wrong.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <fstream>

#include "tests/e2e/daemon_fixture.h"
#include "tests/support/lgcp_texts.h"

namespace {

using namespace LgcpTexts;

// Whether the process `pid` is stopped by a signal.
bool stopped(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t end = text.rfind(')');
    return end != std::string::npos && text.compare(end + 2, 1, "T") == 0;
}

// Whether octets wait unread on a connection the daemon's port took.
bool queuedAt(int port) {
    return tcpSocketAt(port, [](const std::string& state, const std::string& queues) {
        return state == "01" && queues.substr(queues.find(':') + 1) != "00000000";
    });
}

class LgcpcSend : public RunningDaemon {
  protected:
    void startTyping(ChildProcess& typing) {
        ASSERT_TRUE(typing.startFed(buildProgram("tools/lgcpc"),
                                    {"send", "--port=" + std::to_string(port)}));
    }
    static Outcome finished(ChildProcess& p) {
        int status = p.wait();
        EXPECT_TRUE(WIFEXITED(status)) << status;
        return {WEXITSTATUS(status), printedWithoutStatuses(p.out()), p.err()};
    }
    static bool contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
};

TEST_F(LgcpcSend, SendsEachValueAsItIsTypedAndKeepsTheSlotsMeanwhile) {
    ChildProcess typing;
    startTyping(typing);
    const struct {
        const char* typed;
        std::string shows;  // on the output, or on the error stream when it starts with "line"
    } steps[] = {
        {"{ seq 1, slot 1, pdu command : create : trunk : { trunk 0, timeslot 1 } }\n", ok(1, 1)},
        {"{ seq 2, slot 2, pdu command : create :\n", ""},
        {"   trunk : { trunk 1, timeslot 1 } }\n", ok(2, 2)},
        {"{ seq 3, slot 1, pdu command : conect : 2 }\n",
         "line 4, column 32: expected \"query\", \"testBpc\", \"connect\""},
        {"{ seq 4, slot 1, pdu command : connect : 2 }\n", ok(1, 4)},
    };
    for (const auto& step : steps) {
        ASSERT_TRUE(typing.feed(step.typed)) << step.typed;
        if (step.shows.empty()) continue;
        bool error = step.shows.compare(0, 4, "line") == 0;
        EXPECT_TRUE(waitFor([&] {
            return contains(error ? typing.err() : typing.out(), step.shows);
        })) << step.typed
            << typing.out() << typing.err();
    }
    typing.endInput();
    Outcome o = finished(typing);
    EXPECT_EQ(1, o.status);  // for the bad value
    EXPECT_EQ(1u, lines(o.err)) << o.err;
}

TEST_F(LgcpcSend, NamesWhatIsUnansweredWhenTheWaitRunsOut) {
    korvand.signal(SIGSTOP);
    ASSERT_TRUE(waitFor([&] { return stopped(korvand.pid()); }));
    Outcome o = send(
        "{ seq 1, pdu command : ping : NULL }\n{ pdu command : ping : NULL }\n"
        "{ seq 2, pdu command : ping : NULL }\n",
        {"--wait", "100"});
    korvand.signal(SIGCONT);
    EXPECT_EQ(1, o.status);
    EXPECT_EQ("", o.out);
    EXPECT_EQ("lgcpc: no final answer to seq 1, seq 2 within 100 ms of the end of the input\n",
              o.err);
}

TEST_F(LgcpcSend, NamesWhatIsUnansweredWhenTheConnectionIsLost) {
    ChildProcess typing;
    startTyping(typing);
    ASSERT_TRUE(typing.feed("{ seq 1, pdu command : ping : NULL }\n"));
    ASSERT_TRUE(waitFor([&] { return contains(typing.out(), success(1)); })) << typing.err();
    korvand.signal(SIGSTOP);
    ASSERT_TRUE(waitFor([&] { return stopped(korvand.pid()); }));
    ASSERT_TRUE(typing.feed("{ seq 2, pdu command : ping : NULL }\n"));
    ASSERT_TRUE(waitFor([&] { return queuedAt(port); }));
    korvand.signal(SIGKILL);
    korvand.wait();
    Outcome o = finished(typing);
    EXPECT_EQ(1, o.status);
    EXPECT_EQ("lgcpc: connection to 127.0.0.1:" + std::to_string(port) +
                  " lost before the whole input was sent; no final answer to seq 2\n",
              o.err);
}

TEST_F(LgcpcSend, SaysThatTheDaemonServesOneControllerAtATime) {
    Lgcpc::Client holder;
    std::string error;
    ASSERT_TRUE(holder.Connect("127.0.0.1", uint16_t(port), error)) << error;
    Outcome o = send("{ seq 1, pdu command : ping : NULL }\n");
    EXPECT_EQ(1, o.status);
    EXPECT_EQ("", o.out);
    EXPECT_TRUE(contains(o.err, "; the daemon sent nothing (it serves one controller at a time)"))
        << o.err;
}

}  // namespace
