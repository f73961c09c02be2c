#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "runtime/syslog_manager.h"
#include "runtime/syslog_stream.h"
#include "tests/support/temp_root.h"

namespace {

// A log daemon's socket at "/dev/log" below the test root.
class Listener {
public:
    Listener(const TempRoot& root, int type) : path(root.path("/dev/log")) {
        fd = socket(AF_UNIX, type, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strcpy(a.sun_path, path.c_str());
        EXPECT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
        if (type == SOCK_STREAM) {
            EXPECT_EQ(0, listen(fd, 4));
        }
    }
    ~Listener() {
        if (conn >= 0) close(conn);
        close(fd);
        unlink(path.c_str());
    }
    // The next datagram (or stream bytes); empty when none came in `ms`.
    std::string next(int ms = 5000) {
        int from = conn >= 0 ? conn : fd;
        pollfd p = {from, POLLIN, 0};
        if (poll(&p, 1, ms) != 1) return "";
        std::vector<char> buf(65536);
        ssize_t n = recv(from, buf.data(), buf.size(), 0);
        return n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : "";
    }
    void accept() { conn = ::accept(fd, nullptr, nullptr); }

    std::string path;
    int fd = -1;
    int conn = -1;
};

// The process's syslog client is left closed and in its first state, so
// a later test neither writes to this test's socket nor counts its drops.
class SysLog : public ::testing::Test {
protected:
    void TearDown() override {
        syslogManager.closelog();
        syslogManager = SysLogManager();
    }
};

// "<pri>Mmm dd hh:mm:ss " then `rest`, ending in the terminating NUL.
void expectRecord(const std::string& got, int priority, const std::string& rest) {
    ASSERT_FALSE(got.empty());
    EXPECT_EQ('\0', got.back());
    std::regex form("<" + std::to_string(priority) +
                    ">[A-Z][a-z]{2} [ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] (.*)");
    std::smatch m;
    std::string text = got.substr(0, got.size() - 1);
    ASSERT_TRUE(std::regex_match(text, m, form)) << text;
    EXPECT_EQ(rest, m[1].str());
}

TEST_F(SysLog, EveryLineOfAFlushIsADatagramOfItsOwn) {
    TempRoot root;
    Listener daemon(root, SOCK_DGRAM);
    syslogManager.openlog("pelm-X", LOG_NDELAY, 0);
    ManagedSysLogStreamBuf buf(LOG_DAEMON, LOG_NOTICE);
    std::ostream os(&buf);
    os << "one\ntwo\npar" << std::flush;
    expectRecord(daemon.next(), 29, "pelm-X: one");
    expectRecord(daemon.next(), 29, "pelm-X: two");
    expectRecord(daemon.next(), 29, "pelm-X: par");
    os << "tial" << std::flush;  // a partial line waits
    EXPECT_EQ("", daemon.next(50));
    os << " line" << std::endl;
    expectRecord(daemon.next(), 29, "pelm-X: tial line");

    // 20000 characters leave in two pieces, each record cut to 1023.
    os << std::string(20000, 'x');
    std::string first = daemon.next();
    ASSERT_EQ(1024u, first.size());
    size_t text = first.find("pelm-X: ") + 8;
    expectRecord(first, 29, "pelm-X: " + std::string(first.size() - 1 - text, 'x'));
    os << std::endl;  // the rest, 3617 characters, ends its line
    EXPECT_EQ(1024u, daemon.next().size());
    EXPECT_EQ(0u, syslogManager.dropped());
}

TEST_F(SysLog, PriorityWithoutFacilityAndEmptyIdent) {
    TempRoot root;
    Listener daemon(root, SOCK_DGRAM);
    syslogManager.openlog("", LOG_NDELAY, 0);
    syslogManager.syslog(5, "%s", "text");
    syslogManager.sendmsg();
    expectRecord(daemon.next(), 13, "text");
}

TEST_F(SysLog, StalledDaemonCostsRecordsNotTheLoop) {
    TempRoot root;
    Listener daemon(root, SOCK_DGRAM);
    alarm(60);  // a blocking send ends the test instead of hanging it
    syslogManager.openlog("id", LOG_NDELAY, 0);
    ManagedSysLogStreamBuf buf(LOG_DAEMON, LOG_DEBUG);
    std::ostream os(&buf);
    const unsigned total = 3000;
    for (unsigned i = 0; i < total; ++i) os << i << std::endl;
    unsigned received = 0;
    for (std::string r; !(r = daemon.next(0)).empty(); ++received)
        expectRecord(r, 31, "id: " + std::to_string(received));
    EXPECT_GT(received, 0u);
    EXPECT_GT(syslogManager.dropped(), 0u);
    EXPECT_EQ(total, received + syslogManager.dropped());
    os << "after" << std::endl;
    expectRecord(daemon.next(), 31, "id: after");
    alarm(0);
}

TEST_F(SysLog, StreamSocketFallbackThenReconnectAfterRestart) {
    TempRoot root;
    auto daemon = std::make_unique<Listener>(root, SOCK_STREAM);
    syslogManager.openlog("id", LOG_NDELAY, 0);
    daemon->accept();
    ManagedSysLogStreamBuf buf(LOG_DAEMON, LOG_ERR);
    std::ostream os(&buf);
    os << "a\nb" << std::endl;
    std::string got;
    while (std::count(got.begin(), got.end(), '\0') < 2) {
        std::string more = daemon->next();
        ASSERT_FALSE(more.empty());
        got += more;
    }
    size_t split = got.find('\0') + 1;
    expectRecord(got.substr(0, split), 27, "id: a");
    expectRecord(got.substr(split), 27, "id: b");

    daemon.reset();  // the log daemon restarts on a datagram socket
    Listener restarted(root, SOCK_DGRAM);
    os << "c" << std::endl;
    expectRecord(restarted.next(), 27, "id: c");
}

TEST_F(SysLog, WithoutDaemonTheConsoleGetsTheRecord) {
    TempRoot root;
    root.writeFile("/dev/console", "");
    syslogManager.openlog("id", LOG_NDELAY | LOG_CONS, 0);
    syslogManager.syslog(LOG_DAEMON | LOG_ERR, "%s", "lost");
    EXPECT_EQ("id: lost\r\n", root.readFile("/dev/console"));
    EXPECT_EQ(1u, syslogManager.dropped());
}

}  // namespace
