// The daemon's LAPD links against Debian's libpri: the peer program at the
// far end of a simulated MCC channel that the board hands to it, the
// daemon driven with `lgcpc send`. A PSTN slot on a primary-rate D channel
// (connected from its trunk time slot) and an ISDN slot on its own MCC
// channel (activated by the controller) each come up, carry Q.931 both
// ways and report their link at each change.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "tests/e2e/daemon_fixture.h"
#include "tests/e2e/lgcpc_session.h"
#include "tests/interop/libpri_peer_process.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/sim_command.h"

namespace {

using namespace LgcpTexts;

const int kWaitMs = 20000;

struct Kind {
    const char* name;
    // Commands "<slot> <command>" that bring slot 2's link up.
    std::vector<std::string> start;
};

class LibpriAgainstTheDaemon : public RunningDaemon, public ::testing::WithParamInterface<Kind> {
protected:
    static std::string signal(const std::string& text) { return slotMessage(-1, 2, "signal : " + text); }
    static std::string octets(const std::vector<uint8_t>& bytes) {
        std::string out;
        char two[4];
        for (uint8_t b : bytes) {
            std::snprintf(two, sizeof two, "%02x", b);
            out += (out.empty() ? "" : " ") + std::string(two);
        }
        return "'" + out + "'H";
    }
    // Whether slot 2 passed up a SETUP (message type 5 after a two-octet
    // call reference).
    static bool hasSetup(const LgcpcSession& s) {
        for (const std::string& m : s.messages()) {
            size_t at = m.find("pdu signal : userData : '08 02 ");
            if (m.find("slot 2,") == std::string::npos || at == std::string::npos) continue;
            if (m.compare(at + 37, 2, "05") == 0) return true;
        }
        return false;
    }
    static bool reports(const LgcpcSession& s, const std::string& lapdState) {
        for (const std::string& m : s.messages())
            if (m.find("isdnLinkInfo") != std::string::npos && m.find("lapdState " + lapdState) != std::string::npos)
                return true;
        return false;
    }
};

TEST_P(LibpriAgainstTheDaemon, ComesUpCarriesQ931AndReportsTheLink) {
    ASSERT_EQ("ok", simCommand(root.dir(), "/dev/mcc/ctl attach 256 /libpri.sock"));
    PeerProcess peer(root.path("/libpri.sock"), "network");
    LgcpcSession s(port);
    for (const std::string& c : GetParam().start) s.command(std::stoi(c), c.substr(c.find(' ') + 1));
    ASSERT_TRUE(s.waitFor(signal("activated : NULL"), 1, kWaitMs));
    EXPECT_TRUE(reports(s, "multiple-frame-established"));
    ASSERT_TRUE(waitFor([&] { return peer.said("up"); }, kWaitMs)) << peer.text;

    s.command(2, "userData : " + octets(setupMessage(1)));
    EXPECT_TRUE(waitFor([&] { return peer.said("ring 5678"); }, kWaitMs)) << peer.text;
    peer.command("setup 1234");
    EXPECT_TRUE(waitFor([&] { return hasSetup(s); }, kWaitMs)) << peer.text;

    s.command(2, "deactivate : NULL");
    ASSERT_TRUE(s.waitFor(signal("deactivated : networkError"), 1, kWaitMs));
    EXPECT_TRUE(reports(s, "tei-assigned"));
    EXPECT_EQ(0, s.finish());
}

INSTANTIATE_TEST_SUITE_P(
    Slots, LibpriAgainstTheDaemon,
    ::testing::Values(Kind{"pstnPrimaryRate",
                           {"1 create : trunk : { trunk 0, timeslot 16 }",
                            "2 create : pstn : isdn : { type pri, trunk 1, log 0, side user : NULL }", "1 connect : 2"}},
                      Kind{"isdnOnAnMccChannel",
                           {"2 create : isdn : { type pri, trunk 1, log 0, side user : NULL }",
                            "2 activate : modem : { remoteAddr \"\", netmask \"\", gateway \"\", dns \"\", mtu 0 }"}}),
    [](const ::testing::TestParamInfo<Kind>& i) { return std::string(i.param.name); });

}  // namespace
