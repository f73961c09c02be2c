// The LAPD link against an independent Q.921/Q.931 stack: Debian's libpri in
// a peer process (lapd_libpri_peer), at the far end of a simulated MCC
// channel that the board hands to it with its attach command. Our link runs
// on the daemon's HDLC channel of that MCC channel, on the real clock,
// because libpri does.
//
// Both sides of a primary-rate link: the links come up, carry Q.931
// messages both ways, survive a frame lost in either direction and the
// peer's restart.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "board/sim_mcc.h"
#include "hardware/hdlc.h"
#include "runtime/event.h"
#include "tests/links/lapd_fixture.h"
#include "tests/support/pump.h"
#include "tests/support/sim_scope.h"
#include "tests/support/temp_root.h"

namespace {

using namespace ISDN;

const int kWaitMs = 20000;

// A SETUP on a primary-rate interface: a two-octet call reference, speech,
// B channel 1, called number "5678". Each call takes a new reference: the
// peer clears our calls, and we never answer at layer 3.
Frame setupMessage(uint8_t callReference) {
    return {0x08, 0x02, 0x00, callReference, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3, 0x18,
            0x03, 0xA9, 0x83, 0x81,          0x70, 0x05, 0x81, 0x35, 0x36, 0x37, 0x38};
}

// The peer program, with its standard input and output.
class PeerProcess {
  public:
    PeerProcess(const std::string& socket, const char* role) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::execl(LIBPRI_PEER, LIBPRI_PEER, socket.c_str(), role, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        toPeer = in[1];
        fromPeer = out[0];
        ::fcntl(fromPeer, F_SETFL, O_NONBLOCK);
    }
    ~PeerProcess() { kill(); }

    void command(const std::string& line) {
        std::string l = line + "\n";
        ASSERT_EQ(ssize_t(l.size()), ::write(toPeer, l.data(), l.size()));
    }
    // Whether the peer has said `line` (reading what it wrote so far).
    bool said(const std::string& line) {
        char buf[4096];
        for (ssize_t n; (n = ::read(fromPeer, buf, sizeof buf)) > 0;) text.append(buf, size_t(n));
        return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
    }
    void kill() {
        if (pid <= 0) return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        ::close(toPeer);
        ::close(fromPeer);
        pid = -1;
    }

    pid_t pid = -1;
    int toPeer = -1;
    int fromPeer = -1;
    std::string text;
};

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

    void startPeer() {
        peer.reset(new PeerProcess(root.path("/libpri.sock"), GetParam().peerRole));
    }
    bool up() {
        return pumpUntil([&] { return l3.state() == MultipleFrameEstablished && peer->said("up"); },
                         kWaitMs);
    }
    // A SETUP from the peer reaches us, and ours reaches the peer.
    void exchangeSetups(const std::string& theirs) {
        theirSetup(theirs);
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

TEST_P(LibpriPeer, ComesUpAndCarriesQ931BothWays) {
    startPeer();
    l3.link->local_activate();
    ASSERT_TRUE(up()) << peer->text;
    exchangeSetups("1234");
    EXPECT_TRUE(l3.statuses.empty() || l3.has("Peer initiated re-establishment - SABME"));
}

TEST_P(LibpriPeer, SurvivesALostFrameEitherWay) {
    startPeer();
    l3.link->local_activate();
    ASSERT_TRUE(up()) << peer->text;
    theirSetup("2345");
    peer->command("drop-rx 1");  // our next frame, the SETUP, is lost: T200 recovers it
    ourSetup();
    EXPECT_GE(l3.link->stats.t200_expired, 1u);
    peer->command("drop-tx 1");  // its next frame, the SETUP, is lost: its recovery
    exchangeSetups("3456");
    EXPECT_EQ(l3.state(), MultipleFrameEstablished);
}

TEST_P(LibpriPeer, SurvivesThePeersRestart) {
    startPeer();
    l3.link->local_activate();
    ASSERT_TRUE(up()) << peer->text;
    exchangeSetups("1111");
    peer->kill();
    startPeer();
    ASSERT_TRUE(pumpUntil([&] { return peer->said("up"); }, kWaitMs)) << peer->text;
    ASSERT_TRUE(pumpUntil([&] { return l3.state() == MultipleFrameEstablished; }, kWaitMs));
    exchangeSetups("2222");
}

INSTANTIATE_TEST_SUITE_P(Sides, LibpriPeer,
                         ::testing::Values(SideCase{"userAgainstNetwork", Side::user, "network"},
                                           SideCase{"networkAgainstUser", Side::network, "user"}),
                         [](const ::testing::TestParamInfo<SideCase>& i) {
                             return std::string(i.param.name);
                         });

}  // namespace
