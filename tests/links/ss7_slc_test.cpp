// The SS7 link against a recording channel: alignment, LSSU reactions,
// timers, signal-unit coding and basic error correction unit by unit.

#include "links/ss7_slc.h"

#include <gtest/gtest.h>

#include <iostream>

#include "tests/links/ss7_unit_harness.h"
#include "tests/support/capture.h"
#include "tests/support/test_clock.h"

namespace {

using SS7::SLC;
typedef SLC::State S;

class SlcTest : public ::testing::Test {
protected:
    SlcTest() { link.hdlc = &channel; }

    void feed(const Bytes& u) {
        Packet p = packet(u, 0);
        link.receive(p);
    }
    void lssu(uint8_t status) { feed(unit(127, 1, 127, 1, {status})); }
    // Activated, SIN from the far end (proving), then a FISU: in service.
    void bring_up() {
        link.local_activate();
        lssu(SLC::SIN);
        feed(unit(127, 1, 127, 1));
        ASSERT_EQ(S::worked, link.get_state_id());
        recorder.sent.clear();
    }
    bool send(const Bytes& msu) {
        Packet p = packet(msu);
        return link.message(p);
    }
    const Bytes& last() const { return recorder.sent.back(); }

    TestClock clock;
    StreamCapture out{std::clog};
    StreamCapture err{std::cerr};
    RecordingChannel recorder;
    HdlcPair::End& channel = recorder.end;
    LinkFamily family;
    SLC& link = *family.link;
};

TEST_F(SlcTest, NewLinkSendsAndPrintsNothing) {
    EXPECT_EQ(S::idle, link.get_state_id());
    EXPECT_TRUE(recorder.sent.empty());
    EXPECT_EQ("", out.text() + err.text());
}

class AlignmentTest : public SlcTest, public ::testing::WithParamInterface<bool> {};

// Both sides' states through alignment and proving, normal and emergency.
TEST_P(AlignmentTest, ProvingLastsT4ThenAlignedReadyThenService) {
    bool emergency = GetParam();
    link.emergency = emergency;
    uint8_t sent_status = emergency ? SLC::SIE : SLC::SIN;
    link.local_activate();
    EXPECT_EQ((Bytes{0xFF, 0xFF, 0x01, SLC::SIO}), last());
    lssu(SLC::SIO);
    EXPECT_EQ(S::aligned, link.get_state_id());
    EXPECT_EQ((Bytes{0xFF, 0xFF, 0x01, sent_status}), last());
    lssu(SLC::SIN);
    EXPECT_EQ(S::proving, link.get_state_id());
    unsigned t4 = emergency ? 500 : 8200;
    advanceAndPump(clock, t4 - 1, t4 - 1);
    EXPECT_EQ(S::proving, link.get_state_id());
    advanceAndPump(clock, 1, 1);
    EXPECT_EQ(S::aligned_ready, link.get_state_id());
    EXPECT_EQ((Bytes{0xFF, 0xFF, 0x00}), last());
    EXPECT_EQ(0, family.activations);
    feed(unit(127, 1, 127, 1));
    EXPECT_EQ(S::worked, link.get_state_id());
    EXPECT_EQ(1, family.activations);
}

INSTANTIATE_TEST_SUITE_P(NormalAndEmergency, AlignmentTest, ::testing::Bool());

// An LSSU's effect by state; states reached through the far end's LSSUs.
TEST_F(SlcTest, LssuReactionsByState) {
    struct Case {
        std::vector<uint8_t> path;  // LSSUs that lead to the state, after activation
        uint8_t status;
        S::type after;
    } cases[] = {
        {{}, 7, S::not_aligned},
        {{}, SLC::SIOS, S::not_aligned},
        {{SLC::SIO}, SLC::SIOS, S::aligned},
        {{SLC::SIO}, SLC::SIO, S::aligned},
        {{SLC::SIO}, SLC::SIE, S::proving},
        {{SLC::SIN}, SLC::SIE, S::proving},
        {{SLC::SIN}, SLC::SIO, S::idle},
        {{SLC::SIN}, 7, S::idle},
    };
    for (const Case& c : cases) {
        LinkFamily f;
        f.link->hdlc = &channel;
        f.link->local_activate();
        SlcTest::link.local_deactivate();
        for (uint8_t s : c.path) {
            Packet p = packet(unit(127, 1, 127, 1, {s}), 0);
            f.link->receive(p);
        }
        Packet p = packet(unit(127, 1, 127, 1, {c.status}), 0);
        f.link->receive(p);
        EXPECT_EQ(c.after, f.link->get_state_id()) << int(c.status);
    }
}

TEST_F(SlcTest, TimersTakeTheLinkToIdle) {
    link.trace.timers = true;
    struct Case {
        std::vector<uint8_t> path;
        unsigned ms;
        const char* line;
    } cases[] = {
        {{}, 7000, "T2 expired"},
        {{SLC::SIO}, 1500, "T3 expired"},
    };
    for (const Case& c : cases) {
        link.local_activate();
        for (uint8_t s : c.path) lssu(s);
        advanceAndPump(clock, c.ms - 1, c.ms - 1);
        EXPECT_NE(S::idle, link.get_state_id());
        advanceAndPump(clock, 1, 1);
        EXPECT_EQ(S::idle, link.get_state_id());
        EXPECT_NE(std::string::npos, out.text().find(c.line));
    }
    link.local_activate();
    lssu(SLC::SIN);
    advanceAndPump(clock, 8200 + 45000, 100);
    EXPECT_EQ(S::idle, link.get_state_id());
    EXPECT_NE(std::string::npos, out.text().find("T1 expired"));
    EXPECT_EQ(3u, family.downs.size());
}

TEST_F(SlcTest, DeactivationAndTrunkLoss) {
    link.local_deactivate();
    EXPECT_EQ((Bytes{0xFF, 0xFF, 0x01, SLC::SIOS}), last());
    EXPECT_EQ(std::vector<std::string>{"impossible phasing"}, family.downs);
    link.OnTrunkHardStatus(false);
    EXPECT_EQ("", out.text());
    bring_up();
    link.OnTrunkHardStatus(true);
    EXPECT_EQ(S::worked, link.get_state_id());
    link.OnTrunkHardStatus(false);
    EXPECT_EQ(S::idle, link.get_state_id());
    EXPECT_EQ("SS7/L2 [dpc=0, slc=0, trunk=0] (worked):  transport OFF by low level terminated\n", out.text());
}

TEST_F(SlcTest, ActivationWhileAligningIsIgnored) {
    link.trace.mtp_activate = true;
    link.local_activate();
    lssu(SLC::SIN);
    link.local_activate();
    EXPECT_EQ(S::proving, link.get_state_id());
    EXPECT_NE(std::string::npos, out.text().find("(proving): local_activate: ignored.\n"));
}

TEST_F(SlcTest, LengthIndicatorOfSentMsus) {
    bring_up();
    for (unsigned n : {3u, 62u, 63u, 200u}) {
        ASSERT_TRUE(send(Bytes(n, 0x55)));
        EXPECT_EQ(n < 63 ? n : 63, last()[2]) << n;
        EXPECT_EQ(n + 3, last().size());
    }
    EXPECT_EQ((Bytes{0xFF, 0x81, 62}), Bytes(recorder.sent[1].begin(), recorder.sent[1].begin() + 3));
}

// Units off the line with their length errors: what reaches the state.
TEST_F(SlcTest, ReceivedLengthRules) {
    bring_up();
    struct Case {
        Bytes unit;
        size_t delivered;  // octets handed up; 0 when nothing is
        const char* error;
    } cases[] = {
        {{0xFF, 0x80}, 0, "ignore packet, length too small FF 80\n"},
        {unit(127, 1, 0, 1, Bytes(8, 1), 5), 5, "truncate 3 octet(s) : 01 01 01 01 01 01 01 01\n"},
        {unit(127, 1, 1, 1, Bytes(70, 2), 20), 70, "can't truncate signalling unit.\n"},
        {unit(127, 1, 1, 1, {}, 0x43), 0, "expected = 67, received = 0\n"},
    };
    for (const Case& c : cases) {
        family.received.clear();
        err.clear();
        feed(c.unit);
        EXPECT_EQ(c.delivered, family.received.empty() ? 0 : family.received[0].size());
        EXPECT_NE(std::string::npos, err.text().find(c.error)) << err.text();
        EXPECT_EQ(S::worked, link.get_state_id());
    }
    SLC::Statistics s = link.statistics();
    EXPECT_EQ(2u + 3, s.msuRxCount);  // bring_up() fed an LSSU and a FISU
    EXPECT_EQ(4u + 3 + 2 + 11 + 73 + 3, s.octetsRx);
}

TEST_F(SlcTest, InSequenceMsuIsAcknowledgedAndDelivered) {
    bring_up();
    feed(unit(127, 1, 0, 1, {1, 2, 3}));
    feed(unit(127, 1, 0, 1, {1, 2, 3}));  // a repeat
    EXPECT_EQ(std::vector<Bytes>{(Bytes{1, 2, 3})}, family.received);
    EXPECT_EQ((std::vector<Bytes>{unit(0, 1, 127, 1)}), recorder.sent);
    EXPECT_EQ(0u, link.BSN());
}

TEST_F(SlcTest, GapIsNegativelyAcknowledgedOnce) {
    bring_up();
    feed(unit(127, 1, 1, 1, {1, 2, 3}));  // FSN 0 was lost
    EXPECT_EQ(unit(127, 0, 127, 1), last());
    feed(unit(127, 1, 2, 1, {1, 2, 3}));  // sent before the far end saw the BIB
    EXPECT_EQ(1u, recorder.sent.size());
    feed(unit(127, 1, 0, 0, {4, 5, 6}));  // the retransmission, FIB inverted
    EXPECT_EQ(std::vector<Bytes>{(Bytes{4, 5, 6})}, family.received);
    EXPECT_EQ(1u, link.statistics().badSeqCntr);
}

TEST_F(SlcTest, InvertedBibRetransmitsWithTheSameFsns) {
    bring_up();
    for (uint8_t i = 0; i < 3; ++i) send({i, i, i});
    feed(unit(0, 0, 127, 1));  // FSN 0 acknowledged, retransmission from 1
    ASSERT_EQ(5u, recorder.sent.size());
    EXPECT_EQ((Bytes{0xFF, 0x01, 3, 1, 1, 1}), recorder.sent[3]);
    EXPECT_EQ((Bytes{0xFF, 0x02, 3, 2, 2, 2}), recorder.sent[4]);
    SLC::Statistics s = link.statistics();
    EXPECT_EQ(1u, s.repeatCntr);
    EXPECT_EQ(2u, s.rtbSize);
}

TEST_F(SlcTest, SecondBadBsnOrFibInARowGoesIdle) {
    for (const Bytes& bad : {unit(5, 1, 127, 1), unit(127, 1, 127, 0)}) {
        bring_up();
        feed(bad);
        EXPECT_EQ(S::worked, link.get_state_id());
        feed(bad);
        EXPECT_EQ(S::idle, link.get_state_id());
    }
}

// After the BSN check takes the link out of service, the MSU is neither
// delivered nor acknowledged after the SIOS.
TEST_F(SlcTest, MsuWithSecondBadBsnStopsAtIdle) {
    bring_up();
    feed(unit(5, 1, 127, 1));
    feed(unit(5, 1, 0, 1, {1, 2, 3}));
    EXPECT_EQ(S::idle, link.get_state_id());
    EXPECT_TRUE(family.received.empty());
    EXPECT_EQ((std::vector<Bytes>{{0xFF, 0xFF, 0x01, SLC::SIOS}}), recorder.sent);
}

TEST_F(SlcTest, T7WithoutAcknowledgementGoesIdle) {
    bring_up();
    send({1, 2, 3});
    advanceAndPump(clock, 6000, 6000);
    feed(unit(127, 1, 127, 1));  // acknowledges nothing: T7 runs on
    send({4, 5, 6});
    advanceAndPump(clock, 5999, 5999);
    EXPECT_EQ(S::worked, link.get_state_id());
    feed(unit(0, 1, 127, 1));  // acknowledges the first: T7 afresh
    advanceAndPump(clock, 11999, 11999);
    EXPECT_EQ(S::worked, link.get_state_id());
    advanceAndPump(clock, 1, 1);
    EXPECT_EQ(S::idle, link.get_state_id());
}

// A refused MSU stays first in the TB, and the FISUs sent meanwhile name
// the last MSU that did go out.
TEST_F(SlcTest, RefusedMsuIsNotAnnounced) {
    bring_up();
    send({1, 2, 3});
    channel.refuse(1);
    EXPECT_TRUE(send({4, 5, 6}));
    feed(unit(127, 1, 0, 1, {9, 9, 9}));  // acknowledged by a FISU
    EXPECT_EQ(unit(0, 1, 0, 1), last());
    link.on_hdlc_ready();
    EXPECT_EQ((Bytes{0x80, 0x81, 3, 4, 5, 6}), last());
}

TEST_F(SlcTest, ShortMsusAndOtherStatesAreRefused) {
    EXPECT_FALSE(send({1, 2, 3}));
    bring_up();
    EXPECT_FALSE(send({1, 2}));
    EXPECT_TRUE(recorder.sent.empty());
    EXPECT_NE(std::string::npos, err.text().find("ignoring short msu: 01 02"));
}

TEST_F(SlcTest, TracesOfUnits) {
    link.trace.raw_receive = link.trace.raw_transmit = link.trace.mtp_receive = true;
    link.trace.state = true;
    link.dpc = 7;
    link.slc = 2;
    link.trunk = 1;
    bring_up();
    out.clear();
    feed(unit(127, 1, 0, 1, {0x83, 0x0A, 0x1F}));
    EXPECT_EQ(
        "SS7/L2 [dpc=7, slc=2, trunk=1] (worked):  rx raw 0xFF 0x80 0x3 0x83 0xA 0x1F\n"
        "SS7/L2 [dpc=7, slc=2, trunk=1] (worked):  tx raw 0x80 0xFF 0x0\n"
        "SS7/L2 [dpc=7, slc=2, trunk=1] (worked):  mtp rx 0x83 0xA 0x1F\n",
        out.text());
    link.local_deactivate();
    EXPECT_NE(std::string::npos, out.text().find("SS7/L2 [dpc=7, slc=2, trunk=1]: change state from "
                                                 "\"worked\" to \"idle\"\n"));
}

}  // namespace
