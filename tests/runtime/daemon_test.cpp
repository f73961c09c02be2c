// Daemon mode runs in a helper program (tests/runtime/daemon_helper.cpp):
// detaching the test binary itself would end the test.

#include <dirent.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/version.h"
#include "tests/support/daemon_process.h"
#include "tests/support/temp_root.h"

namespace {

std::string ident() {
    std::ostringstream s;
    s << "pelm-" << Version::current;
    return s.str();
}

// Starts the helper, checks that the launcher returns at once and that the
// pid file names the detached daemon; returns the daemon's pid.
int startDaemon(const TempRoot& root, ChildProcess& launcher,
                const std::vector<std::string>& args) {
    EXPECT_TRUE(launcher.start(buildProgram("tests/runtime/daemon_helper"), args,
                               {"KORVAND_ROOT=" + root.dir()}));
    int status = launcher.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    int pid = 0;
    EXPECT_TRUE(waitFor(
        [&] { return (pid = std::atoi(root.readFile("/var/run/server.pid").c_str())) > 0; }));
    EXPECT_NE(launcher.pid(), pid);
    EXPECT_TRUE(pid > 0 && kill(pid, 0) == 0);
    return pid;
}

void stopDaemon(const TempRoot& root, int pid) {
    if (pid > 0) kill(pid, SIGTERM);
    EXPECT_TRUE(waitFor([&] { return !root.exists("/var/run/server.pid"); }));
}

// Everything in `text` that matches `re`, first group of each match.
std::vector<std::string> grab(const std::string& text, const std::regex& re) {
    std::vector<std::string> out;
    for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it)
        out.push_back((*it)[1]);
    return out;
}

TEST(DaemonMode, StreamsBecomeSyslogRecordsOfTheDaemonFacility) {
    TempRoot root;
    int log = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strcpy(a.sun_path, root.path("/dev/log").c_str());
    ASSERT_EQ(0, bind(log, reinterpret_cast<sockaddr*>(&a), sizeof a));

    ChildProcess launcher;
    int pid = startDaemon(root, launcher, {"syslog"});
    std::vector<std::string> got;
    char buf[2048];
    for (pollfd p = {log, POLLIN, 0}; got.size() < 4 && poll(&p, 1, 10000) == 1;) {
        ssize_t n = recv(log, buf, sizeof buf, 0);
        if (n > 0) got.emplace_back(buf, static_cast<size_t>(n));
    }
    stopDaemon(root, pid);
    close(log);

    ASSERT_EQ(4u, got.size());
    const char* expected[][2] = {{"29", "notice line"}, {"27", "error line"}, {"31", "debug line"}};
    for (int i = 0; i < 3; ++i) {
        std::regex form(std::string("<") + expected[i][0] +
                        ">[A-Z][a-z]{2} [ 1-3][0-9] \\d\\d:\\d\\d:\\d\\d " + ident() + ": " +
                        expected[i][1] + std::string(1, '\0'));
        EXPECT_TRUE(std::regex_match(got[i], form)) << got[i];
    }
    EXPECT_EQ("raw line\n", got[3]);  // descriptor 1 is the log socket itself
}

// The lines of every hourly file, without their "mm:ss:uuuuu: " prefix.
std::vector<std::string> logFileLines(const TempRoot& root) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(root.path("/var/log").c_str())) {
        while (dirent* e = readdir(dir))
            if (std::regex_match(e->d_name, std::regex("\\d{4}_\\d\\d_\\d\\d-\\d\\d\\.log")))
                names.push_back(e->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& n : names) text += root.readFile("/var/log/" + n);
    return grab(text, std::regex("\\d\\d:\\d\\d:\\d{5,6}: (.*)\n"));
}

TEST(DaemonMode, HourlyLogFilesTakeEveryStream) {
    TempRoot root;
    ChildProcess launcher;
    int pid = startDaemon(root, launcher, {"files", "/var/log"});
    std::vector<std::string> expected = {"notice line", "error line", "debug line"};
    EXPECT_TRUE(waitFor([&] { return logFileLines(root) == expected; }, 10000));
    stopDaemon(root, pid);
    EXPECT_EQ(expected, logFileLines(root));
}

// rsyslogd from the distribution, on a private socket and configuration.
TEST(DaemonMode, RealSyslogDaemonLogsEveryRecordOnItsOwn) {
    TempRoot root;
    root.writeFile("/rsyslog/work/.keep", "");
    root.writeFile("/rsyslog.conf",
                   "global(workDirectory=\"" + root.path("/rsyslog/work") +
                       "\")\n"
                       "module(load=\"imuxsock\" SysSock.Use=\"off\")\n"
                       "input(type=\"imuxsock\" Socket=\"" +
                       root.path("/dev/log") +
                       "\" RateLimit.Interval=\"0\")\n"
                       "template(name=\"rec\" type=\"string\" "
                       "string=\"%syslogfacility%|%syslogseverity%|%syslogtag%|%msg%\\n\")\n"
                       "action(type=\"omfile\" file=\"" +
                       root.path("/rsyslog.out") + "\" template=\"rec\")\n");
    ChildProcess rsyslogd;
    ASSERT_TRUE(rsyslogd.start("/usr/sbin/rsyslogd", {"-n", "-f", root.path("/rsyslog.conf"), "-i",
                                                      root.path("/rsyslog/pid")}));
    ASSERT_TRUE(waitFor([&] { return root.exists("/dev/log"); }, 10000))
        << "rsyslogd did not open its socket: " << rsyslogd.err();

    ChildProcess launcher;
    int pid = startDaemon(root, launcher, {"syslog"});
    std::regex ours("(\\d+\\|\\d+\\|pelm-.*)\n");
    EXPECT_TRUE(
        waitFor([&] { return grab(root.readFile("/rsyslog.out"), ours).size() >= 3; }, 10000));
    stopDaemon(root, pid);
    rsyslogd.signal(SIGTERM);
    rsyslogd.wait();

    std::vector<std::string> expected = {"3|5|" + ident() + ":| notice line",
                                         "3|3|" + ident() + ":| error line",
                                         "3|7|" + ident() + ":| debug line"};
    EXPECT_EQ(expected, grab(root.readFile("/rsyslog.out"), ours)) << root.readFile("/rsyslog.out");
}

}  // namespace
