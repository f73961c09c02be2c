#include <fcntl.h>
#include <sys/mman.h>

#include "protocol/async_connect.h"
#include "protocol/async_copy.h"
#include "tests/protocol/connection_harness.h"
#include "tests/support/daemon_process.h"
#include "tests/support/test_clock.h"

namespace {

using ASync::Connect;
using ASync::Copy;

Bytes pattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 13 + i / 256);
    return b;
}

// A readable file in memory holding `content`.
Fd memoryFile(const Bytes& content) {
    Fd f = ::memfd_create("copy-source", MFD_CLOEXEC);
    EXPECT_EQ(ssize_t(content.size()), ::write(f.get(), content.data(), content.size()));
    ::lseek(f.get(), 0, SEEK_SET);
    return f;
}

void shrinkSendBuffer(Fd fd) {
    int size = 4096;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
}

// Reads from the peer end of `pair` whatever is there, at most `limit`.
void readSome(const SocketPair& pair, Bytes& got, size_t limit) {
    uint8_t buf[65536];
    ssize_t n = ::recv(pair.peer.get(), buf, std::min(limit, sizeof buf), MSG_DONTWAIT);
    if (n > 0) got.insert(got.end(), buf, buf + n);
}

class CopyTest : public ::testing::Test {
protected:
    void SetUp() override { copy.Bind(this, &CopyTest::OnDone); }
    void OnDone(Copy::Status::Type s) { done.push_back(s); }

    Copy copy;
    std::vector<Copy::Status::Type> done;
};

TEST_F(CopyTest, SlowReaderGetsEveryByteInOrder) {
    Bytes data = pattern(200000);
    Fd source = memoryFile(data);
    SocketPair out;
    shrinkSendBuffer(out.ours);
    copy.set_bufsize(8192);  // more than the socket takes at once: partial writes
    copy.Start(source, out.ours);
    source.close();
    Bytes got;
    ASSERT_TRUE(pumpUntil(
        [&] {
            readSome(out, got, 1000);
            return got.size() == data.size() && !done.empty();
        },
        20000, 0));
    EXPECT_EQ(data, got);
    EXPECT_EQ((std::vector<Copy::Status::Type>{Copy::Status::Completed}), done);
    EXPECT_EQ(data.size(), copy.bytes_written());
}

TEST_F(CopyTest, EndOfInputWaitsForTheFlushUnlessNoneIsAsked) {
    SocketPair out;
    Fd empty = memoryFile({});
    copy.Start(empty, out.ours);
    EXPECT_EQ(Copy::Status::Flushing, copy.state());
    EXPECT_TRUE(done.empty());
    ASSERT_TRUE(pumpUntil([&] { return !done.empty(); }));
    EXPECT_EQ(Copy::Status::Completed, done.back());

    Copy::EventsParams noFlush;
    noFlush.flush = 0;
    copy.set_events(noFlush);  // not running: nothing to complete
    copy.Start(empty, out.ours);
    EXPECT_EQ((std::vector<Copy::Status::Type>{Copy::Status::Completed, Copy::Status::Completed}),
              done);
    empty.close();
}

TEST_F(CopyTest, StopWritesWhatWasReadThenCompletes) {
    SocketPair in;
    SocketPair out;
    shrinkSendBuffer(out.ours);
    in.write_peer(pattern(60000));
    copy.set_bufsize(30000);
    copy.Start(in.ours, out.ours);
    pumpPasses(3);
    ASSERT_EQ(Copy::Status::Copying, copy.state());  // the destination is full
    copy.Stop();
    EXPECT_EQ(Copy::Status::Draining, copy.state());
    Bytes got;
    ASSERT_TRUE(pumpUntil([&] {
        readSome(out, got, 65536);
        return !done.empty();
    }));
    readSome(out, got, 65536);
    EXPECT_EQ((std::vector<Copy::Status::Type>{Copy::Status::Completed}), done);
    EXPECT_EQ(30000u, copy.bytes_written());  // one buffer: no read after the stop
    EXPECT_EQ(Bytes(pattern(30000)), got);
}

TEST_F(CopyTest, ErrorsOnEitherSideFailTheCopyOnce) {
    // A source that cannot be read, before any byte was written.
    SocketPair out;
    Fd directory = ::open(".", O_RDONLY | O_CLOEXEC);
    copy.Start(directory, out.ours);
    directory.close();
    EXPECT_EQ(Copy::Status::Failed, copy.state());

    // A destination that hangs up while the copy waits for the source.
    SocketPair in;
    SocketPair gone;
    copy.Start(in.ours, gone.ours);
    gone.peer.close();
    ASSERT_TRUE(pumpUntil([&] { return done.size() == 2; }));
    EXPECT_EQ(0, copy.last_error());

    // A destination whose peer is closed when the first write comes.
    Fd source = memoryFile(pattern(100));
    copy.Start(source, gone.ours);
    source.close();
    EXPECT_EQ(EPIPE, copy.last_error());

    // Changing the events stops a running copy.
    copy.Start(in.ours, out.ours);
    copy.set_events(Copy::EventsParams());
    pumpPasses(3);
    EXPECT_EQ((std::vector<Copy::Status::Type>{Copy::Status::Failed, Copy::Status::Failed,
                                               Copy::Status::Failed, Copy::Status::Stopped}),
              done);
}

class ConnectTest : public ::testing::Test {
protected:
    void SetUp() override { connect.Bind(this, &ConnectTest::OnDone); }
    void OnDone(Connect::Status::Type s, Fd fd) {
        done.push_back(s);
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        peerPort = ::getpeername(fd.get(), reinterpret_cast<sockaddr*>(&peer), &len) == 0
                       ? ntohs(peer.sin_port)
                       : -1;
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port); }

    TestClock clock;
    Connect connect;
    ReservedPort port;
    std::vector<Connect::Status::Type> done;
    int peerPort = 0;
};

TEST_F(ConnectTest, ListeningPortConnectsAndClosedPortFails) {
    Fd listener = listenOn(port);
    connect.Start(address(), 5000);
    ASSERT_TRUE(pumpUntil([&] { return !done.empty(); }));
    EXPECT_EQ(Connect::Status::Connected, done.back());
    EXPECT_EQ(port, peerPort);

    listener.close();
    connect.Start(address(), 5000);
    ASSERT_TRUE(pumpUntil([&] { return done.size() == 2; }));
    EXPECT_EQ(Connect::Status::Failed, done.back());
    EXPECT_EQ(-1, peerPort);

    connect.Start("localhost:80", 5000);  // no name lookup
    EXPECT_EQ(Connect::Status::Failed, connect.state());
    advanceAndPump(clock, 6000, 1000);
    EXPECT_EQ(3u, done.size());
}

TEST_F(ConnectTest, UnansweredConnectTimesOutOrStopsOnce) {
    // A full backlog: the kernel drops further handshakes.
    Fd listener = listenOn(port, 0);
    Peer filler = Peer::tcp(port);
    connect.Start(address(), 5000);
    advanceAndPump(clock, 4999, 500);
    EXPECT_TRUE(done.empty());
    advanceAndPump(clock, 1, 1);
    EXPECT_EQ((std::vector<Connect::Status::Type>{Connect::Status::Failed}), done);

    connect.Start(address(), 5000);
    connect.Stop();
    EXPECT_EQ(-1, peerPort);
    advanceAndPump(clock, 10000, 1000);
    EXPECT_EQ(
        (std::vector<Connect::Status::Type>{Connect::Status::Failed, Connect::Status::Stopped}),
        done);
    listener.close();
}

}  // namespace
