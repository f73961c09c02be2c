// The daemon's life as a process: its pid file, daemon mode with syslog,
// the signals that dump its status, report its resources and stop it.

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "board/sim_board.h"
#include "runtime/directory_lock.h"
#include "tests/e2e/daemon_fixture.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/sim_command.h"
#include "tools/lgcpc/client.h"

namespace {

using Texts = std::vector<std::string>;

class Lifecycle : public RunningDaemon {
protected:
    void connect() {
        std::string error;
        ASSERT_TRUE(client.Connect("127.0.0.1", uint16_t(port), error)) << error;
        ASSERT_TRUE(client.WaitFor(4));
    }
    Texts request(int slot, const std::string& cmd) {
        return answers(client, "{ seq 1, slot " + std::to_string(slot) + ", pdu command : " + cmd + " }");
    }
    std::string status() const { return root.readFile("/var/log/server-status"); }

    Lgcpc::Client client;
};

TEST_F(Lifecycle, Sigusr2RewritesTheStatusDump) {
    const std::string head = "server status information.\nversion : " + versionText() + "\n" +
                             "dpc transition measurement (min/max/cur/counter): ";
    // The port listens before the loop's first pass, and a dump lists the
    // handlers as the last pass began: none in the first. A controller's
    // statuses show that the loop has polled the listener.
    connect();
    korvand.signal(SIGUSR2);
    ASSERT_TRUE(waitFor([&] { return status().find("+\n\n") != std::string::npos; })) << korvand.err();
    std::string dump = status();
    EXPECT_EQ(0u, dump.find(head)) << dump;
    // The loop's table holds the control port's listener.
    EXPECT_NE(std::string::npos, dump.find("AcceptorNet::OnSocketEvent")) << dump;

    // Rewritten, not appended to.
    root.writeFile("/var/log/server-status", "stale\n" + std::string(8192, 'x'));
    korvand.signal(SIGUSR2);
    ASSERT_TRUE(waitFor([&] { return status().find(head) == 0; })) << status().substr(0, 100);
    ASSERT_TRUE(waitFor([&] { return status().find("+\n\n") != std::string::npos; }));
    EXPECT_EQ(std::string::npos, status().find("stale"));

    // Nowhere to write it.
    ASSERT_EQ(0, system(("rm -rf '" + root.path("/var/log") + "'").c_str()));
    korvand.signal(SIGUSR2);
    EXPECT_TRUE(waitFor([&] { return korvand.err().find("dump status error\n") != std::string::npos; }));
    EXPECT_TRUE(korvand.running());
}

TEST_F(Lifecycle, SighupReportsTheResourcesToTheController) {
    connect();
    // The report is the one a `query` command brings.
    Texts answer = answers(client, "{ seq 3, pdu command : query : NULL }");
    std::string report;
    for (const std::string& m : answer)
        if (m.find("signal : query") != std::string::npos) report = m;
    ASSERT_NE("", report);
    size_t before = client.Received().size();
    korvand.signal(SIGHUP);
    EXPECT_TRUE(waitFor([&] {
        client.Listen(10);
        for (size_t i = before; i < client.Received().size(); ++i)
            if (client.Received()[i] == report) return true;
        return false;
    }));
    EXPECT_NE(std::string::npos, korvand.err().find("update hardware resources\n"));
}

TEST_F(Lifecycle, SigtermWithAControllerDestroysEverySlotAndRemovesThePidFile) {
    ASSERT_TRUE(waitFor([&] { return root.readFile("/var/run/server.pid") == std::to_string(korvand.pid()); }));
    connect();
    request(1, "create : trunk : { trunk 0, timeslot 1 }");
    request(2, "create : trunk : { trunk 0, timeslot 2 }");
    request(3, "create : trunk_bri : { trunk 1, timeslot 1 }");
    request(4, "create : trunk : { trunk 1, timeslot 7 }");
    ASSERT_EQ(Texts{LgcpTexts::ok(1)}, request(1, "connect : 2"));
    ASSERT_EQ(Texts{LgcpTexts::ok(3)}, request(3, "connect : 4"));

    korvand.signal(SIGTERM);
    EXPECT_TRUE(client.WaitForClose());
    int status = korvand.wait();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_FALSE(root.exists("/var/run/server.pid"));
    // Both links went with their slots, after the loop ended.
    std::string err = korvand.err();
    size_t end = err.find("Mux: terminating...\n");
    ASSERT_NE(std::string::npos, end) << err;
    EXPECT_NE(std::string::npos, err.find("mux: disconnect slot 02:trunk [2]\n", end)) << err;
    EXPECT_NE(std::string::npos, err.find("mux: disconnect slot 04:trunk [39]\n", end)) << err;
}

TEST(Daemon, DrivesTheWatchdogOfTheSimulatedBoard) {
    TempRoot root;
    ChildProcess korvand;
    ReservedPort port;
    ASSERT_TRUE(startKorvand(korvand, root.dir(), {"--port", std::to_string(port)}));
    std::string records;
    // A second pass of the loop feeds the watchdog again after a second.
    EXPECT_TRUE(waitFor(
        [&] {
            records = simCommand(root.dir(), "/dev/misc/gw-wd records");
            return records.rfind("START PING PING", 0) == 0;
        },
        5000))
        << records << korvand.err();
    EXPECT_EQ("error: no device /dev/none", simCommand(root.dir(), "/dev/none x"));
    korvand.signal(SIGINT);
    ASSERT_EQ(0, korvand.wait());
}

// A datagram socket bound at a path: the stand-in for the log daemon at
// "/dev/log" of a root, or, once closed, the file that a killed daemon
// leaves at its board's control socket.
class DatagramListener {
public:
    explicit DatagramListener(const std::string& path) {
        fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un a;
        std::memset(&a, 0, sizeof a);
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
        bound = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~DatagramListener() { close(fd); }
    // Collects the records waiting now.
    void drain() {
        char buf[2048];
        for (ssize_t n; (n = recv(fd, buf, sizeof buf, MSG_DONTWAIT)) > 0;) records.append(buf, size_t(n)).append("\n");
    }
    // Collects records until one holds `text`, for up to `ms`.
    bool waitFor(const std::string& text, int ms = 5000) {
        for (int waited = 0; waited < ms; waited += 10) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            drain();
            if (records.find(text) != std::string::npos) return true;
        }
        return false;
    }
    int fd;
    bool bound;
    std::string records;
};

TEST(Daemon, DetachedItPublishesItsOwnPidAndLogsToSyslog) {
    // The detached daemon becomes our child when its launcher ends, so that
    // its exit can be collected.
    ASSERT_EQ(0, prctl(PR_SET_CHILD_SUBREAPER, 1));
    TempRoot root;
    DatagramListener syslog(root.path("/dev/log"));
    ASSERT_TRUE(syslog.bound);
    ReservedPort port;
    ChildProcess launcher;
    ASSERT_TRUE(startKorvand(launcher, root.dir(), {"--daemon", "--port", std::to_string(port)}));
    EXPECT_EQ(0, launcher.wait());

    pid_t daemon = 0;
    ASSERT_TRUE(waitFor([&] {
        daemon = atoi(root.readFile("/var/run/server.pid").c_str());
        return daemon > 0;
    }));
    struct Reaper {
        ~Reaper() {
            if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
        pid_t pid;
    } reaper{daemon};
    EXPECT_NE(launcher.pid(), daemon);
    EXPECT_EQ(0, kill(daemon, 0));

    const std::string version = versionText();
    EXPECT_TRUE(syslog.waitFor("pelm-" + version + ": Starting server [" + version + "], port=" + std::to_string(port)))
        << syslog.records;
    EXPECT_EQ(0u, syslog.records.find("<29>")) << syslog.records;
    EXPECT_EQ("", launcher.out());
    // The records are collected as they come: a full queue would drop them.
    ASSERT_TRUE(waitFor([&] {
        syslog.drain();
        return listensOn(daemon, port);
    }));

    kill(daemon, SIGTERM);
    int status = -1;
    ASSERT_TRUE(waitFor([&] {
        syslog.drain();
        return waitpid(daemon, &status, WNOHANG) == daemon;
    }));
    reaper.pid = 0;
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_FALSE(root.exists("/var/run/server.pid"));
    // Its board's final check, at its very end, goes to syslog too.
    syslog.drain();
    EXPECT_NE(std::string::npos, syslog.records.find("Mux: terminating...")) << syslog.records;
    EXPECT_FALSE(boardReported(syslog.records)) << syslog.records;
}

// The inode of each file below the root, 0 for one that is missing.
std::vector<ino_t> inodes(const TempRoot& root, const std::vector<std::string>& files) {
    std::vector<ino_t> found;
    for (const std::string& f : files) {
        struct stat st;
        found.push_back(lstat(root.path(f).c_str(), &st) == 0 ? st.st_ino : 0);
    }
    return found;
}

TEST_F(Lifecycle, ASecondDaemonOnTheSameRootEndsAtOnceAndLeavesTheFirstItsBoardAndFiles) {
    const std::string pid = std::to_string(korvand.pid());
    ASSERT_TRUE(waitFor([&] { return root.readFile("/var/run/server.pid") == pid; }));
    // The power and DIP files are written once, by the first checks; the
    // top-level monitoring files are what a start and an exit remove.
    const std::vector<std::string> files = {"/var/run/server.pid", kSimControlPath,
                                            "/var/monitoring/powerstatus", "/var/monitoring/dip"};
    ASSERT_TRUE(waitFor([&] {
        std::vector<ino_t> now = inodes(root, files);
        return std::count(now.begin(), now.end(), ino_t(0)) == 0;
    })) << korvand.err();
    const std::vector<ino_t> before = inodes(root, files);

    // It would never get the port; it must end before it tries.
    ChildProcess second;
    ASSERT_TRUE(startKorvand(second, root.dir(), {"--port", std::to_string(port)}));
    int status = second.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
    EXPECT_NE(std::string::npos, second.err().find(root.path(kSimControlPath))) << second.err();
    EXPECT_EQ("", second.out());

    // The first keeps its board and the very files it wrote.
    std::string clock = simCommand(root.dir(), "/dev/hal clock");
    EXPECT_EQ(0u, clock.find("source ")) << clock;
    EXPECT_EQ(pid, root.readFile("/var/run/server.pid"));
    EXPECT_EQ(before, inodes(root, files));
    EXPECT_FALSE(root.exists("/var/log/server-status"));
    EXPECT_TRUE(korvand.running());
}

// Starts a shell that says "ready" and, given a line, becomes korvand on
// the simulated board of `root` with `args`.
bool startKorvandOnALine(ChildProcess& p, const std::string& root, const std::vector<std::string>& args) {
    std::vector<std::string> line = {"-c", "echo ready; read -r go; exec \"$0\" \"$@\"", buildProgram("korvand")};
    line.insert(line.end(), args.begin(), args.end());
    return p.startFed("/bin/sh", line, korvandEnvironment(root));
}

// Two daemons started at the same moment on one root: whichever comes
// second to the root ends at once, though the other's board may not be
// bound yet, and the first keeps the root to its end. Both are let go at
// once; several pairs are tried, as the moments differ from pair to pair.
TEST(Daemon, OfTwoStartedTogetherOnOneRootOneEndsAtOnceAndTheOtherKeepsTheRoot) {
    for (int pair = 0; pair < 8; ++pair) {
        SCOPED_TRACE("pair " + std::to_string(pair));
        TempRoot root;
        ReservedPort port;
        ChildProcess one, other;
        const std::vector<std::string> args = {"--port", std::to_string(port)};
        ASSERT_TRUE(startKorvandOnALine(one, root.dir(), args));
        ASSERT_TRUE(startKorvandOnALine(other, root.dir(), args));
        ASSERT_TRUE(waitFor([&] { return one.out() == "ready\n" && other.out() == "ready\n"; }));
        ASSERT_TRUE(one.feed("\n") && other.feed("\n"));
        ASSERT_TRUE(waitFor([&] { return !one.running() || !other.running(); }, 15000))
            << "both run\n" << one.err() << other.err();
        ChildProcess& refused = one.running() ? other : one;
        ChildProcess& kept = one.running() ? one : other;
        int status = refused.wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << refused.err();
        EXPECT_NE(std::string::npos, refused.err().find(root.path(kSimControlPath))) << refused.err();
        EXPECT_EQ("ready\n", refused.out());

        ASSERT_TRUE(listensItself(kept, port)) << kept.err();
        const std::string pid = std::to_string(kept.pid());
        EXPECT_TRUE(waitFor([&] { return root.readFile("/var/run/server.pid") == pid; }));
        std::string clock = simCommand(root.dir(), "/dev/hal clock");
        EXPECT_EQ(0u, clock.find("source ")) << clock;
        stopDaemon(kept);
        EXPECT_FALSE(root.exists("/var/run/server.pid"));
    }
}

// A refused start says what it found, the root's lock held or a board
// answering at its socket, names that socket either way, and ends before
// it writes anything.
TEST(Daemon, ARefusedStartSaysWhetherItFoundTheRootsLockOrABoard) {
    const struct {
        bool lock;
        std::string before, after;
    } cases[] = {
        {true, "the root's lock is held by another daemon, whose simulated board is at ", "\n"},
        {false, "a simulated board already answers at ", ": another daemon runs on this root\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        TempRoot root;
        std::unique_ptr<DirectoryLock> lock;
        std::unique_ptr<DatagramListener> board;
        if (c.lock)
            lock.reset(new DirectoryLock(root.dir()));
        else
            board.reset(new DatagramListener(root.path(kSimControlPath)));
        ASSERT_TRUE(c.lock ? lock->held() : board->bound);
        ReservedPort port;
        ChildProcess refused;
        ASSERT_TRUE(startKorvand(refused, root.dir(), {"--port", std::to_string(port)}));
        int status = refused.wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << refused.err();
        EXPECT_EQ(c.before + root.path(kSimControlPath) + c.after, refused.err());
        EXPECT_EQ("", refused.out());
        EXPECT_FALSE(root.exists("/var/run/server.pid"));
    }
}

// A daemon killed while a program it started waits to exec (the fax
// receiver waits a second) leaves the root, its board's socket and its
// port to the next start at once.
TEST_F(Lifecycle, KilledWhileItsFaxReceiverWaitsItLeavesTheRootToTheNextStart) {
    connect();
    ASSERT_EQ(Texts{LgcpTexts::ok(1)}, request(1, "create : modem : { cid \"\", cdid \"\", fax NULL }"));
    request(2, "create : trunk : { trunk 0, timeslot 1 }");
    request(1, "connect : 2");
    ASSERT_TRUE(waitFor([&] { return korvand.err().find("fax receiver executed") != std::string::npos; }))
        << korvand.err();
    korvand.signal(SIGKILL);
    korvand.wait();

    ChildProcess next;
    ASSERT_TRUE(startKorvand(next, root.dir(), {"--port", std::to_string(port)}));
    EXPECT_TRUE(listensItself(next, port)) << next.err();
    std::string clock = simCommand(root.dir(), "/dev/hal clock");
    EXPECT_EQ(0u, clock.find("source ")) << clock;
    stopDaemon(next);
}

// A killed daemon leaves its board's socket file behind, with nobody
// answering at it: the next start takes its place.
class StaleBoardSocket : public Lifecycle {
protected:
    StaleBoardSocket() { left = DatagramListener(root.path(kSimControlPath)).bound; }
    bool left;
};

TEST_F(StaleBoardSocket, DoesNotStopTheStart) {
    ASSERT_TRUE(left);
    // The daemon listens (SetUp waited for it) and its board answers.
    std::string clock = simCommand(root.dir(), "/dev/hal clock");
    EXPECT_EQ(0u, clock.find("source ")) << clock;
}

}  // namespace
