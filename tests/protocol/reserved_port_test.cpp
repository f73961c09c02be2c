// The ports the tests reserve: each is the test's alone and lies where the
// kernel never hands out a port of its own choice; and a process listening
// on a port is told from another that does.

#include "tests/support/reserved_port.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <list>
#include <set>

#include "tests/protocol/connection_harness.h"

namespace {

int kernelRangeStart() {
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    int low = 0;
    range >> low;
    return low;
}

// The port the kernel picks for a socket of `type` bound to port 0.
int kernelsChoice(int type) {
    Fd s = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    EXPECT_EQ(0, ::bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a));
    EXPECT_EQ(0, ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&a), &len));
    int port = ntohs(a.sin_port);
    s.close();
    return port;
}

TEST(ReservedPort, EachIsTheTestsAloneAndNotTheKernelsToHandOut) {
    std::list<ReservedPort> reserved;
    std::set<int> numbers;
    for (int i = 0; i < 40; ++i) {
        int n = reserved.emplace_back(i % 2 ? 1 : 2).number();
        EXPECT_LT(n + (i % 2 ? 0 : 1), kernelRangeStart());
        EXPECT_GT(n, 1023);
        numbers.insert(n);
        if (i % 2 == 0) numbers.insert(n + 1);
    }
    EXPECT_EQ(60u, numbers.size()) << "a number reserved twice";
    for (int type : {SOCK_STREAM, SOCK_DGRAM})
        for (int i = 0; i < 20; ++i) EXPECT_EQ(0u, numbers.count(kernelsChoice(type)));
    // The test binds it: nothing else has it, and nothing answers there
    // until it listens.
    const ReservedPort& port = reserved.front();
    Fd client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(port);
    EXPECT_EQ(-1, ::connect(client.get(), reinterpret_cast<sockaddr*>(&a), sizeof a));
    EXPECT_EQ(ECONNREFUSED, errno);
    client.close();
    Fd listener = listenOn(port);
    EXPECT_TRUE(listensOn(::getpid(), port));
    listener.close();
    EXPECT_FALSE(listensOn(::getpid(), port));
}

// Another process's listener on a port is not this one's, and the other
// way round.
TEST(ReservedPort, AListenerIsFoundInTheProcessThatHoldsIt) {
    ReservedPort mine, theirs;
    Fd own = listenOn(mine);
    int ready[2];
    ASSERT_EQ(0, ::pipe2(ready, O_CLOEXEC));
    pid_t other = ::fork();
    if (other == 0) {
        own.close();
        Fd listening = listenOn(theirs);
        (void)listening;
        char c = 1;
        if (::write(ready[1], &c, 1) != 1) _exit(1);
        ::pause();
        _exit(0);
    }
    ::close(ready[1]);
    char c = 0;
    EXPECT_EQ(1, ::read(ready[0], &c, 1));
    ::close(ready[0]);
    EXPECT_TRUE(listensOn(::getpid(), mine));
    EXPECT_FALSE(listensOn(other, mine));
    EXPECT_TRUE(listensOn(other, theirs));
    EXPECT_FALSE(listensOn(::getpid(), theirs));
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    own.close();
}

}  // namespace
