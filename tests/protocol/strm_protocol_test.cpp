#include <poll.h>

#include <iostream>
#include <thread>

#include "board/sim_watchdog.h"
#include "protocol/strm_protocol.h"
#include "runtime/dpc.h"
#include "runtime/timer.h"
#include "tests/protocol/harness.h"
#include "tests/support/capture.h"
#include "tests/support/pump.h"
#include "tests/support/sim_scope.h"
#include "tests/support/test_clock.h"

namespace {

Bytes pattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + i / 251);
    return b;
}

// An owner with one stream layer over our end of a socket pair.
class StrmTest : public PoolTest {
public:
    void SetUp() override {
        strm = new StrmProtocol(sockets.ours);
        strm->service_name("test");
        owner.add_protocol_tail(strm);
    }
    // So small a send buffer that one large packet cannot fit.
    void shrinkSendBuffer() {
        int size = 4096;
        ASSERT_EQ(0, setsockopt(sockets.ours.get(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size));
        strm->activate();
    }
    bool sendLarge() {
        Packet p = make_packet(pattern(65536));
        return strm->message(p);
    }

    SocketPair sockets;
    Owner owner;
    StrmProtocol* strm = nullptr;
};

TEST_F(StrmTest, LastDataBeforeAnOrderlyCloseIsDelivered) {
    strm->set_trace(true);
    strm->activate();
    EXPECT_EQ((std::vector<Protocol*>{strm}), owner.activated);
    Bytes sent = pattern(150000);  // three reads' worth, all in flight at the close
    sockets.write_peer(sent);
    sockets.peer.close();
    StreamCapture log(std::clog);
    ASSERT_TRUE(pumpUntil([&] { return !owner.reports.empty(); }));
    ASSERT_EQ(3u, owner.messages.size());
    EXPECT_EQ(sent, owner.messages[0] + owner.messages[1] + owner.messages[2]);
    ASSERT_EQ(1u, owner.reports.size());
    EXPECT_EQ(strm, owner.reports[0].reporter);
    EXPECT_EQ(0u, owner.reports[0].text().find("read error: ")) << owner.reports[0].text();
    EXPECT_FALSE(strm->attached());
    EXPECT_EQ(0u, log.text().find("SockStream[test]: receive success, sendbuf=")) << log.text();
}

TEST_F(StrmTest, PartialWritesAreResumedUntilThePacketIsOut) {
    shrinkSendBuffer();
    Bytes got;
    std::thread reader([&] { got = sockets.read_peer(65536); });
    EXPECT_TRUE(sendLarge());
    reader.join();
    EXPECT_EQ(pattern(65536), got);
    EXPECT_TRUE(owner.reports.empty());
}

TEST_F(StrmTest, PeerThatStopsReadingEndsTheWaitAndTheConnection) {
    shrinkSendBuffer();
    StreamCapture err(std::cerr);
    EXPECT_FALSE(sendLarge());
    EXPECT_EQ(0u, err.text().find("SockStream[test]: write timeout, sendbuf=")) << err.text();
    EXPECT_EQ(1u, strm->fail_counter());
    ASSERT_EQ(1u, owner.reports.size());
    EXPECT_EQ("write timeout", owner.reports[0].text());
    EXPECT_FALSE(sendLarge());  // nothing attached any more: refused quietly
    EXPECT_EQ(1u, owner.reports.size());
}

TEST_F(StrmTest, WriteToAClosedPeerFailsWithoutSignal) {
    sockets.peer.close();
    StreamCapture err(std::cerr);
    EXPECT_FALSE(sendLarge());
    EXPECT_NE(std::string::npos, err.text().find("write error, sendbuf=")) << err.text();
    ASSERT_EQ(1u, owner.reports.size());
    EXPECT_EQ("write error: Broken pipe", owner.reports[0].text());
}

TEST_F(StrmTest, PollFlagsAndMissingDescriptor) {
    strm->activate();
    strm->on_event(-1, POLLERR | POLLHUP | POLLIN);
    strm->attach(sockets.ours);
    strm->activate();
    strm->on_event(-1, POLLHUP);
    strm->activate();
    ASSERT_EQ(3u, owner.reports.size());
    EXPECT_EQ(0u, owner.reports[0].text().find("pollerr: "));
    EXPECT_EQ(0u, owner.reports[1].text().find("pollhup: "));
    EXPECT_EQ("fd not attached", owner.reports[2].text());
}

TEST_F(StrmTest, ReaderWaitsForFreeBlocksAndLosesNothing) {
    strm->activate();
    StreamCapture err(std::cerr);
    {
        PoolDrain drain(1);  // enough for a chunk, none for what is built from it
        sockets.write_peer(pattern(1000));
        pumpPasses(5);
        EXPECT_TRUE(owner.messages.empty());
        EXPECT_EQ(1000, strm->inq_space());
        EXPECT_EQ("SockStream[test]: no free packet, read postponed\n", err.text());
    }
    ASSERT_TRUE(pumpUntil([&] { return !owner.messages.empty(); }));
    EXPECT_EQ((std::vector<Bytes>{pattern(1000)}), owner.messages);
}

TEST_F(StrmTest, BoundedWriteFeedsTheWatchdog) {
    StopFlagReset resume;
    SimScope sim;
    TestClock clock;
    shrinkSendBuffer();
    struct Writer {
        StrmTest* test;
        Dpc dpc;
        void Run() {
            dpc.Deactivate();
            EXPECT_FALSE(test->sendLarge());
            multiplexer.terminate();
        }
    } writer{this, {}};
    writer.dpc.Bind(&writer, &Writer::Run);
    writer.dpc.Activate();
    Timer pending;  // something for the loop to wait for once the socket is gone
    pending.set(10, [] {});
    StreamCapture err(std::cerr);
    multiplexer.run(true, true);
    // The frozen clock never ends the budget: the one poll of up to 1000 ms
    // does, fed before and after. The loop itself feeds once.
    std::vector<std::string> expected = {"START", "PING", "PING", "PING", "STOP"};
    EXPECT_EQ(expected, sim.model<SimWatchdog>(SimWatchdog::kPath).records());
}

}  // namespace
