#include "runtime/child_program.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/runtime/waiting_program.h"
#include "tests/support/daemon_process.h"
#include "tests/support/descriptors.h"

namespace {

// Written by an exit handler of this process in any other process: a child
// that left with exit() instead of _exit() would run it.
int markerFd = -1;
pid_t testPid = 0;

void ExitHandler() {
    if (::getpid() != testPid && markerFd >= 0 && ::write(markerFd, "x", 1) < 0) {
    }
}

std::string Drain(int fd) {
    std::string out;
    char buf[256];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
    ::close(fd);
    return out;
}

TEST(ChildProgram, AFailedExecIsToldApartFromTheProgramsOwnExit) {
    static const bool registered = std::atexit(ExitHandler) == 0;
    ASSERT_TRUE(registered);
    testPid = ::getpid();
    struct Case {
        const char* path;
        int error;
        int status;
        const char* output;
    } cases[] = {
        {"/nonexistent/program", ENOENT, 1005 & 0xFF, "before\nfail to exec!\n"},
        {"/bin/true", 0, 0, "before\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        int marker[2], out[2];
        ASSERT_EQ(0, ::pipe(marker));
        ASSERT_EQ(0, ::pipe(out));
        markerFd = marker[1];
        ChildProgram program;
        ChildProgram::Command command;
        command.path = c.path;
        command.argv = {"program"};
        command.output = out[1];
        command.banner = "before";
        command.failText = "fail to exec!";
        command.failStatus = 1005;
        int pid = program.Start(command);
        ASSERT_GT(pid, 0);
        ::close(out[1]);
        ::close(marker[1]);
        markerFd = -1;
        int status = -1;
        ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(c.status, WEXITSTATUS(status));
        EXPECT_EQ(c.error, program.ExecError());
        EXPECT_EQ(c.output, Drain(out[0]));
        EXPECT_EQ("", Drain(marker[0]));
    }
}

// A pipe of the test's, closed however the test ends.
struct Pipe {
    explicit Pipe(int flags) { ok = ::pipe2(ends, flags) == 0; }
    ~Pipe() {
        if (!ok) return;
        ::close(ends[0]);
        ::close(ends[1]);
    }
    int ends[2] = {-1, -1};
    bool ok;
};

// From its fork on, a program holds its standard descriptors, what it is
// given and the pipe that reports a failed exec, and no other descriptor
// of its starter's, inheritable or close-on-exec, however long it waits
// to exec: a starter killed meanwhile leaves its sockets and locks to the
// next at once.
TEST(ChildProgram, FromItsForkOnItHoldsOnlyWhatItIsGiven) {
    Pipe input(0), output(0), inheritable(0), closedAtExec(O_CLOEXEC);
    ASSERT_TRUE(input.ok && output.ok && inheritable.ok && closedAtExec.ok);
    const std::map<int, std::string> own = descriptorTargets(::getpid());
    WaitingProgram program(input.ends[0], output.ends[1]);
    const pid_t pid = program.pid();
    ASSERT_GT(pid, 0);
    // It takes its input after it has closed the rest.
    std::map<int, std::string> held;
    ASSERT_TRUE(waitFor([&] {
        held = descriptorTargets(pid);
        return held[STDIN_FILENO] == own.at(input.ends[0]);
    }));
    EXPECT_EQ(own.at(output.ends[1]), held[STDOUT_FILENO]);
    EXPECT_EQ(own.at(STDERR_FILENO), held[STDERR_FILENO]);
    // Besides the numbers it was given them by, which stay open as they are.
    std::vector<std::string> others;
    for (const auto& d : held)
        if (d.first > STDERR_FILENO && d.first != input.ends[0] && d.first != output.ends[1])
            others.push_back(d.second);
    ASSERT_EQ(1u, others.size()) << testing::PrintToString(held);
    EXPECT_EQ(0u, others.front().find("pipe:")) << others.front();
    for (const auto& d : own) EXPECT_NE(d.second, others.front()) << "descriptor " << d.first;
}

}  // namespace
