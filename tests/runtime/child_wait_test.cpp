#include "runtime/child_wait.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "runtime/timer.h"
#include "tests/support/capture.h"
#include "tests/support/pump.h"

namespace {

// Runs `script` with /bin/sh in a child process.
pid_t spawn(const char* script) {
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", script, static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Blocks until `pid` has ended, without reaping it.
void awaitZombie(pid_t pid) {
    siginfo_t info;
    ASSERT_EQ(0, waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT));
}

// True once nothing is left of `pid` to wait for (asked without reaping).
bool reaped(pid_t pid) {
    siginfo_t info;
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == -1 &&
           errno == ECHILD;
}

struct Owner {
    void OnExit(int status) { statuses.push_back(status); }
    void OnOther(int status) { others.push_back(status); }
    std::vector<int> statuses;
    std::vector<int> others;
};

// The service is activated by each test and replaced by a fresh, inactive
// one afterwards, with SIGCHLD back to its default.
class ChildWaitTest : public ::testing::Test {
protected:
    void TearDown() override {
        ChildWait::Cleanup();
        ChildWait::Initialize();
        signal(SIGCHLD, SIG_DFL);
    }
};

std::string record(pid_t pid, int status) {
    return "terminate child process, pid=" + std::to_string(pid) +
           " status=" + std::to_string(status) + "\n";
}

TEST_F(ChildWaitTest, WaitersGetTheRawStatusOnceInReapOrder) {
    StreamCapture log(std::clog);
    ChildWait::Activate();
    Owner owner;
    ChildWait first, second;
    first.Bind(&owner, &Owner::OnOther);
    first.Bind(&owner, &Owner::OnExit);  // binding again replaces
    second.Bind(&owner, &Owner::OnExit);
    pid_t exits = spawn("exit 3");
    pid_t killed = spawn("kill -KILL $$");
    first.Attach(exits);
    first.Attach(exits);  // still once in the list
    second.Attach(killed);
    EXPECT_EQ(2u, ChildWaitService::childWaitService->waiters.size());
    awaitZombie(exits);
    awaitZombie(killed);

    // A pass that finds the wake-up without POLLIN reaps nothing.
    ChildWaitService::childWaitService->OnChildEvent(
        ChildWaitService::childWaitService->event.fd.get(), 0);
    EXPECT_TRUE(owner.statuses.empty());

    ASSERT_TRUE(pumpUntil([&] { return owner.statuses.size() == 2; }));
    pumpPasses(3);
    EXPECT_EQ(2u, owner.statuses.size());
    EXPECT_TRUE(owner.others.empty());
    EXPECT_EQ(3 << 8, owner.statuses[0]);
    EXPECT_EQ(SIGKILL, owner.statuses[1]);
    EXPECT_EQ(record(exits, 3 << 8) + record(killed, SIGKILL), log.text());
    EXPECT_TRUE(ChildWaitService::childWaitService->waiters.empty());
}

TEST_F(ChildWaitTest, ChildrenNobodyWaitsForAreReapedAndLogged) {
    StreamCapture log(std::clog);
    ChildWait::Activate();
    Owner owner;
    pid_t unwatched = spawn("exit 5");
    pid_t orphaned = spawn("exit 6");
    {
        ChildWait gone;
        gone.Bind(&owner, &Owner::OnExit);
        gone.Attach(orphaned);
    }
    EXPECT_TRUE(ChildWaitService::childWaitService->waiters.empty());
    auto logged = [&](pid_t pid, int status) {
        return log.text().find(record(pid, status)) != std::string::npos;
    };
    ASSERT_TRUE(pumpUntil([&] { return logged(unwatched, 5 << 8) && logged(orphaned, 6 << 8); }))
        << log.text();
    EXPECT_TRUE(reaped(unwatched));
    EXPECT_TRUE(reaped(orphaned));
    EXPECT_TRUE(owner.statuses.empty());
}

// SIGCHLD arrives while pclose waits: the handler must leave the child to it.
TEST_F(ChildWaitTest, PopenInsideTheLoopKeepsItsChild) {
    StreamCapture log(std::clog);
    ChildWait::Activate();
    int pcloseStatus = -2;
    Timer timer;
    struct Job {
        int* status;
        void Run() {
            FILE* f = popen("echo out; exit 7", "r");
            ASSERT_NE(nullptr, f);
            char line[16];
            while (fgets(line, sizeof line, f)) {
            }
            // The wake-up byte shows that the SIGCHLD handler has run.
            pollfd p = {ChildWaitService::childWaitService->event.fd.get(), POLLIN, 0};
            int ready;
            while ((ready = poll(&p, 1, 10000)) < 0 && errno == EINTR) {
                // SIGCHLD itself may interrupt the wait.
            }
            ASSERT_EQ(1, ready);
            *status = pclose(f);
        }
    } job{&pcloseStatus};
    timer.set(0, &Job::Run, &job);
    ASSERT_TRUE(pumpUntil([&] { return pcloseStatus != -2; }));
    pumpPasses(3);
    EXPECT_TRUE(WIFEXITED(pcloseStatus));
    EXPECT_EQ(7, WEXITSTATUS(pcloseStatus));
    EXPECT_EQ("", log.text());
}

}  // namespace
