#ifndef KORVAND_TESTS_LINKS_LAPD_FIXTURE_H
#define KORVAND_TESTS_LINKS_LAPD_FIXTURE_H

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "links/lapd.h"
#include "tests/links/hdlc_pair.h"
#include "tests/support/capture.h"
#include "tests/support/test_clock.h"

using Frame = HdlcPair::Frame;

// The shared timer's rule: at most one logical timer runs, and one runs
// exactly when the holder has an expiry armed.
inline ::testing::AssertionResult timerConsistent(const ISDN::LAPD& link) {
    const ISDN::LAPDFullState& s = link.fullState();
    int flags = s.t200_running + s.t202_running + s.t203_running;
    if (flags <= 1 && (flags == 1) == link.timer.armed()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "T200=" << s.t200_running << " T202=" << s.t202_running << " T203=" << s.t203_running
           << " armed=" << link.timer.armed();
}

// Layer 3 above one LAPD link: owns the link (alone in its stack) and
// writes down what the link reports. Bound as the channel's listener, it
// passes the channel's events to the link and checks the timer rule before
// and after each of them.
class Layer3 : public OneLink<ISDN::LAPD>, public ISDN::LAPD::Notify, public HDLC::Notify {
  public:
    Layer3(ISDN::Side::type side, GenericHDLC& channel, bool bri = false)
        : OneLink(new ISDN::LAPD(side, 0)) {
        link->hdlc = &channel;
        link->notify = this;
        if (bri) link->change_to_bri();
    }

    using OneLink::send;
    // A layer-3 message of `size` octets counting `n`.
    bool send(uint32_t n, size_t size = 8) {
        Frame f(size, 0xA5);
        for (size_t i = 0; i < 4 && i < size; ++i) f[i] = uint8_t(n >> (8 * i));
        return send(f);
    }
    static uint32_t number(const Frame& f) {
        return f[0] | f[1] << 8 | f[2] << 16 | uint32_t(f[3]) << 24;
    }

    void on_status(Protocol_status_ptr s) override { statuses.push_back(s->message()); }
    void OnLAPD_FlowStatusChange(ISDN::LAPD* l) override { flows.push_back(l->flow_status); }

    void on_hdlc_receive(Packet& frame) override {
        checked([&] { link->on_hdlc_receive(frame); });
    }
    void on_hdlc_error(Cause::Type cause) override { link->on_hdlc_error(cause); }
    void on_hdlc_ready() override {
        checked([&] { link->on_hdlc_ready(); });
    }

    template <class F>
    void checked(F f) {
        EXPECT_TRUE(timerConsistent(*link));
        f();
        EXPECT_TRUE(timerConsistent(*link));
    }
    uint32_t state() const { return link->fullState().state; }
    bool has(const std::string& status) const {
        for (const std::string& s : statuses)
            if (s == status) return true;
        return false;
    }

    std::vector<std::string> statuses;
    std::vector<ISDN::LAPD::FlowStatus::Type> flows;
};

// Frames a scripted peer sends, written as the network side writes them
// (commands with C/R 1) unless `fromNetwork` is false.
namespace peer {
inline uint8_t address1(uint8_t sapi, bool fromNetwork, bool command) {
    return ISDN::Q921::address1(sapi, ISDN::Q921::crBit(fromNetwork, command));
}
inline Frame u(uint8_t code, bool pf, bool command, uint8_t tei = 0, bool fromNetwork = true) {
    return {address1(0, fromNetwork, command), uint8_t(tei * 2 + 1),
            uint8_t(code | (pf ? 0x10 : 0))};
}
inline Frame s(uint8_t type, unsigned nr, bool pf, bool command, uint8_t tei = 0,
               bool fromNetwork = true) {
    return {address1(0, fromNetwork, command), uint8_t(tei * 2 + 1), uint8_t(type << 2 | 1),
            uint8_t(nr << 1 | pf)};
}
inline Frame i(unsigned ns, unsigned nr, bool p, Frame info = {0x08, 0x01, 0x01, 0x05},
               uint8_t tei = 0, bool fromNetwork = true) {
    return joined({address1(0, fromNetwork, true), uint8_t(tei * 2 + 1), uint8_t(ns << 1),
                   uint8_t(nr << 1 | p)},
                  info);
}
inline Frame tei(uint16_t ri, uint8_t type, uint8_t ai, bool fromNetwork = true) {
    uint8_t a = address1(63, fromNetwork, true);
    return {a, 0xFF, 0x03, 0x0F, uint8_t(ri), uint8_t(ri >> 8), type, uint8_t(ai << 1 | 1)};
}
}  // namespace peer

// One link on end a of the kit's pair, a scripted peer on end b. What the
// link sends is kept in the end's `sent`.
class LapdScript {
  public:
    explicit LapdScript(ISDN::Side::type side = ISDN::Side::user, bool bri = false)
        : network(side == ISDN::Side::network), l3(side, pair.a, bri) {
        pair.a.bind(l3);
        pair.a.record = true;
        pair.open();
        settle();
    }

    // Runs the loop until every frame in flight has arrived (the clock
    // stands still meanwhile).
    void settle() {
        EXPECT_TRUE(runUntil(clock, [&] { return pair.inFlight() == 0; }));
    }
    void inject(const Frame& f) {
        Packet p = makePacket(f);
        pair.b.hdlc_transmit(p);
        settle();
    }
    const std::vector<Frame>& sent() const { return pair.a.sent; }
    const Frame& last() const { return pair.a.sent.back(); }
    // Runs the loop until the link sends another frame; the test time that
    // took (its timers show in it).
    uint64_t msToNextFrame() {
        size_t before = sent().size();
        uint64_t from = clock.nowMs();
        EXPECT_TRUE(runUntil(clock, [&] { return sent().size() > before; }))
            << "the link sends nothing more";
        return clock.nowMs() - from;
    }
    // Establishes the link from its side: SABME out, UA back.
    void establish() {
        link().local_activate();
        settle();
        inject(u(ISDN::Q921::kUA, true, false, uint8_t(link().fullState().self_tei)));
        ASSERT_EQ(l3.state(), ISDN::MultipleFrameEstablished);
    }
    ISDN::LAPD& link() { return *l3.link; }

    // Frames of the peer, which is the other side.
    Frame u(uint8_t code, bool pf, bool command, uint8_t tei = 0) {
        return peer::u(code, pf, command, tei, !network);
    }
    Frame s(uint8_t type, unsigned nr, bool pf, bool command) {
        return peer::s(type, nr, pf, command, 0, !network);
    }
    Frame i(unsigned ns, unsigned nr, bool p) {
        return peer::i(ns, nr, p, {0x08, 0x01, 0x01, 0x05}, 0, !network);
    }

    StreamCapture log{std::clog};
    TestClock clock;
    HdlcPair pair;
    bool network;
    Layer3 l3;
};

class ScriptedLink : public ::testing::Test, public LapdScript {
  protected:
    explicit ScriptedLink(ISDN::Side::type side = ISDN::Side::user, bool bri = false)
        : LapdScript(side, bri) {}
};

#endif
