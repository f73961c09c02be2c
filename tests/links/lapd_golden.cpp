#include "tests/links/golden_frames.h"
#include "tests/links/lapd_fixture.h"

namespace {

using namespace ISDN;
namespace Q = ISDN::Q921;

// A SETUP with a two-octet call reference, as layer 3 hands it down.
const Frame kSetup = {0x08, 0x02, 0x00, 0x01, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3,
                      0x18, 0x03, 0xA9, 0x83, 0x81, 0x70, 0x03, 0x81, 0x31, 0x32};

// One link against a scripted peer, taking down what it sends.
struct Run : LapdScript {
    Run(Side::type side, bool bri, const std::string& prefix, std::vector<GoldenFrame>& out)
        : LapdScript(side, bri), prefix(prefix), out(out) {}
    // The frame the link sent last, under `name`.
    void take(const std::string& name) {
        out.push_back(GoldenFrame{prefix + name, network, last(), {}});
    }

    std::string prefix;
    std::vector<GoldenFrame>& out;
};

void primaryRate(Side::type side, const std::string& prefix, std::vector<GoldenFrame>& out) {
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
    size_t sent = r.sent().size();
    runUntil(r.clock, [&] { return r.sent().size() > sent; });  // T203: the link polls
    r.take("rr-enquiry");
    r.inject(r.s(Q::kRR, 1, true, false));
    link.local_deactivate();
    r.settle();
    r.take("disc-poll");
    r.inject(r.u(Q::kUA, true, false));
    r.inject(r.u(Q::kSABME, true, true));
    r.take("ua-final");
}

void basicRateUser(std::vector<GoldenFrame>& out) {
    Run r(Side::user, true, "bri-user-", out);
    ISDN::LAPD& link = *r.l3.link;
    link.mdl_remove();
    link.local_activate();
    r.settle();
    r.take("identity-request");
    const Frame& request = r.last();
    r.inject(peer::tei(uint16_t(request[4] | request[5] << 8), Q::IdentityAssigned, 64));
    r.take("sabme-tei-64");
    r.inject(r.u(Q::kUA, true, false, 64));
    r.inject(peer::tei(0, Q::IdentityCheckRequest, 127));
    r.take("identity-check-response");
}

}  // namespace

std::vector<GoldenFrame> lapdLinkFrames() {
    std::vector<GoldenFrame> frames;
    primaryRate(Side::user, "pri-user-", frames);
    primaryRate(Side::network, "pri-network-", frames);
    basicRateUser(frames);
    return frames;
}

bool hasRandomRi(const GoldenFrame& f) {
    return f.octets.size() == 8 && f.octets[0] >> 2 == Q::kManagementSapi;
}
