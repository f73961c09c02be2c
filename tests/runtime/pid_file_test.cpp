#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "runtime/pid_file.h"
#include "tests/support/temp_root.h"

namespace {

TEST(PidFile, HoldsThePidAndIsRemovedAtTheEnd) {
    TempRoot root;
    {
        Linux::Run run("server");
        EXPECT_EQ(std::to_string(getpid()), root.readFile("/var/run/server.pid"));
    }
    EXPECT_FALSE(root.exists("/var/run/server.pid"));
}

TEST(PidFile, LeavesANewerInstancesFileAlone) {
    TempRoot root;
    std::unique_ptr<Linux::Run> run(new Linux::Run("server"));
    root.writeFile("/var/run/server.pid", "999999");  // a newer instance rewrote it
    run.reset();
    EXPECT_EQ("999999", root.readFile("/var/run/server.pid"));
}

TEST(PidFile, MissingDirectoryIsSilent) {
    TempRoot root;
    Linux::Run run("no/such/dir/server");
    EXPECT_FALSE(run.ok());
}

TEST(FindProc, FindsAChildByItsCommandName) {
    int ready[2];
    ASSERT_EQ(0, pipe(ready));
    pid_t child = fork();
    if (child == 0) {
        prctl(PR_SET_NAME, "kv)test(name", 0, 0, 0);
        if (write(ready[1], "x", 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(1, read(ready[0], &c, 1));
    EXPECT_EQ(child, find_proc_by_name("kv)test(name", child));  // by the hint
    EXPECT_EQ(child, find_proc_by_name("kv)test(name", 0));      // by the scan
    EXPECT_EQ(-1, find_proc_by_name("kv)test(nam", 0));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
}

}  // namespace
