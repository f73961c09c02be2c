// Two LAPD links, user and network side of a primary-rate D channel, back
// to back on the test clock.

#include "tests/links/lapd_fixture.h"

namespace {

using namespace ISDN;

class PriPair : public ::testing::Test {
  protected:
    PriPair() {
        pair.a.bind(user);
        pair.b.bind(network);
        pair.a.record = true;
        pair.open();
    }

    void establish() {
        user.link->local_activate();
        ASSERT_TRUE(
            runUntil(clock, [&] { return user.activations == 1 && network.activations == 1; }));
    }
    bool bothIn(uint32_t state) { return user.state() == state && network.state() == state; }

    // Sends `count` numbered messages each way, keeping at most `window`
    // queued on each side; each must arrive once, in order.
    void exchange(uint32_t count, unsigned window) {
        uint32_t sent[2] = {0, 0};
        Layer3* ends[2] = {&user, &network};
        ASSERT_TRUE(runUntil(clock, [&] {
            for (int k = 0; k < 2; ++k)
                while (sent[k] < count && ends[k]->link->out_queue.count() < window)
                    ends[k]->send(sent[k]++);
            return user.received.size() >= count && network.received.size() >= count;
        }));
        for (Layer3* l3 : ends) expectInOrderOnce(*l3, count);
    }
    static void expectInOrderOnce(const Layer3& l3, uint32_t count) {
        ASSERT_EQ(l3.received.size(), count);
        for (uint32_t n = 0; n < count; ++n) ASSERT_EQ(Layer3::number(l3.received[n]), n);
    }

    StreamCapture log{std::clog};
    TestClock clock;
    HdlcPair pair{3};
    Layer3 user{Side::user, pair.a};
    Layer3 network{Side::network, pair.b};
};

// Established from the user side, the network side and both at once; each
// time released by the other side than the time before.
TEST_F(PriPair, EstablishesAndReleasesFromEitherSide) {
    for (int who = 0; who < 3; ++who) {
        if (who != 1) user.link->local_activate();
        if (who != 0) network.link->local_activate();
        ASSERT_TRUE(runUntil(clock, [&] { return bothIn(MultipleFrameEstablished); })) << who;
        Layer3& releasing = who == 1 ? user : network;
        Layer3& released = who == 1 ? network : user;
        releasing.link->local_deactivate();
        ASSERT_TRUE(runUntil(clock, [&] { return bothIn(TeiAssigned); }));
        EXPECT_EQ(releasing.downs.back(), "success (UA received)");
        EXPECT_EQ(released.downs.back(), "remote error (DISC received)");
    }
    EXPECT_EQ(user.activations, 3);
    EXPECT_EQ(network.activations, 3);
}

struct LineCase {
    const char* name;
    uint32_t count;
    unsigned window;  // messages queued at most
    double loss;
    unsigned capacity;  // frames in flight before the user's channel refuses
    unsigned refusals;  // forced on the user's channel
};

class PriTraffic : public PriPair, public ::testing::WithParamInterface<LineCase> {};

// Messages both ways arrive once and in order, whatever the line loses and
// the channel refuses.
TEST_P(PriTraffic, InOrderExactlyOnce) {
    const LineCase& c = GetParam();
    pair.a.line.loss = pair.b.line.loss = c.loss;
    establish();
    pair.a.line.capacity = c.capacity;
    pair.a.refuse(c.refusals);
    exchange(c.count, c.window);
    EXPECT_TRUE(c.loss == 0 || user.link->stats.retrains + network.link->stats.retrains > 0);
    EXPECT_TRUE(c.refusals == 0 || pair.a.counters.refused > c.refusals);
    EXPECT_TRUE(c.loss > 0 || (user.statuses.empty() && network.statuses.empty()));
}

INSTANTIATE_TEST_SUITE_P(Lines, PriTraffic,
                         ::testing::Values(LineCase{"clean", 10000, 100, 0, 0, 0},
                                           LineCase{"lossy", 2000, 20, 0.02, 0, 0},
                                           LineCase{"refusing", 50, 100, 0, 2, 3}),
                         [](const ::testing::TestParamInfo<LineCase>& i) {
                             return std::string(i.param.name);
                         });

struct LostCase {
    const char* name;
    uint32_t messages;
    int lost;                  // which of the user's I frames the line loses (1 is the first)
    std::vector<unsigned> ns;  // of every I frame the user sent
    unsigned rejected, t200;   // at the network side, at the user side
};

class PriLostFrame : public PriPair, public ::testing::WithParamInterface<LostCase> {};

// A lost I frame with others behind it is asked for again by REJ; a lost
// last one is found by T200's enquiry. Either way it is sent again.
TEST_P(PriLostFrame, IsSentAgain) {
    const LostCase& c = GetParam();
    establish();
    int iSeen = 0;
    pair.a.line.tamper = [&](Frame& f) {
        return !(f.size() > 4 && (f[2] & 1) == 0 && ++iSeen == c.lost);
    };
    for (uint32_t n = 0; n < c.messages; ++n) user.send(n);
    ASSERT_TRUE(runUntil(
        clock, [&] { return network.received.size() == c.messages && pair.inFlight() == 0; }));
    expectInOrderOnce(network, c.messages);
    std::vector<unsigned> ns;
    for (const Frame& f : pair.a.sent)
        if (f.size() > 4 && (f[2] & 1) == 0) ns.push_back(f[2] >> 1);
    EXPECT_EQ(ns, c.ns);
    EXPECT_EQ(network.link->stats.rejected, c.rejected);
    EXPECT_EQ(user.link->stats.t200_expired, c.t200);
    EXPECT_EQ(user.state(), MultipleFrameEstablished);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, PriLostFrame,
    ::testing::Values(LostCase{"rejected", 6, 3, {0, 1, 2, 3, 4, 5, 2, 3, 4, 5}, 3, 0},
                      LostCase{"enquired", 1, 1, {0, 0}, 0, 1}),
    [](const ::testing::TestParamInfo<LostCase>& i) { return std::string(i.param.name); });

TEST_F(PriPair, ACutLineEndsInReEstablishment) {
    establish();
    pair.b.line.loss = 1;  // nothing reaches the user any more
    user.send(1);
    ASSERT_TRUE(runUntil(clock, [&] {
        return user.has("Unsuccessful retransmission (N200 times) - Status enquiry");
    }));
    EXPECT_EQ(user.state(), AwaitingEstablishment);
    pair.b.line.loss = 0;
    ASSERT_TRUE(runUntil(clock, [&] { return user.state() == MultipleFrameEstablished; }));
    EXPECT_TRUE(network.has("Peer initiated re-establishment - SABME"));
}

// Bit errors the channel's check would have caught reach the links here:
// whatever they make of them, both come back and carry messages again.
TEST_F(PriPair, UndetectedBitErrorsNeverWedgeTheLinks) {
    pair.a.line.corruption = pair.b.line.corruption = 0.05;
    pair.a.line.loss = pair.b.line.loss = 0.02;
    pair.a.line.bitRate = pair.b.line.bitRate = 64000;
    establish();
    uint32_t n = 0;
    uint64_t end = clock.nowMs() + 60000;
    auto keepUp = [&] {
        for (Layer3* l3 : {&user, &network})
            if (l3->state() == TeiAssigned) l3->link->local_activate();
    };
    runUntil(clock, [&] {
        keepUp();
        for (Layer3* l3 : {&user, &network})
            while (l3->link->out_queue.count() < 10) l3->send(n++);
        return clock.nowMs() >= end;
    });
    pair.a.line = pair.b.line = HdlcPair::Line();
    ASSERT_TRUE(runUntil(clock, [&] {
        keepUp();
        return bothIn(MultipleFrameEstablished) && user.link->out_queue.empty() &&
               network.link->out_queue.empty() && user.link->ack_queue.empty() &&
               network.link->ack_queue.empty() && pair.inFlight() == 0;
    }));
    EXPECT_GT(user.statuses.size() + network.statuses.size(),
              0u);  // the errors did reach the links
    user.received.clear();
    for (uint32_t k = 0; k < 10; ++k) network.send(k);
    ASSERT_TRUE(runUntil(clock, [&] { return user.received.size() == 10; }));
    expectInOrderOnce(user, 10);
}

}  // namespace
