#include "protocol/acceptor.h"

#include <netinet/tcp.h>

#include <iostream>

#include "runtime/event.h"
#include "tests/protocol/connection_harness.h"
#include "tests/support/capture.h"
#include "tests/support/daemon_process.h"
#include "tests/support/test_clock.h"

namespace {

using Control::AcceptorNetCheckConnection;
using Control::Service;

// The control port's acceptor whose TCP_INFO readings the test decides; it
// notes the keep-alive idle time of the watched socket at every reading.
struct ScriptedAcceptor : AcceptorNetCheckConnection {
    using AcceptorNetCheckConnection::AcceptorNetCheckConnection;
    bool QueryTcpInfo(Fd fd, TcpInfo& out) override {
        int idle = 0;
        socklen_t len = sizeof idle;
        ::getsockopt(fd.get(), IPPROTO_TCP, TCP_KEEPIDLE, &idle, &len);
        keepidle.push_back(idle);
        out = info;
        return true;
    }
    TcpInfo info = [] {
        TcpInfo i;
        i.state = 1;
        return i;
    }();
    std::vector<int> keepidle;
};

template <class Acceptor = AcceptorNetCheckConnection>
class AcceptorTest : public PoolTest {
protected:
    void SetUp() override {
        acceptor.service_name("server");
        acceptor.Bind(&owner);
    }
    void TearDown() override {
        acceptor.Deactivate();
        acceptor.UnBind();
        PoolTest::TearDown();
    }
    Peer admitted() {
        int before = owner.connects;
        Peer p = Peer::tcp(port);
        EXPECT_TRUE(pumpUntil([&] { return owner.connects == before + 1; }));
        return p;
    }
    void exchange(Peer& p, const Bytes& payload) {
        size_t before = owner.messages.size();
        p.send(frame(payload));
        ASSERT_TRUE(pumpUntil([&] { return owner.messages.size() == before + 1; }));
        EXPECT_EQ(payload, owner.messages.back());
        EXPECT_TRUE(
            acceptor.Send(reinterpret_cast<const char*>(payload.data()), int(payload.size())));
        EXPECT_EQ(frame(payload), p.take(payload.size() + 4));
    }

    TestClock clock;
    StreamCapture out{std::cout};
    StreamCapture err{std::cerr};
    ReservedPort port;
    Acceptor acceptor{port};
    Recorder owner;
};

typedef AcceptorTest<> ControlAcceptor;
typedef AcceptorTest<ScriptedAcceptor> WatchedAcceptor;

TEST_F(ControlAcceptor, ControllerExchangesMessagesAndIsToldOneConnectAndOneDisconnect) {
    ASSERT_TRUE(acceptor.Activate());
    EXPECT_FALSE(acceptor.Send("x", 1));
    EXPECT_EQ("Control::Service::Send() ignore Send request in Connecting state.\n", err.text());
    Peer controller = admitted();
    EXPECT_EQ(Service::Connected, acceptor.GetState());
    EXPECT_EQ(0u, out.text().find("new connection from 127.0.0.1:")) << out.text();
    // Three frames in one write, one of them empty, and one large.
    controller.send(frame({1, 2, 3}) + frame({}) + frame(Bytes(30000, 7)));
    ASSERT_TRUE(pumpUntil([&] { return owner.messages.size() == 3; }));
    EXPECT_EQ((std::vector<Bytes>{{1, 2, 3}, {}, Bytes(30000, 7)}), owner.messages);
    exchange(controller, {0x0A, 0x0B, 0x0C});

    controller.close();
    ASSERT_TRUE(pumpUntil([&] { return owner.disconnects == 1; }));
    pumpPasses(5);
    EXPECT_EQ(1, owner.connects);
    EXPECT_EQ(1, owner.disconnects);
    EXPECT_EQ(Service::Connecting, acceptor.GetState());
    EXPECT_NE(std::string::npos,
              err.text().find("control connection " + acceptor.GetConnectionName() + " closed."));
}

// The owner drops the connection (as the heartbeat does): what arrives
// meanwhile is not delivered, and every copy of the socket is closed so
// the controller learns of it.
TEST_F(ControlAcceptor, DisconnectByTheOwnerReachesThePeer) {
    ASSERT_TRUE(acceptor.Activate());
    Peer controller = admitted();
    owner.onMessage = [&] { acceptor.Disconnect(); };
    controller.send(frame({1}) + frame({2}));
    EXPECT_TRUE(controller.closedByPeer());
    EXPECT_EQ((std::vector<Bytes>{{1}}), owner.messages);
    EXPECT_EQ(1, owner.disconnects);
    owner.onMessage = nullptr;
    acceptor.Disconnect();  // nothing connected: nothing to tell
    pumpPasses(3);
    EXPECT_EQ(1, owner.disconnects);
    Peer next = admitted();
    exchange(next, {9});
}

TEST_F(ControlAcceptor, SecondClientIsRefusedWhileTheFirstWorksOn) {
    ASSERT_TRUE(acceptor.Activate());
    Peer first = admitted();
    for (int i = 0; i < 3; ++i) {
        Peer knocking = Peer::tcp(port);
        EXPECT_TRUE(knocking.closedByPeer());
    }
    EXPECT_EQ(3u, count(err.text(), "refuse connection from 127.0.0.1:"));
    EXPECT_EQ(1u, count(err.text(), "CheckConnectionState CheckConnection"));
    exchange(first, {1, 2});
    // The first controller's congestion state is open: the watch ends.
    advanceAndPump(clock, 1000, 1000);
    EXPECT_EQ(AcceptorNetCheckConnection::CheckState::Idle, acceptor.GetCheckState());
    EXPECT_EQ(1u, count(err.text(), "CheckConnectionState Idle"));
    exchange(first, {3});
    first.close();
    ASSERT_TRUE(pumpUntil([&] { return owner.disconnects == 1; }));
    Peer second = admitted();
    exchange(second, {4});
    EXPECT_EQ(2, owner.connects);
}

// A busy port, and then running out of descriptors: creating the socket is
// retried like binding, and a client that cannot be accepted yet waits in
// the backlog without the listener spinning on it. (Besides, the sanitizer's
// type check needs a pipe the first time it meets a type: every type met
// while descriptors are out is met before.)
TEST_F(ControlAcceptor, BusyPortAndRunningOutOfDescriptorsAreWaitedOut) {
    Fd blocker = listenOn(port);
    const std::string waiting = "can't bind to socket: \"Address already in use\"  waiting...\n";
    ASSERT_TRUE(acceptor.Activate());
    advanceAndPump(clock, 4999, 100);
    EXPECT_EQ(waiting, err.text());
    advanceAndPump(clock, 1, 1);
    EXPECT_EQ(waiting + waiting, err.text());
    blocker.close();
    EXPECT_FALSE(acceptor.Listening());
    advanceAndPump(clock, 5000, 1000);
    ASSERT_TRUE(acceptor.Listening());
    Peer first = admitted();
    exchange(first, {0});
    first.close();
    ASSERT_TRUE(pumpUntil([&] { return owner.disconnects == 1; }));
    acceptor.Deactivate();
    err.clear();

    {
        DescriptorLimit limit;
        ASSERT_TRUE(acceptor.Activate());
    }
    EXPECT_EQ(0u, err.text().find("can't create socket:Too many open files")) << err.text();
    advanceAndPump(clock, 5000, 1000);
    ASSERT_TRUE(acceptor.Listening());

    unsigned handlers = multiplexer.handlerCount();
    Fd client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    {
        DescriptorLimit limit;
        sockaddr_in a = loopback(port);
        ASSERT_EQ(0, ::connect(client.get(), reinterpret_cast<sockaddr*>(&a), sizeof a));
        ASSERT_TRUE(pumpUntil([&] { return !acceptor.Listening(); }));
        EXPECT_EQ(handlers - 1, multiplexer.handlerCount());
        EXPECT_NE(std::string::npos,
                  err.text().find("can't accept connection: \"Too many open files\"  waiting..."));
        EXPECT_EQ(1, owner.connects);
    }
    advanceAndPump(clock, 5000, 1000);
    ASSERT_TRUE(pumpUntil([&] { return owner.connects == 2; }));
    Peer controller(client);
    exchange(controller, {6});
}

// A client that knocks in the pass in which the connection is lost stays
// in the backlog until the service has wound down, and is then admitted.
TEST_F(ControlAcceptor, ClientKnockingWhileTheServiceWindsDownIsAdmittedAfter) {
    // Serviced before the acceptor's descriptors, because registered first.
    SocketPair trigger;
    struct Dropper {
        Service* service;
        void OnEvent(int fd, short revents) {
            char c;
            if ((revents & POLLIN) && ::read(fd, &c, 1) == 1) service->Disconnect();
        }
    } dropper{&acceptor};
    Event event;
    event.Bind("test::drop", &Dropper::OnEvent, &dropper);
    event.Schedule(trigger.ours, POLLIN);

    ASSERT_TRUE(acceptor.Activate());
    Peer first = admitted();
    Peer second = Peer::tcp(port);  // complete in the kernel's backlog
    trigger.write_peer({1});
    ASSERT_TRUE(pumpUntil([&] { return owner.connects == 2; }));
    EXPECT_EQ(1, owner.disconnects);
    EXPECT_TRUE(first.closedByPeer());
    EXPECT_EQ(0u, count(err.text(), "refuse connection from"));
    exchange(second, {7});
}

// A controller that hangs up, and its successor knocking before the loop has
// seen the hang-up: what the first sent before is still delivered, and the
// successor waits in the backlog until the connection is released rather
// than be refused.
TEST_F(ControlAcceptor, ClientKnockingAfterTheControllerHungUpIsAdmittedNotRefused) {
    ASSERT_TRUE(acceptor.Activate());
    Peer first = admitted();
    first.send(frame({1}));
    first.close();
    Peer second = Peer::tcp(port);
    ASSERT_TRUE(pumpUntil([&] { return owner.connects == 2; }));
    EXPECT_EQ((std::vector<Bytes>{{1}}), owner.messages);
    EXPECT_EQ(1, owner.disconnects);
    EXPECT_EQ(0u, count(err.text(), "refuse connection from"));
    exchange(second, {2});
}

TEST_F(WatchedAcceptor, RefusalWatchesTheControllerAndDropsItWhenStuck) {
    ASSERT_TRUE(acceptor.Activate());
    Peer controller = admitted();
    // Congested at the first check after a refusal, open again at the next:
    // the watch ends and the normal keep-alive is back.
    acceptor.info.ca_state = 4;
    EXPECT_TRUE(Peer::tcp(port).closedByPeer());
    advanceAndPump(clock, 1000, 1000);
    EXPECT_EQ(1, acceptor.keepidle.back());
    acceptor.info.ca_state = 0;
    advanceAndPump(clock, 1000, 1000);
    EXPECT_EQ(AcceptorNetCheckConnection::CheckState::Idle, acceptor.GetCheckState());
    advanceAndPump(clock, 1000, 1000);
    EXPECT_EQ(7200, acceptor.keepidle.back());
    exchange(controller, {1});

    // Congested at both checks after a refusal: dropped at the second.
    acceptor.info.ca_state = 4;
    EXPECT_TRUE(Peer::tcp(port).closedByPeer());
    advanceAndPump(clock, 1000, 1000);
    EXPECT_EQ(Service::Connected, acceptor.GetState());
    err.clear();
    advanceAndPump(clock, 1000, 1000);
    const std::string name = acceptor.GetConnectionName();
    EXPECT_EQ("connection from " + name +
                  " closed: tcp socket change ca_state.\ncontrol connection " + name +
                  " closed.\nCheckConnectionState Idle\n",
              err.text());
    EXPECT_TRUE(controller.closedByPeer());
    EXPECT_EQ(1, owner.disconnects);
    acceptor.info.ca_state = 0;
    Peer next = admitted();
    exchange(next, {2});

    // A connection whose TCP state leaves established goes at the next check.
    acceptor.info.state = 8;  // close-wait
    advanceAndPump(clock, 1000, 1000);
    EXPECT_NE(std::string::npos, err.text().find(" closed: tcp socket change state.\n"));
    EXPECT_TRUE(next.closedByPeer());
    EXPECT_EQ(2, owner.disconnects);
}

// A watch started by a refusal ends with the controller it was started for:
// the next controller is not dropped for the state of the old watch.
TEST_F(WatchedAcceptor, AWatchEndsWithItsConnection) {
    ASSERT_TRUE(acceptor.Activate());
    acceptor.info.ca_state = 4;  // every reading from now on is congested
    {
        Peer controller = admitted();
        EXPECT_TRUE(Peer::tcp(port).closedByPeer());
        EXPECT_EQ(AcceptorNetCheckConnection::CheckState::CheckConnection, acceptor.GetCheckState());
    }
    ASSERT_TRUE(pumpUntil([&] { return owner.disconnects == 1; }));
    EXPECT_EQ(AcceptorNetCheckConnection::CheckState::Idle, acceptor.GetCheckState());
    Peer next = admitted();
    advanceAndPump(clock, 3000, 1000);
    EXPECT_EQ(Service::Connected, acceptor.GetState());
    EXPECT_EQ(7200, acceptor.keepidle.back());
    exchange(next, {1});
}

}  // namespace
