#include "board/sim_mcc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstdio>

#include <string>

#include "board/mcc_driver.h"
#include "tests/board/sim_model_fixture.h"
#include "tests/support/temp_root.h"

namespace {

using namespace Mcc;
using Frame = SimMcc::Frame;

const Allocate kHdlcData{kData, 512, 0, 1, 4};

// The fixture's own open stays unallocated; channel() makes more.
class SimMccTest : public SimModelTest<SimMcc> {
protected:
    SimMccTest() : SimModelTest(kDevice, O_RDWR | O_NONBLOCK), mcc(model) {
        mcc.setChannelPool(17, 3);
    }
    ~SimMccTest() override {
        for (int f : fds) board->close(f);
    }

    // An open that holds a channel, or -1.
    int channel(Allocate r = kHdlcData, int flags = O_RDWR | O_NONBLOCK) {
        int f = board->open(kDevice, flags);
        fds.push_back(f);
        return allocate(f, r) == 0 ? f : -1;
    }
    int allocate(int f, Allocate r) { return board->ioctl(f, MCC_ALLOCATE, &r); }
    int timeslot(int f) { return board->ioctl(f, MCC_TIMESLOT, 0L); }
    ssize_t send(int f, const std::string& frame) {
        return board->write(f, frame.data(), frame.size());
    }
    std::string receive(int f) {
        char buf[1024];
        ssize_t n = ::read(f, buf, sizeof buf);
        return n < 0 ? "error " + std::to_string(errno) : std::string(buf, size_t(n));
    }
    short events(int f, short asked) {
        pollfd p{f, asked, 0};
        return ::poll(&p, 1, 0) == 1 ? p.revents : 0;
    }

    SimMcc& mcc;
    std::vector<int> fds;
};

TEST_F(SimMccTest, AllocationTakesTheLowestFreeChannelOfThePool) {
    int a = channel(Allocate{kSs7, 512, 0, 1, 4});
    int b = channel(Allocate{kTransparent, 1024, 0, 5, 0}, O_RDONLY | O_NONBLOCK);
    EXPECT_EQ(17, timeslot(a));
    EXPECT_EQ(18, board->ioctl(b, MCC_TIMESLOT, static_cast<void*>(nullptr)));  // either call form
    EXPECT_EQ("open=yes kind=3 size=512 reserved=0 rx=1 tx=4 partner=-1 held=no sent=0 lost=0",
              board->control("/dev/mcc/ctl state 17"));
    EXPECT_EQ(kTransparent, mcc.channel(18).allocation.kind);

    board->close(a);
    fds.erase(fds.begin());
    board->collect();
    EXPECT_EQ("18", board->control("/dev/mcc/ctl channels"));
    EXPECT_EQ(0, board->control("/dev/mcc/ctl state 17").rfind("open=no kind=3", 0));
    int c = channel();
    EXPECT_EQ(17, timeslot(c));
    EXPECT_GE(channel(), 0);
    EXPECT_EQ(ENOSPC, refusedWith(allocate(fd, kHdlcData)));
}

TEST_F(SimMccTest, EachUseHasItsOwnCountWhichTheQueryReports) {
    ASSERT_EQ("ok", board->control("/dev/mcc/ctl counts 1 1 0"));
    EXPECT_GE(channel(Allocate{kSs7, 512, 0, 1, 1}), 0);
    EXPECT_EQ(-1, channel());  // SS7 channels count as data channels
    EXPECT_EQ(ENOSPC, errno);
    EXPECT_EQ(-1, channel(Allocate{kTransparent, 512, 0, 1, 1}));
    EXPECT_GE(channel(Allocate{kBri, 512, 0, 1, 1}), 0);

    Resources r{};
    ASSERT_EQ(0, board->ioctl(fd, MCC_RESOURCES, &r));  // an open without a channel answers too
    EXPECT_EQ(1u, r.data);
    EXPECT_EQ(1u, r.bri);
    EXPECT_EQ(0u, r.transparent);
    EXPECT_EQ(2u, r.in_use);
    EXPECT_EQ("data=1 bri=1 transparent=0 in-use=2", board->control("/dev/mcc/ctl counts"));
    EXPECT_TRUE(replyFails("/dev/mcc/ctl counts 1 x 1"));
}

TEST_F(SimMccTest, ATransparentChannelMovesBytesInBuffersOfItsPacketSize) {
    int a = channel(Allocate{kTransparent, 4, 0, 1, 1});
    EXPECT_EQ(10, send(a, "0123456789"));
    EXPECT_EQ("30313233\n34353637\n3839\n", board->control("/dev/mcc/ctl tx 17"));

    // A full transmit queue takes part of a write, then nothing.
    ASSERT_EQ("ok", board->control("/dev/mcc/ctl buffer 4096"));
    ASSERT_TRUE(mcc.hold(17));
    std::string block(1 << 20, 'b');
    ssize_t taken = send(a, block);
    EXPECT_GT(taken, 0);
    EXPECT_LT(taken, ssize_t(block.size()));
    EXPECT_EQ(0, taken % 4);
    EXPECT_EQ(EAGAIN, refusedWith(send(a, block)));

    ASSERT_EQ("ok", board->control("/dev/mcc/ctl rx 17 00010203040506"));
    EXPECT_EQ(std::string("\x00\x01\x02\x03", 4), receive(a));
    EXPECT_EQ("\x04\x05\x06", receive(a));
}

TEST_F(SimMccTest, HostileRequestsAndWritesAreRefused) {
    EXPECT_EQ(EINVAL, refusedWith(timeslot(fd)));
    EXPECT_EQ(EINVAL, refusedWith(send(fd, "x")));  // no channel yet
    EXPECT_EQ(EINVAL, refusedWith(allocate(fd, Allocate{4, 512, 0, 1, 4})));
    EXPECT_EQ(EINVAL, refusedWith(allocate(fd, Allocate{kData, 512, 7, 1, 4})));
    EXPECT_EQ(EINVAL, refusedWith(allocate(fd, Allocate{kData, 0, 0, 1, 4})));
    EXPECT_EQ(EFAULT, refusedWith(board->ioctl(fd, MCC_ALLOCATE, static_cast<void*>(nullptr))));
    EXPECT_EQ(EFAULT, refusedWith(board->ioctl(fd, MCC_ALLOCATE, 3L)));
    EXPECT_TRUE(mcc.allocated().empty());

    ASSERT_EQ(0, allocate(fd, kHdlcData));
    EXPECT_EQ(EBUSY, refusedWith(allocate(fd, kHdlcData)));
    EXPECT_EQ(EINVAL, refusedWith(board->write(fd, "", 0)));
    EXPECT_EQ(EFAULT, refusedWith(board->write(fd, nullptr, 4)));
    int reader = channel(kHdlcData, O_RDONLY | O_NONBLOCK);
    EXPECT_EQ(EBADF, refusedWith(send(reader, "x")));
    EXPECT_TRUE(mcc.channel(17).sent.empty());
}

TEST_F(SimMccTest, WrittenFramesAreSentOneByOne) {
    int fd = channel();
    EXPECT_EQ(3, send(fd, "\x01\x02\x03"));
    EXPECT_EQ(1, send(fd, "\xff"));
    ASSERT_EQ(2u, mcc.channel(17).sent.size());
    EXPECT_EQ((Frame{1, 2, 3}), mcc.channel(17).sent.front());
    EXPECT_EQ("010203\nff\n", board->control("/dev/mcc/ctl tx 17"));
    EXPECT_EQ("ok", board->control("/dev/mcc/ctl clear 17"));
    EXPECT_EQ("", board->control("/dev/mcc/ctl tx 17"));
    char nothing;
    EXPECT_EQ(-1, ::read(fd, &nothing, 1));  // nothing came back
}

TEST_F(SimMccTest, AHeldTransmitterFillsTheQueueAndDrainsOnRelease) {
    int fd = channel();
    EXPECT_EQ("ok", board->control("/dev/mcc/ctl buffer 4096"));
    EXPECT_EQ("ok", board->control("/dev/mcc/ctl hold 17"));
    std::string frame(260, 'f');
    int written = 0;
    while (send(fd, frame) == ssize_t(frame.size())) ++written;
    EXPECT_EQ(EAGAIN, errno);
    EXPECT_GT(written, 0);
    EXPECT_EQ(0, events(fd, POLLOUT));
    EXPECT_TRUE(mcc.channel(17).sent.empty());

    EXPECT_EQ("ok", board->control("/dev/mcc/ctl release 17"));
    EXPECT_EQ(POLLOUT, events(fd, POLLOUT));
    EXPECT_EQ(size_t(written), mcc.channel(17).sent.size());
    EXPECT_EQ(ssize_t(frame.size()), send(fd, frame));
    EXPECT_EQ(size_t(written + 1), mcc.channel(17).sent.size());
}

TEST_F(SimMccTest, PatchedChannelsExchangeFrames) {
    int a = channel(), b = channel();
    ASSERT_EQ("ok", board->control("/dev/mcc/ctl patch 17 18"));
    EXPECT_EQ(2, send(a, "ab"));
    EXPECT_EQ(3, send(a, "cde"));
    EXPECT_EQ(1, send(b, "z"));
    EXPECT_EQ("ab", receive(b));  // one read, one frame
    EXPECT_EQ("cde", receive(b));
    EXPECT_EQ("z", receive(a));

    // Patching anew ends the old patch; a channel patched to itself loops.
    ASSERT_TRUE(mcc.patch(17, 17));
    EXPECT_EQ(-1, mcc.channel(18).partner);
    EXPECT_EQ(1, send(a, "L"));
    EXPECT_EQ("L", receive(a));

    // A partner without an open loses the frame.
    ASSERT_TRUE(mcc.patch(17, 19));
    EXPECT_EQ(1, send(a, "q"));
    EXPECT_EQ(1u, mcc.channel(19).lost);
    EXPECT_EQ("ok", board->control("/dev/mcc/ctl unpatch 19"));
    EXPECT_EQ(-1, mcc.channel(17).partner);
}

TEST_F(SimMccTest, InjectedFramesAndFailuresReachTheDaemon) {
    int a = channel(), b = channel(), c = channel();
    EXPECT_EQ("ok", board->control("/dev/mcc/ctl rx 17 0a0b"));
    EXPECT_EQ("ok", board->control("/dev/mcc/ctl rx 17"));
    EXPECT_EQ("\x0a\x0b", receive(a));
    EXPECT_EQ("", receive(a));  // an empty frame reads as 0 bytes
    EXPECT_TRUE(replyFails("/dev/mcc/ctl rx 17 0a0"));
    EXPECT_TRUE(replyFails("/dev/mcc/ctl rx 20 00"));

    ASSERT_TRUE(mcc.hold(18));
    EXPECT_EQ(1, send(b, "h"));
    EXPECT_EQ("ok", board->control("/dev/mcc/ctl hangup 18"));
    EXPECT_TRUE(mcc.release(18));  // a hung-up channel sends nothing more
    EXPECT_TRUE(mcc.channel(18).sent.empty());
    EXPECT_TRUE(events(b, POLLIN) & POLLHUP);
    EXPECT_EQ("", receive(b));
    EXPECT_EQ(EIO, refusedWith(timeslot(b)));
    EXPECT_EQ(EIO, refusedWith(send(b, "x")));

    ASSERT_TRUE(mcc.receive(19, Frame{7}));
    EXPECT_EQ("ok", board->control("/dev/mcc/ctl fail 19"));
    EXPECT_TRUE(events(c, POLLIN) & POLLERR);
    EXPECT_EQ("error " + std::to_string(ECONNRESET), receive(c));
    EXPECT_EQ("\x07", receive(c));  // what was queued before the failure
    EXPECT_EQ("", receive(c));
    EXPECT_FALSE(mcc.receive(19, Frame{8}));

    // The board forgets failed opens and their channels come free.
    board->collect();
    EXPECT_EQ("17", board->control("/dev/mcc/ctl channels"));
    EXPECT_TRUE(replyFails("/dev/mcc/ctl fail 18"));
}

// Buffers of 1000 bytes at 8000 bytes/s: each plays for 125 ms, and the
// line takes the next one when what it holds plays out within that time.
TEST_F(SimMccTest, APacedLineTakesABufferAtATimeAtItsRateAndCountsItsGaps) {
    int f = channel(Allocate{kTransparent, 1000, 0, 0, 5}, O_WRONLY | O_NONBLOCK);
    EXPECT_FALSE(mcc.ticking());
    ASSERT_EQ("ok", board->control("/dev/mcc/ctl pace 17 8000"));
    EXPECT_TRUE(mcc.ticking());
    EXPECT_EQ(3000, send(f, std::string(3000, 'p')));
    EXPECT_TRUE(mcc.channel(17).sent.empty());  // nothing before the line's time

    const uint64_t t0 = 1000000;
    struct Tick {
        uint64_t at;
        size_t sent;  // buffers the line has taken
    } ticks[] = {{t0, 1}, {t0 + 10000, 2}, {t0 + 120000, 2}, {t0 + 130000, 3}, {t0 + 900000, 3}};
    for (const Tick& t : ticks) {
        mcc.tick(t.at);
        EXPECT_EQ(t.sent, mcc.channel(17).sent.size()) << t.at - t0;
    }
    // The queue ran dry at t0 + 375 ms; the next buffer plays at t0 + 1 s.
    EXPECT_EQ(1000, send(f, std::string(1000, 'q')));
    mcc.tick(t0 + 1000000);
    EXPECT_EQ("pace=8000 played=4000 gap_us=625000", board->control("/dev/mcc/ctl pace 17"));

    // The queue a paced channel offers is bounded: a long write is cut short
    // and the rest waits for the line.
    ssize_t n = send(f, std::string(100000, 'r'));
    EXPECT_GT(n, 0);
    EXPECT_LT(n, 100000);
    EXPECT_FALSE(events(f, POLLOUT) & POLLOUT);

    // Unpaced, the channel sends what waits at once.
    ASSERT_EQ("ok", board->control("/dev/mcc/ctl pace 17 0"));
    EXPECT_EQ(size_t(4 + n / 1000), mcc.channel(17).sent.size());
    EXPECT_FALSE(mcc.ticking());
    EXPECT_TRUE(replyFails("/dev/mcc/ctl pace all"));
    EXPECT_TRUE(replyFails("/dev/mcc/ctl pace 17 -1"));
}

// An outside process at the far end of a channel, as a test stands in for
// it: a SOCK_SEQPACKET client of the socket the attach command made.
class OutsidePeer {
public:
    explicit OutsidePeer(const std::string& path) : fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0)) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
        connected = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~OutsidePeer() { ::close(fd); }
    void send(const std::string& frame) { ::send(fd, frame.data(), frame.size(), 0); }
    std::string receive() {
        char buf[256];
        ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        return n < 0 ? "none" : std::string(buf, size_t(n));
    }

    int fd;
    bool connected = false;
};

TEST_F(SimMccTest, AnAttachedChannelTalksToAnOutsideProcess) {
    TempRoot root;
    int a = channel();
    ASSERT_EQ("ok", board->control("/dev/mcc/ctl attach 17 /peer.sock"));
    {
        OutsidePeer peer(root.path("/peer.sock"));
        ASSERT_TRUE(peer.connected);
        board->poller().serve();  // the connection is taken
        EXPECT_EQ(2, send(a, "ab"));
        EXPECT_EQ("ab", peer.receive());
        peer.send("xyz");
        board->poller().serve();
        EXPECT_EQ("xyz", receive(a));
    }
    board->poller().serve();  // the process went away: what is sent now is lost
    EXPECT_EQ(1, send(a, "c"));
    EXPECT_EQ(1u, mcc.channel(17).lost);

    OutsidePeer restarted(root.path("/peer.sock"));
    board->poller().serve();
    EXPECT_EQ(1, send(a, "d"));
    EXPECT_EQ("d", restarted.receive());

    EXPECT_EQ("ok", board->control("/dev/mcc/ctl detach 17"));
    EXPECT_FALSE(root.exists("/peer.sock"));
}

TEST_F(SimMccTest, AttachStaysBelowTheRoot) {
    TempRoot root;
    for (const char* path : {"peer.sock", "/a/../peer.sock", "/..", "/no/such/dir/peer.sock"})
        EXPECT_TRUE(replyFails(std::string("/dev/mcc/ctl attach 17 ") + path)) << path;
    EXPECT_TRUE(replyFails("/dev/mcc/ctl attach 9000 /peer.sock"));
}

}  // namespace
