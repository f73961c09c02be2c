// One LAPD link against a scripted peer: the procedures frame by frame.

#include "links/lapd.h"

#include "tests/links/lapd_fixture.h"

namespace {

using namespace ISDN;
namespace Q = ISDN::Q921;

// ---- establishment and release ---------------------------------------------------------

class UserLink : public ScriptedLink {};

TEST_F(UserLink, FourSabmeThenTheEstablishmentFails) {
    link().local_activate();
    ASSERT_TRUE(runUntil(clock, [&] { return !l3.deactivations.empty(); }));
    EXPECT_EQ(far.frames.size(), 4u);
    EXPECT_TRUE(l3.has("Unsuccessful retransmission (N200 times) - SABME"));
    EXPECT_EQ(l3.deactivations, std::vector<std::string>{"link error (T200 expired N200 times)"});
    EXPECT_EQ(l3.state(), TeiAssigned);
}

struct ReleaseCase {
    const char* name;
    Frame answer;  // to our DISC
    const char* deactivation;
};

class Release : public UserLink, public ::testing::WithParamInterface<ReleaseCase> {};

TEST_P(Release, EndsInTeiAssigned) {
    establish();
    link().local_deactivate();
    settle();
    EXPECT_EQ(last(), (Frame{0x00, 0x01, 0x53}));  // DISC, P = 1
    EXPECT_EQ(l3.state(), AwaitingRelease);
    inject(peer::u(Q::kDISC, true, true));  // a DISC crossing ours is answered, the release goes on
    EXPECT_EQ(last(), (Frame{0x02, 0x01, 0x73}));
    EXPECT_EQ(l3.state(), AwaitingRelease);
    if (!GetParam().answer.empty()) inject(GetParam().answer);
    ASSERT_TRUE(runUntil(clock, [&] { return !l3.deactivations.empty(); }));
    EXPECT_EQ(l3.deactivations, std::vector<std::string>{GetParam().deactivation});
    EXPECT_EQ(l3.state(), TeiAssigned);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Release,
    ::testing::Values(ReleaseCase{"ua", peer::u(Q::kUA, true, false), "success (UA received)"},
                      ReleaseCase{"dm", peer::u(Q::kDM, true, false), "error (DM received)"},
                      ReleaseCase{"none", {}, "link error (T200 expired N200 times)"}),
    [](const ::testing::TestParamInfo<ReleaseCase>& i) { return std::string(i.param.name); });

// ---- the window, acknowledgement and flow control ------------------------------------------

TEST_F(UserLink, TheEighthMessageWaitsForAnAcknowledgement) {
    establish();
    for (uint32_t n = 0; n < 8; ++n) l3.send(n);
    settle();
    EXPECT_EQ(far.frames.size(), 1u + 7);
    EXPECT_EQ(link().out_queue.count(), 1u);
    inject(peer::s(Q::kRR, 3, false, false));  // three acknowledged: the last goes out
    EXPECT_EQ(far.frames.size(), 1u + 8);
    EXPECT_EQ(last()[2], 7 << 1);  // N(S) 7
    EXPECT_EQ(link().ack_queue.count(), 5u);
}

TEST_F(UserLink, AnIFrameInSequenceIsDeliveredAndAcknowledged) {
    establish();
    inject(peer::i(0, 0, false));
    EXPECT_EQ(l3.received, (std::vector<Frame>{{0x08, 0x01, 0x01, 0x05}}));
    EXPECT_EQ(last(), (Frame{0x02, 0x01, 0x01, 0x02}));  // RR response, N(R) 1, F = 0
    inject(peer::i(2, 0, false));                        // out of sequence: one REJ
    inject(peer::i(3, 0, false));                        // nothing more
    inject(peer::i(3, 0, true));                         // ... unless polled
    EXPECT_EQ(far.frames.size(), 1u + 3);
    EXPECT_EQ(far.frames[2], (Frame{0x02, 0x01, 0x09, 0x02}));  // REJ, N(R) 1
    EXPECT_EQ(far.frames[3], (Frame{0x02, 0x01, 0x01, 0x03}));  // RR, F = 1
    EXPECT_EQ(link().stats.rejected, 3u);
    inject(peer::i(1, 0, false));  // in sequence again
    EXPECT_EQ(l3.received.size(), 2u);
    EXPECT_FALSE(link().fullState().reject_exception);
}

TEST_F(UserLink, AnNrOutsideTheWindowReEstablishes) {
    establish();
    inject(peer::s(Q::kRR, 5, false, false));
    EXPECT_TRUE(l3.has("Other - N(R) error"));
    EXPECT_EQ(link().stats.bad_nr, 1u);
    EXPECT_EQ(last(), (Frame{0x00, 0x01, 0x7F}));
    EXPECT_EQ(l3.state(), AwaitingEstablishment);
}

TEST_F(UserLink, CongestionAbove88NormalAt64DiscardAbove127) {
    establish();
    inject(peer::s(Q::kRNR, 0, false, false));  // the peer is busy: nothing leaves the queue
    for (uint32_t n = 0; n < 130; ++n) l3.send(n);
    EXPECT_EQ(link().out_queue.count(), 128u);
    EXPECT_EQ(link().stats.out_overflows, 2u);
    EXPECT_EQ(l3.flows, std::vector<LAPD::FlowStatus::Type>{LAPD::FlowStatus::congested});
    // Acknowledge seven frames at a time until the queue has drained to 64.
    inject(peer::s(Q::kRR, 0, false, false));
    for (unsigned nr = 7; link().out_queue.count() > 64; nr = (nr + 7) % 128) {
        EXPECT_EQ(l3.flows.size(), 1u) << link().out_queue.count() << " queued";
        inject(peer::s(Q::kRR, nr, false, false));
    }
    EXPECT_EQ(l3.flows.back(), LAPD::FlowStatus::normal);
}

TEST_F(UserLink, GetInfoReportsChangesOnly) {
    ACP::IsdnLinkInfo info;
    EXPECT_TRUE(link().GetInfo(info));
    EXPECT_FALSE(link().GetInfo(info));
    l3.send(1);
    EXPECT_TRUE(link().GetInfo(info));
    EXPECT_EQ(info.get_queueOut().getValue(), 1);
    EXPECT_EQ(info.get_lapdState().getValue(), int(TeiAssigned));
    EXPECT_EQ(info.get_msuTxCount().getValue(), 1);
}

// ---- timer recovery ------------------------------------------------------------------------

TEST_F(UserLink, T203PollsAnIdleLink) {
    establish();
    ASSERT_TRUE(runUntil(clock, [&] { return l3.state() == TimerRecovery; }));
    EXPECT_EQ(link().stats.t203_expired, 1u);
    EXPECT_EQ(last(), (Frame{0x00, 0x01, 0x01, 0x01}));
    inject(peer::s(Q::kRR, 0, true, false));
    EXPECT_EQ(l3.state(), MultipleFrameEstablished);
}

// ---- mended faults ---------------------------------------------------------------------------

struct ShortCase {
    const char* name;
    Frame frame;
};

class ShortFrames : public UserLink, public ::testing::WithParamInterface<ShortCase> {};

TEST_P(ShortFrames, AreDroppedAndCounted) {
    establish();
    size_t sent = far.frames.size();
    inject(GetParam().frame);
    EXPECT_EQ(link().stats.short_frames, 1u);
    EXPECT_EQ(far.frames.size(), sent);
    EXPECT_TRUE(l3.statuses.empty());
    EXPECT_EQ(l3.state(), MultipleFrameEstablished);
    EXPECT_EQ(unsigned(link().fullState().vr), 0u);
}

INSTANTIATE_TEST_SUITE_P(Frames, ShortFrames,
                         ::testing::Values(ShortCase{"twoOctets", {0x02, 0x01}},
                                           ShortCase{"iWithoutNr", {0x02, 0x01, 0x00}},
                                           ShortCase{"rrWithoutNr", {0x02, 0x01, 0x01}},
                                           ShortCase{"rejWithoutNr", {0x02, 0x01, 0x09}}),
                         [](const ::testing::TestParamInfo<ShortCase>& i) {
                             return std::string(i.param.name);
                         });

TEST_F(UserLink, AFrameWithAWrongAddressBitIsDroppedUncounted) {
    establish();
    size_t sent = far.frames.size();
    inject({0x03, 0x01, 0x01, 0x00});
    inject({0x02, 0x00, 0x01, 0x00});
    EXPECT_EQ(far.frames.size(), sent);
    EXPECT_EQ(link().stats.short_frames, 0u);
}

TEST_F(UserLink, MessagesQueuedBeforeEstablishmentGoOutOnIt) {
    l3.send(1);
    l3.send(2);
    link().local_activate();
    settle();
    ASSERT_EQ(far.frames.size(), 1u);  // only the SABME
    inject(peer::u(Q::kUA, true, false));
    ASSERT_EQ(far.frames.size(), 3u);
    EXPECT_EQ(Layer3::number(Frame(far.frames[1].begin() + 4, far.frames[1].end())), 1u);
    EXPECT_EQ(Layer3::number(Frame(far.frames[2].begin() + 4, far.frames[2].end())), 2u);
}

TEST_F(UserLink, AUaOnAnEstablishedLinkKeepsItsWindow) {
    establish();
    l3.send(1);
    l3.send(2);
    settle();
    inject(peer::u(Q::kUA, true, false));
    EXPECT_TRUE(l3.has("UA (F = 1)"));
    EXPECT_EQ(l3.state(), MultipleFrameEstablished);
    EXPECT_EQ(unsigned(link().fullState().vs), 2u);
    EXPECT_EQ(link().ack_queue.count(), 2u);
    inject(peer::u(Q::kUA, false, false));
    EXPECT_TRUE(l3.has("UA (F = 0)"));
    inject(peer::s(Q::kRR, 2, false, false));
    EXPECT_EQ(link().ack_queue.count(), 0u);
}

TEST_F(UserLink, TheTraceShowsEachFrameThroughThePrinter) {
    link().log = 3;
    establish();
    std::string text = log.text();
    EXPECT_NE(
        text.find("LAPD[0] (TEI assigned): tx:  00 01 7F\nframe user->network SFrame tei = 0"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("rx: 00 01 73"), std::string::npos);  // the UA's hex line
    EXPECT_NE(
        text.find("change state \"Awaiting establishment\" -> \"Multiple frame established\""),
        std::string::npos);
}

// ---- the BRI user side's TEI ----------------------------------------------------------------

class BriUserLink : public ScriptedLink {
  protected:
    BriUserLink() : ScriptedLink(Side::user, true) {
        link().mdl_remove();  // no TEI yet
    }
    // The Ri of the identity request the peer last saw.
    uint16_t lastRi() const { return uint16_t(last()[4] | last()[5] << 8); }
    void assign(uint8_t tei) {
        link().local_activate();
        settle();
        inject(peer::tei(lastRi(), Q::IdentityAssigned, tei));
    }
};

TEST_F(BriUserLink, AskedForATeiItEstablishesWithIt) {
    link().local_activate();
    settle();
    ASSERT_EQ(far.frames.size(), 1u);
    EXPECT_EQ(Frame(last().begin(), last().begin() + 4), (Frame{0xFC, 0xFF, 0x03, 0x0F}));
    EXPECT_EQ(Frame(last().begin() + 6, last().end()),
              (Frame{0x01, 0xFF}));  // identity request, Ai 127
    EXPECT_EQ(l3.state(), EstablishAwaitingTei);
    inject(peer::tei(uint16_t(lastRi() + 1), Q::IdentityAssigned, 64));  // not our Ri
    EXPECT_EQ(l3.state(), EstablishAwaitingTei);
    inject(peer::tei(lastRi(), Q::IdentityAssigned, 64));
    EXPECT_EQ(last(), (Frame{0x00, 0x81, 0x7F}));  // SABME with TEI 64
    EXPECT_EQ(l3.state(), AwaitingEstablishment);
    EXPECT_TRUE(l3.has("trying to start T200 while T202 running"));
    EXPECT_TRUE(link().fullState().t200_running);
    EXPECT_FALSE(link().fullState().t202_running);
}

TEST_F(BriUserLink, ADenialKeepsAskingAndTheFifthExpiryGivesUp) {
    l3.send(1);
    settle();
    inject(peer::tei(lastRi(), Q::IdentityDenied, 127));
    EXPECT_TRUE(l3.has("Tei Assign - Tei denied"));
    EXPECT_NE(log.text().find("ASP returned: All TEI's used"), std::string::npos);
    EXPECT_TRUE(link().fullState().t202_running);
    ASSERT_TRUE(runUntil(clock, [&] { return !l3.deactivations.empty(); }));
    EXPECT_EQ(l3.deactivations, std::vector<std::string>{"link error (T202 expired N202 times)"});
    EXPECT_EQ(link().stats.t202_expired, 5u);
    ASSERT_EQ(far.frames.size(), 5u);
    for (size_t k = 1; k < 5; ++k)
        EXPECT_NE(far.frames[k][4] | far.frames[k][5] << 8,
                  far.frames[k - 1][4] | far.frames[k - 1][5] << 8);
    EXPECT_EQ(l3.state(), TeiUnassigned);
}

TEST_F(BriUserLink, ACheckIsAnsweredWithTheLastRi) {
    assign(64);
    uint16_t ri = link().ri;
    inject(peer::u(Q::kUA, true, false, 64));
    inject(peer::tei(0, Q::IdentityCheckRequest, 127));
    EXPECT_EQ(last(), (Frame{0xFC, 0xFF, 0x03, 0x0F, uint8_t(ri), uint8_t(ri >> 8), 0x05, 0x81}));
}

TEST_F(BriUserLink, RemovalIsFollowedByANewRequest) {
    assign(64);
    inject(peer::u(Q::kUA, true, false, 64));
    uint16_t ri = link().ri;
    inject(peer::tei(0, Q::IdentityRemove, 64));
    EXPECT_EQ(l3.deactivations, std::vector<std::string>{"error (MDL-REMOVE received)"});
    EXPECT_EQ(l3.state(), AssignAwaitingTei);
    EXPECT_EQ(last()[6], Q::IdentityRequest);
    EXPECT_NE(lastRi(), ri);
}

TEST_F(BriUserLink, FramesForAnotherTeiAreDropped) {
    assign(64);
    inject(peer::u(Q::kUA, true, false, 64));
    size_t sent = far.frames.size();
    inject(peer::u(Q::kDISC, true, true, 5));
    EXPECT_EQ(far.frames.size(), sent);
    inject(peer::u(Q::kDISC, true, true, 127));
    EXPECT_EQ(far.frames.size(), sent + 1);
}

TEST_F(BriUserLink, DataWithoutATeiAsksForOne) {
    l3.send(1);
    settle();
    EXPECT_EQ(l3.state(), AssignAwaitingTei);
    ASSERT_EQ(far.frames.size(), 1u);
    EXPECT_EQ(last()[6], Q::IdentityRequest);
    EXPECT_TRUE(link().fullState().t202_running);
    inject(peer::tei(lastRi(), Q::IdentityAssigned, 70));
    EXPECT_EQ(l3.state(), TeiAssigned);
    EXPECT_EQ(link().fullState().self_tei, 70u);
}

TEST_F(BriUserLink, ABroadcastCallOfferMakesTheTerminalEstablish) {
    assign(64);
    inject(peer::u(Q::kUA, true, false, 64));
    link().local_deactivate();
    inject(peer::u(Q::kUA, true, false, 64));
    ASSERT_EQ(l3.state(), TeiAssigned);
    inject({0x02, 0xFF, 0x03, 0x08, 0x01, 0x01, 0x05});
    EXPECT_EQ(l3.received.back(), (Frame{0x08, 0x01, 0x01, 0x05}));
    EXPECT_EQ(last(), (Frame{0x00, 0x81, 0x7F}));
    EXPECT_EQ(l3.state(), AwaitingEstablishment);
}

}  // namespace
