// The ports the tests reserve: each is the test's alone and lies where the
// kernel never hands out a port of its own choice; and a process listening
// on a port is told from another that does.

#include "tests/support/reserved_port.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <set>
#include <sstream>
#include <stdexcept>

#include "tests/protocol/connection_harness.h"

namespace {

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
    const PortSpan kernel = kernelLocalPorts();
    std::list<ReservedPort> reserved;
    std::set<int> numbers;
    for (int i = 0; i < 40; ++i) {
        int n = reserved.emplace_back(i % 2 ? 1 : 2).number();
        int last = n + (i % 2 ? 0 : 1);
        EXPECT_TRUE(last < kernel.first || n > kernel.last) << n;
        EXPECT_GT(n, 1023);
        EXPECT_LE(last, 65535);
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

// Below the kernel's range, 8192 numbers from 1024 on; above it, all of
// them; a range that covers every port leaves none.
TEST(ReservedPort, TheNumbersLieBelowAndAboveTheKernelsRange) {
    const struct {
        PortSpan kernel;
        std::vector<PortSpan> spans;
    } cases[] = {
        {{32768, 60999}, {{24576, 32767}, {61000, 65535}}},
        {{40000, 40063}, {{31808, 39999}, {40064, 65535}}},
        {{1024, 60999}, {{61000, 65535}}},
        {{5000, 65535}, {{1024, 4999}}},
        {{1024, 65535}, {}},
        {{1025, 65534}, {{1024, 1024}, {65535, 65535}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.kernel.first) + "-" + std::to_string(c.kernel.last));
        EXPECT_EQ(c.spans, reservableSpans(c.kernel));
    }
}

// With no free number the test ends, failed, with a message that says
// where it looked; it never goes on with port 0.
TEST(ReservedPort, NoFreeNumberEndsTheTestWithWhereItLooked) {
    ReservedPort held(2);
    const int n = held.number();
    auto span = [](int first, int last) { return std::to_string(first) + "-" + std::to_string(last); };
    const struct {
        int count;
        std::vector<PortSpan> spans;
        std::string message;
    } cases[] = {
        {1, {}, "no free port to reserve in none"},
        {1, {{n, n}}, "no free port to reserve in " + span(n, n)},
        {2, {{n, n + 1}}, "no 2 consecutive free ports to reserve in " + span(n, n + 1)},
        {3, {{n + 1, n + 1}}, "no 3 consecutive free ports to reserve in " + span(n + 1, n + 1)},
    };
    for (const auto& c : cases) {
        try {
            ReservedPort port(c.count, c.spans);
            ADD_FAILURE() << "reserved " << port.number();
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(c.message, e.what());
        }
    }
}

// A socket of either family, on any address or the loopback one, TCP or
// UDP, holds its port: it is never handed out. IPv6-only sockets are left
// out where the host has no IPv6.
TEST(ReservedPort, APortThatAnySocketHoldsIsNotHandedOut) {
    const struct {
        int family, type;
        const char* address;
    } holders[] = {
        {AF_INET, SOCK_STREAM, "0.0.0.0"}, {AF_INET, SOCK_STREAM, "127.0.0.1"},
        {AF_INET, SOCK_DGRAM, "127.0.0.1"}, {AF_INET6, SOCK_STREAM, "::"},
        {AF_INET6, SOCK_STREAM, "::1"},    {AF_INET6, SOCK_DGRAM, "::"},
        {AF_INET6, SOCK_DGRAM, "::1"},
    };
    // Closes the holder however its case ends: skipped, failed or done.
    struct Holder {
        Fd fd;
        ~Holder() { fd.close(); }
    };
    for (const auto& h : holders) {
        SCOPED_TRACE(std::string(h.address) + (h.type == SOCK_STREAM ? " TCP" : " UDP"));
        Holder holder{::socket(h.family, h.type | SOCK_CLOEXEC, 0)};
        if (!holder.fd && errno == EAFNOSUPPORT) continue;
        ASSERT_TRUE(holder.fd);
        int on = 1;
        if (h.family == AF_INET6) ::setsockopt(holder.fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        if (h.family == AF_INET6) {
            auto& a6 = reinterpret_cast<sockaddr_in6&>(a);
            a6.sin6_family = AF_INET6;
            ASSERT_EQ(1, ::inet_pton(AF_INET6, h.address, &a6.sin6_addr));
        } else {
            auto& a4 = reinterpret_cast<sockaddr_in&>(a);
            a4.sin_family = AF_INET;
            ASSERT_EQ(1, ::inet_pton(AF_INET, h.address, &a4.sin_addr));
        }
        int bound = ::bind(holder.fd.get(), reinterpret_cast<sockaddr*>(&a), len);
        if (bound != 0 && errno == EADDRNOTAVAIL) continue;  // no IPv6 loopback address here
        ASSERT_EQ(0, bound);
        ASSERT_EQ(0, ::getsockname(holder.fd.get(), reinterpret_cast<sockaddr*>(&a), &len));
        if (h.type == SOCK_STREAM) {
            ASSERT_EQ(0, ::listen(holder.fd.get(), 1));
        }
        int port = ntohs(h.family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(a).sin6_port
                                              : reinterpret_cast<sockaddr_in&>(a).sin_port);
        EXPECT_THROW(ReservedPort(1, {{port, port}}), std::runtime_error);
    }
}

// Processes reserving at the same moment from the same few numbers never
// hold the same one at once.
TEST(ReservedPort, TwoProcessesNeverHoldTheSameNumberAtOnce) {
    const int kProcesses = 4;
    const std::vector<PortSpan> outside = reservableSpans(kernelLocalPorts());
    ASSERT_FALSE(outside.empty()) << "no ports outside the kernel's local port range";
    const int first = outside.front().first;
    const std::vector<PortSpan> spans = {{first, std::min(first + 31, outside.front().last)}};
    int go[2], release[2];
    ASSERT_EQ(0, ::pipe2(go, O_CLOEXEC));
    ASSERT_EQ(0, ::pipe2(release, O_CLOEXEC));
    std::vector<pid_t> children;
    std::vector<int> lists;
    for (int i = 0; i < kProcesses; ++i) {
        int list[2];
        ASSERT_EQ(0, ::pipe2(list, O_CLOEXEC));
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // All start together, each reserves what it can and holds it
            // until every list has been read.
            ::close(go[1]);
            ::close(release[1]);
            char c;
            if (::read(go[0], &c, 1) < 0) _exit(1);
            std::list<ReservedPort> held;
            try {
                for (;;) held.emplace_back(1, spans);
            } catch (const std::runtime_error&) {
            }
            std::string numbers;
            for (const ReservedPort& p : held) numbers += std::to_string(p.number()) + " ";
            if (::write(list[1], numbers.data(), numbers.size()) != ssize_t(numbers.size())) _exit(1);
            ::close(list[1]);
            if (::read(release[0], &c, 1) < 0) _exit(1);
            _exit(0);
        }
        ::close(list[1]);
        children.push_back(child);
        lists.push_back(list[0]);
    }
    ::close(go[1]);  // go: every child's read ends
    std::multiset<int> numbers;
    for (int fd : lists) {
        std::string text;
        char buf[512];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, size_t(n));
        ::close(fd);
        std::istringstream in(text);
        for (int n; in >> n;) numbers.insert(n);
    }
    ::close(release[1]);
    for (pid_t child : children) {
        int status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(0, status);
    }
    ::close(go[0]);
    ::close(release[0]);
    EXPECT_FALSE(numbers.empty());
    for (int n : numbers) {
        EXPECT_EQ(1u, numbers.count(n)) << n << " held twice";
    }
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
