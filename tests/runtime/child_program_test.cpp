#include "runtime/child_program.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

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

}  // namespace
