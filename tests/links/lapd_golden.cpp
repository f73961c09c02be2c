#include "tests/links/lapd_golden.h"

#include "tests/links/lapd_fixture.h"

namespace {

using namespace ISDN;
namespace Q = ISDN::Q921;

// A SETUP with a two-octet call reference, as layer 3 hands it down.
const Frame kSetup = {0x08, 0x02, 0x00, 0x01, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3,
                      0x18, 0x03, 0xA9, 0x83, 0x81, 0x70, 0x03, 0x81, 0x31, 0x32};

// One link against a scripted peer, taking down what it sends.
class Run {
  public:
    Run(Side::type side, bool bri, const std::string& prefix, std::vector<LinkFrame>& out)
        : network(side == Side::network), prefix(prefix), out(out), l3(side, pair.a, bri) {
        pair.a.bind(l3);
        pair.b.bind(far);
        pair.a.record = true;
        pair.open();
        settle();
    }

    void settle() {
        runUntil(clock, [&] { return pair.inFlight() == 0; });
    }
    void inject(const Frame& f) {
        Packet p = makePacket(f);
        pair.b.hdlc_transmit(p);
        settle();
    }
    // The frame the link sent last, under `name`.
    void take(const std::string& name) {
        out.push_back(LinkFrame{prefix + name, network, pair.a.sent.back()});
    }
    void untilSent(size_t n) {
        runUntil(clock, [&] { return pair.a.sent.size() >= n; });
    }

    // Frames of the peer, which is the other side.
    Frame u(uint8_t code, bool pf, bool command, uint8_t tei = 0) {
        return peer::u(code, pf, command, tei, !network);
    }
    Frame s(uint8_t type, unsigned nr, bool pf, bool command) {
        return peer::s(type, nr, pf, command, 0, !network);
    }
    Frame i(unsigned ns, unsigned nr, bool p) {
        Frame f = peer::i(ns, nr, p);
        f[0] = Q::address1(0, Q::crBit(!network, true));
        return f;
    }

    StreamCapture log{std::clog};
    TestClock clock;
    HdlcPair pair;
    bool network;
    std::string prefix;
    std::vector<LinkFrame>& out;
    Layer3 l3;
    FrameRecorder far;
};

void primaryRate(Side::type side, const std::string& prefix, std::vector<LinkFrame>& out) {
    Run r(side, false, prefix, out);
    ISDN::LAPD& link = *r.l3.link;
    r.inject(r.u(Q::kDISC, true, true));  // not established: answered with DM
    r.take("dm-final");
    link.local_activate();
    r.settle();
    r.take("sabme-poll");
    r.inject(r.u(Q::kUA, true, false));
    r.l3.send(kSetup);
    r.settle();
    r.take("i-setup");
    r.inject(r.s(Q::kRR, 1, false, false));
    r.inject(r.i(0, 1, false));
    r.take("rr-response");
    r.inject(r.i(1, 1, true));
    r.take("rr-final");
    r.inject(r.i(3, 1, false));
    r.take("rej-response");
    r.inject(r.i(2, 1, true));  // in sequence again, with the poll answered
    size_t sent = r.pair.a.sent.size();
    r.untilSent(sent + 1);  // T203: the link polls
    r.take("rr-enquiry");
    r.inject(r.s(Q::kRR, 1, true, false));
    link.local_deactivate();
    r.settle();
    r.take("disc-poll");
    r.inject(r.u(Q::kUA, true, false));
    r.inject(r.u(Q::kSABME, true, true));
    r.take("ua-final");
}

void basicRateUser(std::vector<LinkFrame>& out) {
    Run r(Side::user, true, "bri-user-", out);
    ISDN::LAPD& link = *r.l3.link;
    link.mdl_remove();
    link.local_activate();
    r.settle();
    r.take("identity-request");
    const Frame& request = r.pair.a.sent.back();
    r.inject(peer::tei(uint16_t(request[4] | request[5] << 8), Q::IdentityAssigned, 64));
    r.take("sabme-tei-64");
    r.inject(r.u(Q::kUA, true, false, 64));
    r.inject(peer::tei(0, Q::IdentityCheckRequest, 127));
    r.take("identity-check-response");
}

}  // namespace

std::vector<LinkFrame> lapdLinkFrames() {
    std::vector<LinkFrame> frames;
    primaryRate(Side::user, "pri-user-", frames);
    primaryRate(Side::network, "pri-network-", frames);
    basicRateUser(frames);
    return frames;
}

bool hasRandomRi(const LinkFrame& f) {
    return f.octets.size() == 8 && f.octets[0] >> 2 == Q::kManagementSapi;
}
