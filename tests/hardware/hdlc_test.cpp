#include "hardware/hdlc.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "board/mcc_driver.h"
#include "board/sim_hal.h"
#include "board/sim_mcc.h"
#include "board/sim_switch.h"
#include "core/trace_ctl.h"
#include "tests/support/capture.h"
#include "tests/support/pump.h"
#include "tests/support/sim_scope.h"

namespace {

using Frame = SimMcc::Frame;

// Writes down what the channel tells it, one entry a call.
class Listener : public HDLC::Notify {
public:
    void on_hdlc_receive(Packet& frame) override {
        calls.push_back("rx " + frame.text());
        if (onReceive) onReceive(frame);
    }
    void on_hdlc_error(Cause::Type cause) override {
        calls.push_back("error " + std::to_string(cause));
    }
    void on_hdlc_ready() override { calls.push_back("ready"); }

    size_t count(const std::string& call) const {
        size_t n = 0;
        for (const std::string& c : calls) n += c == call;
        return n;
    }

    std::vector<std::string> calls;
    std::function<void(Packet&)> onReceive;
};

Packet packet(const Frame& bytes) {
    Packet p;
    p.reserve_head(0);
    p.put(bytes.data(), static_cast<unsigned>(bytes.size()));
    return p;
}

class HdlcTest : public ::testing::Test {
protected:
    HdlcTest() { mcc.setChannelPool(17, 4); }

    // Activates `h` as trunk 1, time slot 3, with `l` as its listener.
    bool start(HDLC& h, Listener& l, int32_t mode = 1, int32_t rx = 8300, int32_t tx = -1) {
        h.params.trunk = 1;
        h.params.timeslot = 3;
        h.params.rxChannel = rx;
        h.params.txChannel = tx;
        h.params.mode = mode;
        h.bind(l);
        return h.activate();
    }
    bool startReady(HDLC& h, Listener& l) {
        return start(h, l) && pumpUntil([&] { return h.is_ready(); });
    }
    size_t opens() const {
        size_t n = 0;
        for (const SimRequest& r : mcc.log()) n += r.kind == SimRequest::Open;
        return n;
    }

    SimScope sim;
    SimMcc& mcc = sim.model<SimMcc>(SimMcc::kPath);
    SimSwitch& sw = sim.model<SimHal>(SimHal::kPath).switchPart();
};

TEST_F(HdlcTest, ActivationAllocatesByModeAndCrossConnectsTheChannel) {
    HDLC data, transparent, ss7;
    Listener l;
    ASSERT_TRUE(start(data, l, 1, 8300));
    EXPECT_FALSE(data.is_ready());
    // Mode 2 sends into the transmit channel and listens to the receive one.
    ASSERT_TRUE(start(transparent, l, 2, 8300, 8301));
    ASSERT_TRUE(start(ss7, l, 0, 8302));
    const struct {
        int channel;
        uint32_t kind;
        int from, to;  // the switch links channel -> to and from -> channel
    } expected[] = {{17, 0, 8300, 8300}, {18, 1, 8300, 8301}, {19, 3, 8302, 8302}};
    for (const auto& e : expected) {
        EXPECT_EQ(e.kind, mcc.channel(e.channel).allocation.kind) << e.channel;
        EXPECT_EQ(e.channel, sw.sourceOf(e.to)) << e.channel;
        EXPECT_EQ(e.from, sw.sourceOf(e.channel)) << e.channel;
    }
    EXPECT_EQ(512u, mcc.channel(17).allocation.rx_packet_size);

    // Activating again gives up the first channel and zeroes the counters,
    // but keeps what the owner set.
    ASSERT_TRUE(pumpUntil([&] { return data.is_ready(); }));
    Packet p = packet({1});
    ASSERT_TRUE(data.hdlc_transmit(p));
    data.trace_level = 3;
    ASSERT_TRUE(data.activate());
    EXPECT_EQ(0u, data.counters().txSU);
    EXPECT_EQ(3u, data.trace_level);
    EXPECT_EQ((std::vector<int>{17, 18, 19}), mcc.allocated());

    // A mode without a controller kind is refused before the device opens.
    HDLC bad;
    size_t before = opens();
    StreamCapture err(std::cerr);
    EXPECT_FALSE(start(bad, l, 3));
    EXPECT_EQ(before, opens());
    EXPECT_EQ("hdlc [0/3]: activate fail: no controller mode 3\n", err.text());
}

TEST_F(HdlcTest, ActivationFailuresCloseWhatTheyOpenedWithOneLine) {
    HDLC h;
    Listener l;
    h.trace_id = 9;
    StreamCapture err(std::cerr);
    mcc.failOpen(ENOENT, 1);
    EXPECT_FALSE(start(h, l));
    mcc.failRequest(Mcc::MCC_ALLOCATE, EBUSY, 1);
    EXPECT_FALSE(start(h, l));
    mcc.failRequest(Mcc::MCC_TIMESLOT, EIO, 1);
    EXPECT_FALSE(start(h, l));
    EXPECT_EQ(
        "hdlc [9/3]: fail to open MCC device: No such file or directory\n"
        "hdlc [9/3]: MCC_ALLOCATE fail: Device or resource busy\n"
        "hdlc [9/3]: MCC_TIMESLOT fail: Input/output error\n",
        err.text());
    EXPECT_FALSE(h.is_open());
    sim.board().collect();
    EXPECT_TRUE(mcc.handles().empty());
    EXPECT_TRUE(mcc.allocated().empty());
}

TEST_F(HdlcTest, FramesTravelAsWholeRecordsWithTracesAndCounters) {
    traces.hdlc = true;
    StreamCapture log(std::clog);
    HDLC h;
    Listener l;
    h.trace_id = 7;
    ASSERT_TRUE(startReady(h, l));

    Packet out = packet({0x01, 0x02, 0x03}), empty = packet({}), none;
    EXPECT_TRUE(h.hdlc_transmit(out));
    EXPECT_EQ(3u, out.length());  // the caller keeps its packet
    EXPECT_TRUE(h.hdlc_transmit(empty));
    EXPECT_TRUE(h.hdlc_transmit(none));
    EXPECT_EQ((std::deque<Frame>{{1, 2, 3}}), mcc.channel(17).sent);
    EXPECT_EQ(1u, h.counters().txSU);

    ASSERT_TRUE(mcc.receive(17, Frame{0xAA, 0xBB}));
    ASSERT_TRUE(mcc.receive(17, Frame(600, 0x55)));  // longer than the allocation's 512
    ASSERT_TRUE(pumpUntil([&] { return h.counters().rxSU == 2; }));
    EXPECT_EQ("rx AA BB", l.calls.at(1));
    EXPECT_EQ(600u * 3 - 1, l.calls.at(2).size() - 3);

    h.deactivate();
    EXPECT_FALSE(h.hdlc_transmit(out));
    EXPECT_EQ(1u, h.counters().txDiscard);
    for (const char* line : {"hdlc [7/3]: activated\n", "HDLC[7]: tx 01 02 03\n", "HDLC[7]: rx AA BB\n"})
        EXPECT_NE(std::string::npos, log.text().find(line)) << line;
}

TEST_F(HdlcTest, AFullTransmitPathRefusesThenReportsReadyOnceItDrains) {
    HDLC h;
    Listener l;
    mcc.setTransmitBuffer(4096);
    ASSERT_TRUE(startReady(h, l));
    mcc.hold(17);
    Packet p = packet(Frame(1000, 0x7E));
    unsigned accepted = 0;
    while (accepted < 1000 && h.hdlc_transmit(p)) ++accepted;
    ASSERT_LT(accepted, 1000u);
    EXPECT_FALSE(h.is_ready());
    EXPECT_EQ(accepted, h.counters().txSU);
    EXPECT_EQ(0u, h.counters().txError);
    pumpPasses(5);
    EXPECT_EQ(1u, l.count("ready"));  // still held: nothing drained

    mcc.release(17);
    ASSERT_TRUE(pumpUntil([&] { return h.is_ready(); }));
    pumpPasses(5);
    EXPECT_EQ(2u, l.count("ready"));
    EXPECT_EQ(accepted, mcc.channel(17).sent.size());
    EXPECT_TRUE(h.hdlc_transmit(p));
}

TEST_F(HdlcTest, AFrameAndTheWritableStateOfOnePassComeInThatOrder) {
    HDLC h;
    Listener l;
    ASSERT_TRUE(start(h, l));
    ASSERT_TRUE(mcc.receive(17, Frame{0x42}));
    ASSERT_TRUE(pumpUntil([&] { return l.calls.size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"rx 42", "ready"}), l.calls);
}

TEST_F(HdlcTest, ReadFailuresCloseTheChannelAndTellTheListenerOnce) {
    HDLC broken, hungUp, closedByListener;
    Listener lb, lh, lc;
    StreamCapture err(std::cerr);
    ASSERT_TRUE(start(broken, lb));
    ASSERT_TRUE(start(hungUp, lh));
    ASSERT_TRUE(start(closedByListener, lc));
    pumpPasses(2);
    unsigned handlers = multiplexer.handlerCount();

    ASSERT_TRUE(mcc.breakDown(17));
    ASSERT_TRUE(mcc.hangUp(18));
    ASSERT_TRUE(pumpUntil([&] { return !broken.is_open() && !hungUp.is_open(); }));
    pumpPasses(5);
    EXPECT_EQ((std::vector<std::string>{"ready", "error 0"}), lb.calls);
    EXPECT_EQ(lb.calls, lh.calls);
    EXPECT_EQ(handlers - 2, multiplexer.handlerCount());
    EXPECT_EQ("hdlc [0/3]: read error: Connection reset by peer\nhdlc [0/3]: read error: end of file\n",
              err.text());

    // A listener that closes the channel on a frame is told nothing more.
    lc.onReceive = [&](Packet&) { closedByListener.deactivate(); };
    ASSERT_TRUE(mcc.receive(19, Frame{0x01}));
    ASSERT_TRUE(mcc.receive(19, Frame{0x02}));
    ASSERT_TRUE(pumpUntil([&] { return !closedByListener.is_open(); }));
    pumpPasses(5);
    EXPECT_EQ((std::vector<std::string>{"ready", "rx 01"}), lc.calls);
}

TEST_F(HdlcTest, TwoPatchedChannelsExchangeFrames) {
    HDLC a, b;
    Listener la, lb;
    ASSERT_TRUE(startReady(a, la));
    ASSERT_TRUE(startReady(b, lb));
    ASSERT_TRUE(mcc.patch(17, 18));
    // b answers every frame with its bytes reversed, from inside the call.
    lb.onReceive = [&](Packet& in) {
        Frame bytes(in.data(), in.data() + in.length());
        Packet reply = packet(Frame(bytes.rbegin(), bytes.rend()));
        b.hdlc_transmit(reply);
    };
    Packet hello = packet({'h', 'i', '!'});
    ASSERT_TRUE(a.hdlc_transmit(hello));
    ASSERT_TRUE(pumpUntil([&] { return la.calls.size() == 2; }));
    EXPECT_EQ("rx 68 69 21", lb.calls.back());
    EXPECT_EQ("rx 21 69 68", la.calls.back());
    EXPECT_EQ(1u, a.counters().rxSU);
    EXPECT_EQ(1u, b.counters().txSU);
}

}  // namespace
