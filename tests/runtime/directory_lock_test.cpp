// The lock a daemon holds on its root: one holder at a time, in this
// process or another, given back by the kernel however the holder ends,
// and never held by the programs it starts.

#include "runtime/directory_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

#include "tests/runtime/waiting_program.h"
#include "tests/support/daemon_process.h"
#include "tests/support/descriptors.h"
#include "tests/support/temp_root.h"

namespace {

// The program that process `pid` runs now.
std::string executable(pid_t pid) {
    char target[4096];
    ssize_t n = ::readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), target, sizeof target);
    return n > 0 ? std::string(target, size_t(n)) : std::string();
}

// The descriptors of process `pid` open on the directory `dir`.
std::vector<int> descriptorsOn(pid_t pid, const std::string& dir) {
    char real[PATH_MAX];
    if (!::realpath(dir.c_str(), real)) return {};
    std::vector<int> found;
    for (const auto& d : descriptorTargets(pid))
        if (d.second == real) found.push_back(d.first);
    return found;
}

TEST(DirectoryLock, OneHolderAtATimeInThisProcess) {
    TempRoot root;
    std::unique_ptr<DirectoryLock> first(new DirectoryLock(root.dir()));
    ASSERT_TRUE(first->held()) << first->error();
    EXPECT_EQ(0, first->error());
    DirectoryLock second(root.dir());
    EXPECT_FALSE(second.held());
    EXPECT_EQ(EWOULDBLOCK, second.error());
    first.reset();
    EXPECT_TRUE(DirectoryLock(root.dir()).held());
}

TEST(DirectoryLock, AMissingDirectoryIsNotHeld) {
    TempRoot root;
    DirectoryLock lock(root.path("/no/such/dir"));
    EXPECT_FALSE(lock.held());
    EXPECT_EQ(ENOENT, lock.error());
}

// A holder killed outright leaves nothing behind that stops the next one.
TEST(DirectoryLock, AKilledHolderInAnotherProcessGivesItBack) {
    TempRoot root;
    int ready[2];
    ASSERT_EQ(0, ::pipe2(ready, O_CLOEXEC));
    pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        DirectoryLock lock(root.dir());
        char held = lock.held() ? 1 : 0;
        if (::write(ready[1], &held, 1) != 1) _exit(1);
        ::pause();
        _exit(0);
    }
    ::close(ready[1]);
    char held = 0;
    EXPECT_EQ(1, ::read(ready[0], &held, 1));
    ::close(ready[0]);
    EXPECT_EQ(1, held);
    EXPECT_EQ(EWOULDBLOCK, DirectoryLock(root.dir()).error());
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_TRUE(DirectoryLock(root.dir()).held());
}

// A program started while the lock is held, which may outlive its starter,
// does not keep the lock.
TEST(DirectoryLock, AStartedProgramDoesNotHoldIt) {
    TempRoot root;
    std::unique_ptr<DirectoryLock> lock(new DirectoryLock(root.dir()));
    ASSERT_TRUE(lock->held());
    ChildProcess program;
    ASSERT_TRUE(program.startFed("/bin/cat", {}));
    // Until it execs, the forked child shares the starter's descriptors.
    ASSERT_TRUE(waitFor([&] { return executable(program.pid()).find("cat") != std::string::npos; }));
    lock.reset();
    EXPECT_TRUE(DirectoryLock(root.dir()).held());
    program.endInput();
    EXPECT_EQ(0, program.wait());
}

// Nor does one that waits between its fork and its exec: from its first
// step on it holds no copy of the lock's descriptor, which its starter
// holds still, so a starter killed meanwhile leaves the lock to the next
// at once.
TEST(DirectoryLock, AProgramWaitingForItsExecDoesNotHoldIt) {
    TempRoot root;
    std::unique_ptr<DirectoryLock> lock(new DirectoryLock(root.dir()));
    ASSERT_TRUE(lock->held());
    WaitingProgram program;
    const pid_t pid = program.pid();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(waitFor([&] { return descriptorsOn(pid, root.dir()).empty(); }));
    EXPECT_EQ(EWOULDBLOCK, DirectoryLock(root.dir()).error());
    lock.reset();
    EXPECT_TRUE(DirectoryLock(root.dir()).held());
}

}  // namespace
