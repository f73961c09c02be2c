#include "protocol/connector.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>

#include "protocol/acceptor.h"
#include "tests/protocol/connection_harness.h"
#include "tests/support/capture.h"
#include "tests/support/daemon_process.h"
#include "tests/support/test_clock.h"

namespace {

using Control::ConnectorNet;
using Control::Service;

class ConnectorTest : public PoolTest {
protected:
    void start(Service& s, Recorder& r) {
        s.Bind(&r);
        ASSERT_TRUE(s.Activate());
    }
    std::string refused() const {
        return "fail to connect to 127.0.0.1:" + std::to_string(port) + "\n";
    }
    // The next attempt, seen through `attempts`, comes exactly `ms` after
    // the one before.
    void expectNextAfter(unsigned ms, const std::function<size_t()>& attempts) {
        size_t before = attempts();
        clock.advance(ms - 1);
        pumpPasses(2);
        EXPECT_EQ(before, attempts()) << "early, waiting " << ms;
        clock.advance(1);
        EXPECT_TRUE(pumpUntil([&] { return attempts() > before; })) << "none after " << ms;
        EXPECT_EQ(before + 1, attempts());
    }
    void expectNextAfter(unsigned ms) {
        expectNextAfter(ms, [this] { return count(err.text(), refused()); });
    }

    TestClock clock;
    StreamCapture out{std::cout};
    StreamCapture err{std::cerr};
    StreamCapture log{std::clog};
    ReservedPort port;
};

TEST_F(ConnectorTest, FastRetriesThenLongWaitsByCause) {
    ConnectorNet connector("127.0.0.1", uint16_t(port));
    Recorder owner;
    start(connector, owner);
    ASSERT_TRUE(pumpUntil([&] { return count(err.text(), refused()) == 1; }));
    for (int i = 0; i < 7; ++i) expectNextAfter(1000);
    expectNextAfter(15000);  // hang-up while connecting
    expectNextAfter(15000);

    // A connection that completes with an error, as some systems report it.
    connector.TryConnect();
    ::poll(nullptr, 0, 50);  // the refusal of a local connect is immediate
    connector.OnSocketEvent(-1, POLLOUT);
    expectNextAfter(12000);

    // Deactivating cancels the retry; activating gives the fast ones again.
    connector.Deactivate();
    size_t seen = count(err.text(), refused());
    advanceAndPump(clock, 40000, 1000);
    EXPECT_EQ(seen, count(err.text(), refused()));
    ASSERT_TRUE(connector.Activate());
    ASSERT_TRUE(pumpUntil([&] { return count(err.text(), refused()) == seen + 1; }));
    for (int i = 0; i < 7; ++i) expectNextAfter(1000);
    expectNextAfter(15000);
    EXPECT_EQ(0, owner.connects);
    EXPECT_EQ(0, owner.disconnects);

    // Refused at once (no route to a broadcast address).
    ConnectorNet unroutable("255.255.255.255", 80);
    Recorder other;
    start(unroutable, other);
    auto immediate = [&] { return count(err.text(), "can't connect to 255.255.255.255:80 : "); };
    EXPECT_EQ(1u, immediate());
    for (int i = 0; i < 7; ++i) expectNextAfter(1000, immediate);
    expectNextAfter(20000, immediate);
}

TEST_F(ConnectorTest, ReconnectsTenSecondsAfterALossWithTheFastRetriesLeft) {
    ConnectorNet connector("127.0.0.1:" + std::to_string(port));
    Recorder owner;
    start(connector, owner);
    ASSERT_TRUE(pumpUntil([&] { return count(err.text(), refused()) == 1; }));
    expectNextAfter(1000);
    Fd listener = listenOn(port);
    clock.advance(1000);
    Fd accepted;
    ASSERT_TRUE(pumpUntil([&] {
        return bool(accepted = ::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    }));
    Peer agent(accepted);
    ASSERT_TRUE(pumpUntil([&] { return owner.connects == 1; }));
    EXPECT_NE(std::string::npos,
              out.text().find("connected to 127.0.0.1:" + std::to_string(port) + ".\n"));
    EXPECT_EQ("127.0.0.1:" + std::to_string(port), connector.GetConnectionName());
    agent.send(frame({1, 2}));
    ASSERT_TRUE(pumpUntil([&] { return owner.messages.size() == 1; }));
    EXPECT_TRUE(connector.Send("\x05", 1));
    EXPECT_EQ(frame({5}), agent.take(5));

    listener.close();
    agent.close();
    ASSERT_TRUE(pumpUntil([&] { return owner.disconnects == 1; }));
    EXPECT_EQ(Service::Connecting, connector.GetState());
    expectNextAfter(10000);
    for (int i = 0; i < 5; ++i) expectNextAfter(1000);
    expectNextAfter(15000);
    EXPECT_EQ(1, owner.connects);
    EXPECT_EQ(1, owner.disconnects);
}

// A private directory for local sockets.
struct TempDir {
    TempDir() {
        char name[] = "/tmp/korvand-unix-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~TempDir() { (void)std::system(("rm -rf " + path).c_str()); }
    std::string path;
};

bool isSocket(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

TEST_F(ConnectorTest, LocalSocketsLeaveOtherFilesAloneAndCarryMessages) {
    TempDir dir;
    const std::string path = dir.path + "/control";
    const std::string client = dir.path + "/client";
    std::ofstream(path) << "not a socket";
    Control::AcceptorUnix acceptor(path);
    Recorder server;
    start(acceptor, server);
    EXPECT_EQ(1u,
              count(err.text(), "can't bind to socket: \"Address already in use\"  waiting..."));
    EXPECT_FALSE(isSocket(path));

    // A socket left by an earlier run is replaced.
    ASSERT_EQ(0, ::unlink(path.c_str()));
    Control::AcceptorUnix earlier(path);
    ASSERT_TRUE(earlier.Activate());
    earlier.Deactivate();
    ASSERT_TRUE(isSocket(path));
    advanceAndPump(clock, 5000, 1000);
    ASSERT_TRUE(acceptor.Listening());

    Control::ConnectorUnix connector(path, client);
    Recorder agent;
    start(connector, agent);
    ASSERT_TRUE(pumpUntil([&] { return server.connects == 1 && agent.connects == 1; }));
    EXPECT_EQ("connected to " + path + "\n", log.text());
    EXPECT_EQ(client, acceptor.GetConnectionName());
    EXPECT_TRUE(connector.Send("\x01\x02", 2));
    EXPECT_TRUE(pumpUntil([&] { return server.messages.size() == 1; }));
    EXPECT_TRUE(acceptor.Send("\x03", 1));
    EXPECT_TRUE(pumpUntil([&] { return agent.messages.size() == 1; }));
    EXPECT_EQ((std::vector<Bytes>{{1, 2}}), server.messages);
    EXPECT_EQ((std::vector<Bytes>{{3}}), agent.messages);

    // A path that sun_path cannot hold would name another file.
    Control::AcceptorUnix tooLong(dir.path + "/" + std::string(120, 'x'));
    EXPECT_FALSE(tooLong.Activate());
    EXPECT_EQ(Service::Idle, tooLong.GetState());
    Control::ConnectorUnix unreachable(path, dir.path + "/" + std::string(120, 'y'));
    EXPECT_FALSE(unreachable.Activate());
}

// A connector destroyed while its connect is in progress takes the socket
// with it: the peer sees the connection end.
TEST_F(ConnectorTest, DestroyedWhileConnectingClosesItsSocket) {
    Fd listener = listenOn(port);
    {
        ConnectorNet connector("127.0.0.1", uint16_t(port));
        ASSERT_TRUE(connector.Activate());
        EXPECT_EQ(Service::Connecting, connector.GetState());
    }
    Peer peer(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    EXPECT_TRUE(peer.closedByPeer());
    listener.close();
}

}  // namespace
