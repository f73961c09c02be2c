// One LAPD link against a scripted peer: the procedures frame by frame.

#include "tests/links/lapd_fixture.h"

namespace {

using namespace ISDN;
namespace Q = ISDN::Q921;

// ---- establishment and release ---------------------------------------------------------

class UserLink : public ScriptedLink {};

// One SABME and three more, T200 (1 s) apart, then the last T200.
TEST_F(UserLink, FourSabmeThenTheEstablishmentFails) {
    uint64_t from = clock.nowMs();
    link().local_activate();
    ASSERT_TRUE(runUntil(clock, [&] { return !l3.downs.empty(); }));
    EXPECT_EQ(clock.nowMs() - from, 4000u);
    EXPECT_EQ(sent().size(), 4u);
    EXPECT_TRUE(l3.has("Unsuccessful retransmission (N200 times) - SABME"));
    EXPECT_EQ(l3.downs, std::vector<std::string>{"link error (T200 expired N200 times)"});
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
    inject(u(Q::kDISC, true, true));  // a DISC crossing ours is answered, the release goes on
    EXPECT_EQ(last(), (Frame{0x02, 0x01, 0x73}));
    EXPECT_EQ(l3.state(), AwaitingRelease);
    if (!GetParam().answer.empty()) inject(GetParam().answer);
    ASSERT_TRUE(runUntil(clock, [&] { return !l3.downs.empty(); }));
    EXPECT_EQ(l3.downs, std::vector<std::string>{GetParam().deactivation});
    EXPECT_EQ(l3.state(), TeiAssigned);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Release,
    ::testing::Values(ReleaseCase{"ua", peer::u(Q::kUA, true, false), "success (UA received)"},
                      ReleaseCase{"dm", peer::u(Q::kDM, true, false), "error (DM received)"},
                      ReleaseCase{"none", {}, "link error (T200 expired N200 times)"}),
    [](const ::testing::TestParamInfo<ReleaseCase>& i) { return std::string(i.param.name); });

// ---- the window, acknowledgement and flow control ------------------------------------------

// While the peer is busy messages queue: congestion above 88, discard
// above 127. Then seven go out, the rest waits for acknowledgements, and
// the flow is normal again at 64.
TEST_F(UserLink, WindowOfSevenCongestionAbove88NormalAt64DiscardAbove127) {
    establish();
    inject(s(Q::kRNR, 0, false, false));  // the peer is busy: nothing leaves the queue
    for (uint32_t n = 0; n < 88; ++n) l3.send(n);
    EXPECT_TRUE(l3.flows.empty());
    l3.send(88);
    EXPECT_EQ(l3.flows, std::vector<LAPD::FlowStatus::Type>{LAPD::FlowStatus::congested});
    for (uint32_t n = 89; n < 130; ++n) l3.send(n);
    EXPECT_EQ(link().out_queue.count(), 128u);
    EXPECT_EQ(link().stats.out_overflows, 2u);
    inject(s(Q::kRR, 0, false, false));
    EXPECT_EQ(sent().size(), 1u + 7);
    EXPECT_EQ(link().ack_queue.count(), 7u);
    // One frame acknowledged at a time lets one more go, until 64 wait.
    for (unsigned nr = 1; link().out_queue.count() > 64; ++nr) {
        EXPECT_EQ(l3.flows.size(), 1u) << link().out_queue.count() << " queued";
        inject(s(Q::kRR, nr, false, false));
    }
    EXPECT_EQ(link().out_queue.count(), 64u);
    EXPECT_EQ(link().ack_queue.count(), 7u);
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

// ---- one frame on an established link with two I frames outstanding ---------------------

struct ReactionCase {
    const char* name;
    Frame frame;
    const char* status;  // the MDL error reported, if any
    Frame reply;         // the frame sent in answer, if any
    uint32_t state;
    unsigned outstanding;  // I frames still waiting for acknowledgement
    unsigned shortFrames;  // counted as too short
    unsigned delivered;    // messages handed up
    // What the link sends next by itself, its timer's doing, and when.
    Frame next;
    unsigned nextMs;
};

class Reaction : public UserLink, public ::testing::WithParamInterface<ReactionCase> {};

// The frame arrives half way through T200: whether it restarts the timer,
// stops it for T203 or leaves it shows in when the link sends next.
TEST_P(Reaction, ToOneFrame) {
    const ReactionCase& c = GetParam();
    establish();
    l3.send(1);
    l3.send(2);
    settle();
    advanceAndPump(clock, 500, 500);
    size_t before = sent().size();
    inject(c.frame);
    EXPECT_EQ(l3.statuses,
              c.status ? std::vector<std::string>{c.status} : std::vector<std::string>{});
    EXPECT_EQ(std::vector<Frame>(sent().begin() + long(before), sent().end()),
              c.reply.empty() ? std::vector<Frame>{} : std::vector<Frame>{c.reply});
    EXPECT_EQ(l3.state(), c.state);
    EXPECT_EQ(link().ack_queue.count(), c.outstanding);
    EXPECT_EQ(link().stats.short_frames, c.shortFrames);
    EXPECT_EQ(l3.received.size(), c.delivered);
    EXPECT_EQ(msToNextFrame(), c.nextMs);
    EXPECT_EQ(last(), c.next);
}

// An enquiry (RR command, P = 1) with N(R) 0 or 1.
const Frame kNone, kSabme = {0x00, 0x01, 0x7F}, kPoll = {0x00, 0x01, 0x01, 0x01},
                   kPoll1 = {0x00, 0x01, 0x01, 0x03};
const uint32_t kUp = MultipleFrameEstablished, kAwaiting = AwaitingEstablishment;
// T200 left running, restarted, or stopped for T203.
const unsigned kT200Left = 500, kT200 = 1000, kT203 = 10000;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Frames, Reaction,
    ::testing::Values(
        ReactionCase{"twoOctets", {0x02, 0x01}, nullptr, kNone, kUp, 2, 1, 0, kPoll, kT200Left},
        ReactionCase{"iWithoutNr", {0x02, 0x01, 0x00}, nullptr, kNone, kUp, 2, 1, 0, kPoll,
                     kT200Left},
        ReactionCase{"rrWithoutNr", {0x02, 0x01, 0x01}, nullptr, kNone, kUp, 2, 1, 0, kPoll,
                     kT200Left},
        ReactionCase{"rejWithoutNr", {0x02, 0x01, 0x09}, nullptr, kNone, kUp, 2, 1, 0, kPoll,
                     kT200Left},
        ReactionCase{"firstEaSet", {0x03, 0x01, 0x01, 0x00}, nullptr, kNone, kUp, 2, 0, 0, kPoll,
                     kT200Left},
        ReactionCase{"secondEaClear", {0x02, 0x00, 0x01, 0x00}, nullptr, kNone, kUp, 2, 0, 0,
                     kPoll, kT200Left},
        ReactionCase{"nrBeyondVs", peer::s(Q::kRR, 5, false, false), "Other - N(R) error", kSabme,
                     kAwaiting, 2, 0, 0, kSabme, kT200},
        ReactionCase{"uaFinal", peer::u(Q::kUA, true, false), "UA (F = 1)", kNone, kUp, 2, 0, 0,
                     kPoll, kT200Left},
        ReactionCase{"uaNotFinal", peer::u(Q::kUA, false, false), "UA (F = 0)", kNone, kUp, 2, 0,
                     0, kPoll, kT200Left},
        ReactionCase{"dm", peer::u(Q::kDM, false, false), "Receipt of DM response (F = 0)", kSabme,
                     kAwaiting, 2, 0, 0, kSabme, kT200},
        ReactionCase{"frmr", peer::u(Q::kFRMR, false, false), "Other - Receipt of FRMR response",
                     kSabme, kAwaiting, 2, 0, 0, kSabme, kT200},
        ReactionCase{"sabme", peer::u(Q::kSABME, true, true),
                     "Peer initiated re-establishment - SABME", {0x02, 0x01, 0x73}, kUp, 0, 0, 0,
                     kPoll, kT203},
        ReactionCase{"rrPartial", peer::s(Q::kRR, 1, false, false), nullptr, kNone, kUp, 1, 0, 0,
                     kPoll, kT200},
        ReactionCase{"rrAll", peer::s(Q::kRR, 2, false, false), nullptr, kNone, kUp, 0, 0, 0,
                     kPoll, kT203},
        ReactionCase{"iPartial", peer::i(0, 1, false), nullptr, {0x02, 0x01, 0x01, 0x02}, kUp, 1,
                     0, 1, kPoll1, kT200}),
    [](const ::testing::TestParamInfo<ReactionCase>& i) { return std::string(i.param.name); });
// clang-format on

// ---- timer recovery ---------------------------------------------------------------------------

struct RecoveryCase {
    const char* name;
    unsigned messages;     // I frames the peer never acknowledges
    unsigned firstPollMs;  // from the last event
    unsigned polls;        // before the link re-establishes
};

class Recovery : public UserLink, public ::testing::WithParamInterface<RecoveryCase> {};

// Nobody answers: the link polls in timer recovery, one poll per T200, and
// then establishes anew. Entered through T203 on an idle link the first
// poll leaves the count at 0, so there is one poll more than through T200.
TEST_P(Recovery, UnansweredPollsEndInReEstablishment) {
    const RecoveryCase& c = GetParam();
    establish();
    for (uint32_t n = 0; n < c.messages; ++n) l3.send(n);
    settle();
    for (unsigned k = 0; k < c.polls; ++k) {
        EXPECT_EQ(msToNextFrame(), k == 0 ? c.firstPollMs : 1000u) << "poll " << k;
        EXPECT_EQ(last(), kPoll) << "poll " << k;
        EXPECT_EQ(l3.state(), TimerRecovery) << "poll " << k;
    }
    EXPECT_EQ(msToNextFrame(), 1000u);
    EXPECT_EQ(last(), kSabme);
    EXPECT_EQ(l3.state(), AwaitingEstablishment);
    EXPECT_EQ(l3.statuses, std::vector<std::string>{
                               "Unsuccessful retransmission (N200 times) - Status enquiry"});
}

INSTANTIATE_TEST_SUITE_P(Routes, Recovery,
                         ::testing::Values(RecoveryCase{"idleT203", 0, 10000, 4},
                                           RecoveryCase{"unacknowledgedT200", 1, 1000, 3}),
                         [](const ::testing::TestParamInfo<RecoveryCase>& i) {
                             return std::string(i.param.name);
                         });

// ---- queued messages and the trace --------------------------------------

TEST_F(UserLink, MessagesQueuedBeforeEstablishmentGoOutOnIt) {
    l3.send(1);
    l3.send(2);
    link().local_activate();
    settle();
    ASSERT_EQ(sent().size(), 1u);  // only the SABME
    inject(u(Q::kUA, true, false));
    ASSERT_EQ(sent().size(), 3u);
    EXPECT_EQ(Layer3::number(Frame(sent()[1].begin() + 4, sent()[1].end())), 1u);
    EXPECT_EQ(Layer3::number(Frame(sent()[2].begin() + 4, sent()[2].end())), 2u);
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
    // Asks for a TEI, is given `tei` and establishes with it.
    void assign(uint8_t tei) {
        link().local_activate();
        settle();
        inject(peer::tei(lastRi(), Q::IdentityAssigned, tei));
        inject(u(Q::kUA, true, false, tei));
    }
};

TEST_F(BriUserLink, AskedForATeiItEstablishesWithItAndAnswersChecks) {
    link().local_activate();
    settle();
    ASSERT_EQ(sent().size(), 1u);  // the identity request
    EXPECT_EQ(l3.state(), EstablishAwaitingTei);
    inject(peer::tei(uint16_t(lastRi() + 1), Q::IdentityAssigned, 64));  // not our Ri
    EXPECT_EQ(l3.state(), EstablishAwaitingTei);
    inject(peer::tei(lastRi(), Q::IdentityAssigned, 64));
    EXPECT_EQ(last(), (Frame{0x00, 0x81, 0x7F}));  // SABME with TEI 64
    EXPECT_EQ(l3.state(), AwaitingEstablishment);
    EXPECT_TRUE(l3.has("trying to start T200 while T202 running"));
    EXPECT_TRUE(link().fullState().t200_running);
    EXPECT_FALSE(link().fullState().t202_running);
    inject(u(Q::kUA, true, false, 64));
    uint16_t ri = link().ri;
    inject(peer::tei(0, Q::IdentityCheckRequest, 127));
    EXPECT_EQ(last(), (Frame{0xFC, 0xFF, 0x03, 0x0F, uint8_t(ri), uint8_t(ri >> 8), 0x05, 0x81}));
}

// Data without a TEI asks for one; a denial leaves T202 running.
TEST_F(BriUserLink, ADenialKeepsAskingAndTheFifthExpiryGivesUp) {
    l3.send(1);
    settle();
    EXPECT_EQ(l3.state(), AssignAwaitingTei);
    EXPECT_EQ(last()[6], Q::IdentityRequest);
    inject(peer::tei(lastRi(), Q::IdentityDenied, 127));
    EXPECT_TRUE(l3.has("Tei Assign - Tei denied"));
    EXPECT_NE(log.text().find("ASP returned: All TEI's used"), std::string::npos);
    EXPECT_TRUE(link().fullState().t202_running);
    for (int k = 1; k < 5; ++k) EXPECT_EQ(msToNextFrame(), 2000u) << "request " << k;  // T202
    uint64_t from = clock.nowMs();
    ASSERT_TRUE(runUntil(clock, [&] { return !l3.downs.empty(); }));
    EXPECT_EQ(clock.nowMs() - from, 2000u);
    EXPECT_EQ(l3.downs, std::vector<std::string>{"link error (T202 expired N202 times)"});
    EXPECT_EQ(link().stats.t202_expired, 5u);
    ASSERT_EQ(sent().size(), 5u);
    for (size_t k = 1; k < 5; ++k)
        EXPECT_NE(sent()[k][4] | sent()[k][5] << 8, sent()[k - 1][4] | sent()[k - 1][5] << 8);
    EXPECT_EQ(l3.state(), TeiUnassigned);
}

TEST_F(BriUserLink, RemovalIsFollowedByANewRequest) {
    assign(64);
    uint16_t ri = link().ri;
    inject(peer::tei(0, Q::IdentityRemove, 64));
    EXPECT_EQ(l3.downs, std::vector<std::string>{"error (MDL-REMOVE received)"});
    EXPECT_EQ(l3.state(), AssignAwaitingTei);
    EXPECT_EQ(last()[6], Q::IdentityRequest);
    EXPECT_NE(lastRi(), ri);
    inject(peer::tei(lastRi(), Q::IdentityAssigned, 70));
    EXPECT_EQ(l3.state(), TeiAssigned);
    EXPECT_EQ(link().fullState().self_tei, 70u);
}

// Frames for another TEI are dropped, broadcasts taken: a DISC to 127
// releases the link, and a broadcast call offer makes it establish again.
TEST_F(BriUserLink, TakesFramesForItsTeiAndBroadcasts) {
    assign(64);
    size_t before = sent().size();
    inject(u(Q::kDISC, true, true, 5));
    EXPECT_EQ(sent().size(), before);
    inject(u(Q::kDISC, true, true, 127));
    EXPECT_EQ(sent().size(), before + 1);
    ASSERT_EQ(l3.state(), TeiAssigned);
    inject({0x02, 0xFF, 0x03, 0x08, 0x01, 0x01, 0x05});
    EXPECT_EQ(l3.received.back(), (Frame{0x08, 0x01, 0x01, 0x05}));
    EXPECT_EQ(last(), (Frame{0x00, 0x81, 0x7F}));
    EXPECT_EQ(l3.state(), AwaitingEstablishment);
}

}  // namespace
