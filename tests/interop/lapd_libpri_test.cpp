// The LAPD link against an independent Q.921/Q.931 stack: Debian's libpri in
// a peer process (lapd_libpri_peer), at the far end of a simulated MCC
// channel that the board hands to it with its attach command. Our link runs
// on the daemon's HDLC channel of that MCC channel, on the real clock,
// because libpri does.
//
// Both sides of a primary-rate link: the links come up, carry Q.931
// messages both ways, survive a frame lost in either direction and the
// peer's restart.

#include "board/sim_mcc.h"
#include "hardware/hdlc.h"
#include "runtime/event.h"
#include "tests/interop/libpri_peer_process.h"
#include "tests/links/lapd_fixture.h"
#include "tests/support/pump.h"
#include "tests/support/sim_scope.h"
#include "tests/support/temp_root.h"

namespace {

using namespace ISDN;

const int kWaitMs = 20000;

struct SideCase {
    const char* name;
    Side::type ours;
    const char* peerRole;
};

class LibpriPeer : public ::testing::TestWithParam<SideCase> {
  protected:
    LibpriPeer() : l3(GetParam().ours, hdlc) {
        peers.Bind("sim-peers", &LibpriPeer::servePeers, this);
        peers.Schedule(sim.board().poller().descriptor(), POLLIN);
        hdlc.params.mode = 1;
        hdlc.bind(l3);
        EXPECT_TRUE(hdlc.activate());
        std::vector<int> channels = sim.model<SimMcc>(SimMcc::kPath).allocated();
        EXPECT_EQ(channels.size(), 1u);
        std::string attach =
            "/dev/mcc/ctl attach " + std::to_string(channels.at(0)) + " /libpri.sock";
        EXPECT_EQ(sim.board().control(attach), "ok");
    }
    ~LibpriPeer() override {
        peer.reset();
        hdlc.deactivate();
    }

    void servePeers(int, short) { sim.board().poller().serve(); }

    // Starts the peer, establishes when asked to, and waits until both links are up.
    void startPeer(bool establish) {
        peer.reset(new PeerProcess(root.path("/libpri.sock"), GetParam().peerRole));
        if (establish) l3.link->local_activate();
        ASSERT_TRUE(pumpUntil(
            [&] { return l3.state() == MultipleFrameEstablished && peer->said("up"); }, kWaitMs))
            << peer->text;
    }
    // A SETUP from the peer reaches us, and ours reaches the peer.
    void exchangeSetups(const std::string& digits) {
        theirSetup(digits);
        ourSetup();
    }
    void theirSetup(const std::string& digits) {
        size_t before = l3.received.size();
        peer->command("setup " + digits);
        ASSERT_TRUE(pumpUntil([&] { return hasSetupAfter(before); }, kWaitMs)) << peer->text;
    }
    void ourSetup() {
        l3.send(setupMessage(++calls));
        ASSERT_TRUE(pumpUntil([&] { return peer->said("ring 5678"); }, kWaitMs)) << peer->text;
        peer->text.clear();
    }
    bool hasSetupAfter(size_t index) {
        for (size_t i = index; i < l3.received.size(); ++i) {
            const Frame& m = l3.received[i];
            if (m.size() > 4 && m[0] == 0x08 && m[1] == 2 && m[4] == 0x05) return true;
        }
        return false;
    }

    StreamCapture log{std::clog};
    TempRoot root;
    SimScope sim;
    Event peers;
    HDLC hdlc;
    Layer3 l3;
    std::unique_ptr<PeerProcess> peer;
    uint8_t calls = 0;
};

TEST_P(LibpriPeer, CarriesQ931AndSurvivesLostFramesAndARestart) {
    startPeer(true);
    exchangeSetups("1234");
    EXPECT_TRUE(l3.statuses.empty() || l3.has("Peer initiated re-establishment - SABME"));
    peer->command("drop-rx 1");  // our next frame, the SETUP, is lost: T200 recovers it
    ourSetup();
    EXPECT_GE(l3.link->stats.t200_expired, 1u);
    peer->command("drop-tx 1");  // its next frame, the SETUP, is lost: its recovery
    exchangeSetups("3456");
    EXPECT_EQ(l3.state(), MultipleFrameEstablished);
    peer->kill();
    startPeer(false);
    exchangeSetups("2222");
}

INSTANTIATE_TEST_SUITE_P(Sides, LibpriPeer,
                         ::testing::Values(SideCase{"userAgainstNetwork", Side::user, "network"},
                                           SideCase{"networkAgainstUser", Side::network, "user"}),
                         [](const ::testing::TestParamInfo<SideCase>& i) {
                             return std::string(i.param.name);
                         });

}  // namespace
