#include <iostream>
#include <random>

#include "protocol/strm_protocol.h"
#include "protocol/tpkt_protocol.h"
#include "tests/protocol/harness.h"
#include "tests/support/capture.h"
#include "tests/support/pump.h"
#include "tests/support/test_clock.h"

namespace {

Bytes frame(const Bytes& payload) {
    size_t n = payload.size() + 4;
    return Bytes{3, 0, uint8_t(n >> 8), uint8_t(n)} + payload;
}

// A TPKT layer over a sink, fed chunk by chunk.
class TpktTest : public PoolTest {
protected:
    void SetUp() override {
        owner.add_protocol_tail(sink);
        owner.add_protocol_tail(tpkt);
    }
    void feed(const Bytes& chunk) {
        Packet p = make_packet(chunk);
        tpkt->receive(p);
        EXPECT_EQ(0u, p.length());
    }
    // Sends the way a connection does: head room from the stack first.
    bool send(const Bytes& payload) {
        Packet p;
        EXPECT_TRUE(owner.prepare_head(p));
        p.put(payload.data(), unsigned(payload.size()));
        return owner.message(p);
    }

    // Deliveries take no time unless a test says so: nothing waits for a
    // later pass.
    TestClock clock;
    Owner owner;
    Sink* sink = new Sink;
    Tpkt_protocol* tpkt = new Tpkt_protocol;
};

TEST_F(TpktTest, FramesWhatFitsAndRefusesWhatWouldWrapTheLength) {
    EXPECT_TRUE(send({0x0A, 0x0B, 0x0C}));
    EXPECT_TRUE(send(Bytes(65531, 0x55)));
    StreamCapture log(std::clog);
    EXPECT_FALSE(send(Bytes(65532, 0x55)));
    EXPECT_EQ("(no name) TPKT message too long 65532\n", log.text());
    ASSERT_EQ(2u, sink->sent.size());
    EXPECT_EQ((Bytes{3, 0, 0, 7, 0x0A, 0x0B, 0x0C}), sink->sent[0]);
    EXPECT_EQ((Bytes{3, 0, 0xFF, 0xFF, 0x55}), Bytes(sink->sent[1].begin(), sink->sent[1].begin() + 5));
    sink->accept = false;
    EXPECT_FALSE(send({1}));
}

TEST_F(TpktTest, ReassemblyDoesNotDependOnChunkBoundaries) {
    std::mt19937 random(20240611);
    std::vector<Bytes> messages;
    Bytes stream;
    for (unsigned size : {0u, 1u, 3u, 250u, 1400u, 65531u, 7u, 0u, 40000u}) {
        Bytes m(size);
        for (auto& b : m) b = uint8_t(random());
        messages.push_back(m);
        stream = stream + frame(m);
    }
    for (int round = 0; round < 200; ++round) {
        owner.messages.clear();
        for (size_t at = 0, n; at < stream.size(); at += n) {
            // Mostly short chunks, so that headers split too, sometimes long ones.
            size_t limit = random() % 4 ? 9 : packet_max_size;
            n = std::min(stream.size() - at, size_t(1 + random() % limit));
            feed(Bytes(stream.begin() + long(at), stream.begin() + long(at + n)));
        }
        ASSERT_EQ(messages, owner.messages) << "round " << round;
        EXPECT_FALSE(tpkt->timer_armed());
    }
    // One message cut at every point: the wait runs while a frame is open.
    owner.messages.clear();
    Bytes f = frame({0x0A, 0x0B, 0x0C});
    for (size_t cut = 1; cut < f.size(); ++cut) {
        feed(Bytes(f.begin(), f.begin() + long(cut)));
        EXPECT_TRUE(tpkt->timer_armed()) << "cut " << cut;
        feed(Bytes(f.begin() + long(cut), f.end()));
        EXPECT_FALSE(tpkt->timer_armed());
    }
    EXPECT_EQ(std::vector<Bytes>(f.size() - 1, Bytes{0x0A, 0x0B, 0x0C}), owner.messages);
}

TEST_F(TpktTest, FramingErrorsCostALineAndResynchronise) {
    StreamCapture log(std::clog);
    feed(Bytes{0x05} + Bytes{3, 1} + Bytes{3, 0, 0, 2} + frame({0xAA}));
    EXPECT_EQ(
        "(no name) bad TPKT packet start.\n"
        "(no name) bad TPKT reserved.\n"
        "TPKT too small 2\n",
        log.text());
    EXPECT_EQ((std::vector<Bytes>{{0xAA}}), owner.messages);
}

TEST_F(TpktTest, EmptyPayloadIsDeliveredAtOnce) {
    feed({3, 0, 0, 4});
    EXPECT_EQ((std::vector<Bytes>{{}}), owner.messages);
    EXPECT_EQ(Tpkt_protocol::idle, tpkt->state());
    EXPECT_FALSE(tpkt->timer_armed());
    feed(frame({}) + frame({9}));
    EXPECT_EQ((std::vector<Bytes>{{}, {}, {9}}), owner.messages);
}

// Each delivery takes 0.4 ms of the clock: a run hands up what fits in the
// budget and leaves the rest to the deferred call of the next passes, with
// the layer below held meanwhile; a chunk that comes in between waits its
// turn, and nothing is lost.
TEST_F(TpktTest, DeliveriesBeyondTheBudgetGoOnInTheNextPasses) {
    owner.onMessage = [&] { clock.advanceUs(400); };
    std::vector<Bytes> sent;
    Bytes first;
    for (uint8_t i = 1; i <= 12; ++i) {
        sent.push_back({i});
        first = first + frame({i});
    }
    sent.push_back(Bytes(5, 13));
    sent.push_back({14});
    Packet chunk = make_packet(first + Bytes{3, 0, 0});
    tpkt->receive(chunk);
    chunk = Packet();
    EXPECT_EQ(3u, owner.messages.size());
    EXPECT_TRUE(tpkt->deferred());
    EXPECT_TRUE(sink->held);
    EXPECT_FALSE(tpkt->timer_armed());
    chunk = make_packet(Bytes{9} + sent[12] + frame({14}) + Bytes{3, 0});
    tpkt->receive(chunk);
    chunk = Packet();
    EXPECT_EQ(3u, owner.messages.size());

    multiplexer.runOnce(0);  // two runs of the deferred call
    EXPECT_EQ(9u, owner.messages.size());
    EXPECT_EQ(0, multiplexer.pollTimeout());
    multiplexer.runOnce(0);
    EXPECT_EQ(sent, owner.messages);
    EXPECT_FALSE(tpkt->deferred());
    EXPECT_FALSE(sink->held);
    EXPECT_TRUE(tpkt->timer_armed());  // the last chunk ends inside a header
}

using TpktClosingTest = PoolTest;

// The layers above may close the connection from inside a delivery; the
// rest of that chunk belonged to it and goes nowhere.
TEST_F(TpktClosingTest, StackDeactivatedByADeliveryTakesNoMoreOfTheChunk) {
    struct ClosingOwner : Owner {
        void on_message(Packet& p) override {
            Owner::on_message(p);
            deactivate();
        }
    } owner;
    Tpkt_protocol* tpkt = new Tpkt_protocol;
    owner.add_protocol_tail(new Sink);
    owner.add_protocol_tail(tpkt);
    Packet chunk = make_packet(frame({1}) + frame({2}) + Bytes{3, 0, 0});
    tpkt->receive(chunk);
    EXPECT_EQ((std::vector<Bytes>{{1}}), owner.messages);
    EXPECT_EQ(1u, owner.reports.size());
    EXPECT_EQ(Tpkt_protocol::idle, tpkt->state());
    EXPECT_FALSE(tpkt->timer_armed());
}

TEST_F(TpktTest, SocketErrorsPassUpAndKeepThePartialFrame) {
    feed({3, 0, 0, 10, 1, 2});
    sink->on_deactivate(make_error(sink, "read error: x"));
    ASSERT_EQ(1u, owner.reports.size());
    EXPECT_EQ(tpkt, owner.reports[0].reporter);
    EXPECT_EQ(Tpkt_protocol::body, tpkt->state());
    EXPECT_TRUE(tpkt->timer_armed());
    tpkt->deactivate();
    EXPECT_EQ(Tpkt_protocol::idle, tpkt->state());
    EXPECT_FALSE(tpkt->timer_armed());
    ASSERT_EQ(2u, owner.reports.size());
    EXPECT_EQ(sink, owner.reports[1].reporter);  // the success walked down
}

TEST_F(TpktTest, EmptyPoolCostsTheFrameButNotTheStream) {
    Packet chunk = make_packet(frame({1}) + frame({2, 2}) + Bytes{3, 0});
    Packet shared = make_packet({3, 0, 0, 5}, 4), sharer = shared;
    StreamCapture log(std::clog);
    {
        PoolDrain drain;
        tpkt->receive(chunk);
        tpkt->receive(shared);
        EXPECT_FALSE(tpkt->message(shared));
    }
    EXPECT_EQ(
        "(no name) TPKT frame dropped: no free packet.\n"
        "(no name) TPKT frame dropped: no free packet.\n"
        "(no name) TPKT chunk dropped: no free packet.\n"
        "(no name) TPKT message dropped: no free packet.\n",
        log.text());
    EXPECT_EQ((Bytes{3, 0, 0, 5}), bytes(sharer));
    feed(frame({3}));
    EXPECT_EQ((std::vector<Bytes>{{3}}), owner.messages);
}

// The full stack over a socket pair, driven by the loop (the connection
// tests exchange messages over it both ways).
class TpktStreamTest : public PoolTest {
protected:
    void SetUp() override {
        owner.add_protocol_tail(new StrmProtocol(sockets.ours));
        owner.add_protocol_tail(tpkt);
        owner.activate();
    }

    TestClock clock;
    SocketPair sockets;
    Owner owner;
    Tpkt_protocol* tpkt = new Tpkt_protocol;
};

// A peer that floods and hangs up: every frame reaches the owner, across
// several passes, before the end of the stream does.
TEST_F(TpktStreamTest, AFloodIsDeliveredWholeBeforeTheHangUp) {
    owner.onMessage = [&] { clock.advanceUs(400); };
    Bytes flood;
    for (int i = 0; i < 50; ++i) flood = flood + frame({uint8_t(i)});
    sockets.write_peer(flood);
    sockets.peer.close();
    int passes = 0;
    for (; owner.reports.empty() && passes < 100; ++passes) pumpPasses(1);
    ASSERT_EQ(50u, owner.messages.size());
    for (int i = 0; i < 50; ++i) EXPECT_EQ(Bytes{uint8_t(i)}, owner.messages[size_t(i)]);
    EXPECT_GT(passes, 5);
    ASSERT_EQ(1u, owner.reports.size());
    EXPECT_FALSE(tpkt->deferred());
}

TEST_F(TpktStreamTest, PartialFrameIsDroppedAfterThreeSecondsOfSilence) {
    StreamCapture log(std::clog);
    sockets.write_peer({3, 0, 0, 10, 1, 2, 3});
    pumpPasses(3);
    advanceAndPump(clock, 2000, 100);
    sockets.write_peer({4});  // a later chunk restarts the wait
    pumpPasses(3);
    advanceAndPump(clock, 2900, 100);
    EXPECT_EQ("", log.text());
    advanceAndPump(clock, 100, 100);
    EXPECT_EQ(" TPKT packet timeout.\n", log.text());
    sockets.write_peer(frame({8}));
    ASSERT_TRUE(pumpUntil([&] { return !owner.messages.empty(); }));
    EXPECT_EQ((std::vector<Bytes>{{8}}), owner.messages);
}

}  // namespace
