// Two LAPD links, user and network side of a primary-rate D channel, back
// to back on the test clock.

#include "links/lapd.h"
#include "tests/links/lapd_fixture.h"

namespace {

using namespace ISDN;

class PriPair : public ::testing::Test {
  protected:
    PriPair() {
        pair.a.bind(user);
        pair.b.bind(network);
        pair.a.record = pair.b.record = true;
        pair.open();
    }

    void establish() {
        user.link->local_activate();
        ASSERT_TRUE(
            runUntil(clock, [&] { return user.activations == 1 && network.activations == 1; }));
    }

    // Sends `count` numbered messages each way, keeping at most `window`
    // queued on each side, and runs until all have arrived.
    void exchange(uint32_t count, unsigned window = 100) {
        uint32_t sentUser = 0, sentNetwork = 0;
        auto more = [&](Layer3& l3, uint32_t& sent) {
            while (sent < count && l3.link->out_queue.count() < window) l3.send(sent++);
        };
        ASSERT_TRUE(runUntil(clock, [&] {
            more(user, sentUser);
            more(network, sentNetwork);
            return user.received.size() >= count && network.received.size() >= count;
        }));
    }

    static void expectInOrderOnce(const Layer3& l3, uint32_t count) {
        ASSERT_EQ(l3.received.size(), count);
        for (uint32_t n = 0; n < count; ++n) ASSERT_EQ(Layer3::number(l3.received[n]), n);
    }

    // The N(S) of every I frame an end sent.
    static std::vector<unsigned> iFrames(const HdlcPair::End& end) {
        std::vector<unsigned> ns;
        for (const Frame& f : end.sent)
            if (f.size() > 4 && (f[2] & 1) == 0) ns.push_back(f[2] >> 1);
        return ns;
    }

    StreamCapture log{std::clog};
    TestClock clock;
    HdlcPair pair{3};
    Layer3 user{Side::user, pair.a};
    Layer3 network{Side::network, pair.b};
};

TEST_F(PriPair, EstablishesFromEitherSideOrBoth) {
    for (int who = 0; who < 3; ++who) {
        if (who != 1) user.link->local_activate();
        if (who != 0) network.link->local_activate();
        ASSERT_TRUE(runUntil(clock, [&] {
            return user.state() == MultipleFrameEstablished &&
                   network.state() == MultipleFrameEstablished;
        })) << who;
        user.link->local_deactivate();
        ASSERT_TRUE(runUntil(
            clock, [&] { return user.state() == TeiAssigned && network.state() == TeiAssigned; }));
    }
    EXPECT_EQ(user.activations, 3);
    EXPECT_EQ(network.activations, 3);
}

TEST_F(PriPair, TenThousandFramesEachWayInOrderExactlyOnce) {
    establish();
    exchange(10000);
    expectInOrderOnce(user, 10000);
    expectInOrderOnce(network, 10000);
    EXPECT_TRUE(user.statuses.empty());
}

TEST_F(PriPair, LostFramesCostNoMessage) {
    pair.a.line.loss = pair.b.line.loss = 0.02;
    establish();
    exchange(2000, 20);
    expectInOrderOnce(user, 2000);
    expectInOrderOnce(network, 2000);
    EXPECT_GT(user.link->stats.retrains + network.link->stats.retrains, 0u);
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
    runUntil(clock, [&] {
        for (Layer3* l3 : {&user, &network}) {
            if (l3->state() == TeiAssigned) l3->link->local_activate();
            while (l3->link->out_queue.count() < 10) l3->send(n++);
        }
        return clock.nowMs() >= end;
    });
    pair.a.line = pair.b.line = HdlcPair::Line();
    ASSERT_TRUE(runUntil(clock, [&] {
        for (Layer3* l3 : {&user, &network})
            if (l3->state() == TeiAssigned) l3->link->local_activate();
        return user.state() == MultipleFrameEstablished &&
               network.state() == MultipleFrameEstablished && user.link->out_queue.empty() &&
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

TEST_F(PriPair, ALostFrameIsRejectedAndResent) {
    establish();
    int iSeen = 0;
    pair.a.line.tamper = [&](Frame& f) {
        return !(f.size() > 4 && (f[2] & 1) == 0 && ++iSeen == 3);
    };
    for (uint32_t n = 0; n < 6; ++n) user.send(n);
    ASSERT_TRUE(runUntil(clock, [&] { return network.received.size() == 6; }));
    expectInOrderOnce(network, 6);
    EXPECT_EQ(network.link->stats.rejected, 3u);  // N(S) 3, 4 and 5 before the resent 2
    EXPECT_EQ(iFrames(pair.a), (std::vector<unsigned>{0, 1, 2, 3, 4, 5, 2, 3, 4, 5}));
    EXPECT_EQ(user.state(), MultipleFrameEstablished);
}

TEST_F(PriPair, ALostLastFrameIsRecoveredByEnquiry) {
    establish();
    bool dropped = false;
    pair.a.line.tamper = [&](Frame& f) {
        bool drop = !dropped && f.size() > 4 && (f[2] & 1) == 0;
        dropped = dropped || drop;
        return !drop;
    };
    user.send(7);
    ASSERT_TRUE(runUntil(clock, [&] { return network.received.size() == 1; }));
    EXPECT_EQ(user.link->stats.t200_expired, 1u);
    EXPECT_EQ(user.state(), MultipleFrameEstablished);
    EXPECT_EQ(Layer3::number(network.received[0]), 7u);
}

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

TEST_F(PriPair, EitherSideReleases) {
    establish();
    network.link->local_deactivate();
    ASSERT_TRUE(runUntil(
        clock, [&] { return !user.deactivations.empty() && !network.deactivations.empty(); }));
    EXPECT_EQ(user.deactivations, std::vector<std::string>{"remote error (DISC received)"});
    EXPECT_EQ(network.deactivations, std::vector<std::string>{"success (UA received)"});
}

TEST_F(PriPair, ARefusingChannelDelaysButLosesNothing) {
    establish();
    pair.a.line.capacity = 2;
    pair.a.refuse(3);
    for (uint32_t n = 0; n < 50; ++n) user.send(n);
    ASSERT_TRUE(runUntil(clock, [&] { return network.received.size() == 50; }));
    expectInOrderOnce(network, 50);
    EXPECT_GT(pair.a.counters.refused, 3u);
}

}  // namespace
