// The SS7 link against a recording channel: LSSU reactions, timers,
// received lengths and basic error correction unit by unit.

#include <gtest/gtest.h>

#include "tests/links/ss7_unit_harness.h"

namespace {

using SS7::SLC;
typedef SLC::State S;

class SlcTest : public ::testing::Test, public SlcScript {
  protected:
    void in_service() {
        bring_up();
        ASSERT_EQ(S::worked, link.get_state_id());
        recorder.sent.clear();
    }
};

struct LssuCase {
    std::vector<uint8_t> path;  // LSSUs that lead to the state, after activation
    uint8_t status;
    S::type after;
};

class LssuReaction : public SlcTest, public ::testing::WithParamInterface<LssuCase> {};

// An LSSU's effect by state; states reached through the far end's LSSUs.
TEST_P(LssuReaction, ByState) {
    link.local_activate();
    for (uint8_t s : GetParam().path) lssu(s);
    lssu(GetParam().status);
    EXPECT_EQ(GetParam().after, link.get_state_id());
}

INSTANTIATE_TEST_SUITE_P(States, LssuReaction,
                         ::testing::Values(LssuCase{{}, 7, S::not_aligned},
                                           LssuCase{{}, SLC::SIOS, S::not_aligned},
                                           LssuCase{{SLC::SIO}, SLC::SIOS, S::aligned},
                                           LssuCase{{SLC::SIO}, SLC::SIO, S::aligned},
                                           LssuCase{{SLC::SIO}, SLC::SIE, S::proving},
                                           LssuCase{{SLC::SIN}, SLC::SIE, S::proving},
                                           LssuCase{{SLC::SIN}, SLC::SIO, S::idle},
                                           LssuCase{{SLC::SIN}, 7, S::idle}));

TEST_F(SlcTest, TimersTakeTheLinkToIdle) {
    link.trace.timers = true;
    struct Case {
        std::vector<uint8_t> path;
        unsigned ms;
        const char* line;
    } cases[] = {{{}, 7000, "T2 expired"},
                 {{SLC::SIO}, 1500, "T3 expired"},
                 {{SLC::SIN}, 8200 + 45000, "T1 expired"}};
    for (const Case& c : cases) {
        link.local_activate();
        for (uint8_t s : c.path) lssu(s);
        advanceAndPump(clock, c.ms - 1, 100);
        EXPECT_NE(S::idle, link.get_state_id());
        advanceAndPump(clock, 1, 1);
        EXPECT_EQ(S::idle, link.get_state_id());
        EXPECT_NE(std::string::npos, out.text().find(c.line));
    }
    EXPECT_EQ(3u, family.downs.size());
}

TEST_F(SlcTest, ActivationDeactivationAndTrunkLoss) {
    link.local_deactivate();
    EXPECT_EQ((Bytes{0xFF, 0xFF, 0x01, SLC::SIOS}), last());
    EXPECT_EQ(std::vector<std::string>{"impossible phasing"}, family.downs);
    link.OnTrunkHardStatus(false);
    EXPECT_EQ("", out.text());
    link.trace.mtp_activate = true;
    link.local_activate();
    lssu(SLC::SIN);
    link.local_activate();
    EXPECT_EQ(S::proving, link.get_state_id());
    EXPECT_NE(std::string::npos, out.text().find("(proving): local_activate: ignored.\n"));
    out.clear();
    lssu(SLC::SIN);
    feed(unit(127, 1, 127, 1));
    link.OnTrunkHardStatus(true);
    EXPECT_EQ(S::worked, link.get_state_id());
    link.OnTrunkHardStatus(false);
    EXPECT_EQ(S::idle, link.get_state_id());
    EXPECT_EQ("SS7/L2 [dpc=0, slc=0, trunk=0] (worked):  transport OFF by low level terminated\n",
              out.text());
}

// Units off the line with their length errors: what reaches the state.
TEST_F(SlcTest, ReceivedLengthRules) {
    in_service();
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

// An MSU in sequence is delivered and acknowledged, its repeat dropped; a
// gap is negatively acknowledged once, until the retransmission arrives.
TEST_F(SlcTest, BasicErrorCorrectionOnReceipt) {
    in_service();
    feed(unit(127, 1, 0, 1, {1, 2, 3}));
    feed(unit(127, 1, 0, 1, {1, 2, 3}));
    EXPECT_EQ(std::vector<Bytes>{(Bytes{1, 2, 3})}, family.received);
    EXPECT_EQ((std::vector<Bytes>{unit(0, 1, 127, 1)}), recorder.sent);
    feed(unit(127, 1, 2, 1, {1, 2, 3}));  // FSN 1 was lost
    EXPECT_EQ(unit(0, 0, 127, 1), last());
    feed(unit(127, 1, 3, 1, {1, 2, 3}));  // sent before the far end saw the BIB
    EXPECT_EQ(2u, recorder.sent.size());
    feed(unit(127, 1, 1, 0, {4, 5, 6}));  // the retransmission, FIB inverted
    EXPECT_EQ((Bytes{4, 5, 6}), family.received.back());
    EXPECT_EQ(1u, link.statistics().badSeqCntr);
}

// The second bad BSN or FIB in a row takes the link out of service, and
// an MSU that brings it is neither delivered nor acknowledged.
TEST_F(SlcTest, SecondBadBsnOrFibInARowGoesIdle) {
    const Bytes badBsn = unit(5, 1, 127, 1), badFib = unit(127, 1, 127, 0);
    for (const Bytes& second : {badBsn, unit(5, 1, 0, 1, {1, 2, 3})}) {
        in_service();
        feed(badBsn);
        EXPECT_EQ(S::worked, link.get_state_id());
        feed(second);
        EXPECT_EQ((std::vector<Bytes>{{0xFF, 0xFF, 0x01, SLC::SIOS}}), recorder.sent);
        EXPECT_TRUE(family.received.empty());
    }
    in_service();
    feed(badFib);
    EXPECT_EQ(S::worked, link.get_state_id());
    feed(badFib);
    EXPECT_EQ(S::idle, link.get_state_id());
}

TEST_F(SlcTest, T7WithoutAcknowledgementGoesIdle) {
    in_service();
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

// A negative acknowledgement (the far end's BIB inverted) has the MSUs it
// did not acknowledge sent again with their FSNs and the new BIB as their
// FIB; the MSUs after them carry it too.
TEST_F(SlcTest, RetransmittedMsusCarryTheReceivedBibAsFib) {
    in_service();
    for (uint8_t n = 1; n <= 3; ++n) send({0x83, n, n});
    feed(unit(0, 0, 127, 1));  // FSN 0 acknowledged, 1 and 2 asked for again
    send({0x83, 4, 4});
    // FSNs 0 to 2 with FIB 1, then 1 and 2 again and 3 with FIB 0.
    const std::vector<Bytes> expected = {
        unit(127, 1, 0, 1, {0x83, 1, 1}), unit(127, 1, 1, 1, {0x83, 2, 2}),
        unit(127, 1, 2, 1, {0x83, 3, 3}), unit(127, 1, 1, 0, {0x83, 2, 2}),
        unit(127, 1, 2, 0, {0x83, 3, 3}), unit(127, 1, 3, 0, {0x83, 4, 4})};
    EXPECT_EQ(expected, recorder.sent);
    EXPECT_EQ(1u, link.statistics().repeatCntr);
}

// A refused MSU stays first in the TB, and the FISUs sent meanwhile name
// the last MSU that did go out.
TEST_F(SlcTest, RefusedMsuIsNotAnnounced) {
    in_service();
    send({1, 2, 3});
    recorder.end.refuse(1);
    EXPECT_TRUE(send({4, 5, 6}));
    feed(unit(127, 1, 0, 1, {9, 9, 9}));  // acknowledged by a FISU
    EXPECT_EQ(unit(0, 1, 0, 1), last());
    link.on_hdlc_ready();
    EXPECT_EQ((Bytes{0x80, 0x81, 3, 4, 5, 6}), last());
}

TEST_F(SlcTest, ShortMsusAndOtherStatesAreRefused) {
    EXPECT_FALSE(send({1, 2, 3}));
    in_service();
    EXPECT_FALSE(send({1, 2}));
    EXPECT_TRUE(recorder.sent.empty());
    EXPECT_NE(std::string::npos, err.text().find("ignoring short msu: 01 02"));
}

TEST_F(SlcTest, TracesOfUnits) {
    link.trace.raw_receive = link.trace.raw_transmit = link.trace.mtp_receive = link.trace.state =
        true;
    link.dpc = 7;
    link.slc = 2;
    link.trunk = 1;
    in_service();
    out.clear();
    feed(unit(127, 1, 0, 1, {0x83, 0x0A, 0x1F}));
    EXPECT_EQ(
        "SS7/L2 [dpc=7, slc=2, trunk=1] (worked):  rx raw 0xFF 0x80 0x3 0x83 0xA 0x1F\n"
        "SS7/L2 [dpc=7, slc=2, trunk=1] (worked):  tx raw 0x80 0xFF 0x0\n"
        "SS7/L2 [dpc=7, slc=2, trunk=1] (worked):  mtp rx 0x83 0xA 0x1F\n",
        out.text());
    link.local_deactivate();
    EXPECT_NE(std::string::npos,
              out.text().find(
                  "SS7/L2 [dpc=7, slc=2, trunk=1]: change state from \"worked\" to \"idle\"\n"));
}

}  // namespace
