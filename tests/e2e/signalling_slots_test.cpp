// Signalling-link slots of the running daemon on the simulated board,
// driven with `lgcpc send`: SS7 links on two trunks whose MCC channels are
// patched back to back, and a BRI terminal against the network side.

#include <gtest/gtest.h>

#include "asn1/gen/lgcp.h"
#include "tests/e2e/daemon_fixture.h"
#include "tests/e2e/lgcpc_session.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/sim_command.h"

namespace {

using namespace LgcpTexts;

class SignallingSlots : public RunningDaemon {
protected:
    static std::string signal(int slot, const std::string& text) { return slotMessage(-1, slot, "signal : " + text); }
    std::string board(const std::string& line) { return simCommand(root.dir(), line); }
    // The `ioctl` responses of the slot, in order.
    static std::vector<LGCP::IoctlResponse> responses(const LgcpcSession& s, int slot, const std::string& kind) {
        std::vector<LGCP::IoctlResponse> out;
        for (const std::string& text : s.messages()) {
            if (text.find("signal : ioctl : " + kind) == std::string::npos) continue;
            LGCP::Message m;
            m.setFromValueNotation(text);
            if (int(m.get_slot().getValue()) == slot) out.push_back(m.get_pdu().get_signal().get_ioctl());
        }
        return out;
    }
};

TEST_F(SignallingSlots, Ss7LinksAlignCarryMessagesReportAndFallWithTheirTrunk) {
    ASSERT_EQ("ok", board("/dev/mcc/ctl patch 256 257"));
    LgcpcSession s(port);
    for (int trunk : {0, 1}) {
        int pstn = 3 + trunk, ts = 1 + trunk;
        s.command(ts, "create : trunk : { trunk " + std::to_string(trunk) + ", timeslot 16 }");
        s.command(pstn, "create : pstn : ss7 : { trunk " + std::to_string(trunk + 1) +
                            ", slc 0, dpc 1, opc 2, emergency TRUE }");
        s.command(ts, "connect : " + std::to_string(pstn));
    }
    ASSERT_TRUE(s.waitFor(signal(3, "activated : NULL")));
    ASSERT_TRUE(s.waitFor(signal(4, "activated : NULL")));

    std::vector<std::string> toFour, toThree;
    for (int i = 0; i < 20; ++i) {
        std::string a = "'83 01 " + std::to_string(10 + i) + "'H", b = "'83 02 " + std::to_string(10 + i) + "'H";
        s.command(3, "userData : " + a);
        s.command(4, "userData : " + b);
        toFour.push_back(signal(4, "userData : " + a));
        toThree.push_back(signal(3, "userData : " + b));
    }
    ASSERT_TRUE(s.waitFor(toThree.back()));
    ASSERT_TRUE(s.waitFor(toFour.back()));
    std::vector<std::string> atFour, atThree;
    for (const std::string& m : s.messages()) {
        if (m.find("signal : userData") == std::string::npos) continue;
        (m.find("slot 4,") != std::string::npos ? atFour : atThree).push_back(m);
    }
    EXPECT_EQ(toFour, atFour);
    EXPECT_EQ(toThree, atThree);

    // The next statistics count the 20 messages each way.
    for (int slot : {3, 4}) {
        size_t reports = responses(s, slot, "ss7LinkInfo").size();
        ASSERT_TRUE(::waitFor([&] { return responses(s, slot, "ss7LinkInfo").size() > reports; }, 5000));
        LGCP::IoctlResponse ss7Report = responses(s, slot, "ss7LinkInfo").back();
        LGCP::IoctlResponse hdlcReport = responses(s, slot, "hdlcLinkInfo").back();
        const ACP::SS7LinkInfo& ss7 = ss7Report.get_ss7LinkInfo();
        const LGCP::HdlcLinkInfo& hdlc = hdlcReport.get_hdlcLinkInfo();
        EXPECT_EQ(ss7.get_msuRxCount().getValue(), hdlc.get_rxSU().getValue());
        EXPECT_GE(ss7.get_msuTxCount().getValue(), 20);
        EXPECT_GE(ss7.get_msuRxCount().getValue(), 20);
        EXPECT_EQ(ACP::SS7State::worked, ss7.get_ss7state().getValue());
    }

    // Trunk 0 loses its carrier: its link goes down, and the far one with it.
    ASSERT_EQ(0u, board("/dev/maintenance framer 0 state lossCarrier").find("trunk 0 state lossCarrier"));
    EXPECT_TRUE(s.waitFor(signal(3, "deactivated : networkError")));
    EXPECT_TRUE(s.waitFor(signal(4, "deactivated : networkError")));
    EXPECT_EQ(0, s.finish());
}

TEST_F(SignallingSlots, ABriTerminalAttachesToTheNetworkSide) {
    ASSERT_EQ("ok", board("/dev/mcc/ctl patch 256 257"));
    LgcpcSession s(port);
    const char* sides[] = {"network", "user"};
    for (int line : {0, 1}) {
        int pstn = 3 + line, bri = 1 + line;
        s.command(bri, "create : trunk_bri : { trunk " + std::to_string(line) + ", timeslot 1 }");
        s.command(pstn, std::string("create : pstn : isdn : { type bri, trunk 1, log 0, side ") + sides[line] +
                            " : NULL }");
        s.command(bri, "connect : " + std::to_string(pstn));
        s.command(pstn, "connect : " + std::to_string(bri));
    }
    ASSERT_TRUE(s.waitFor(signal(4, "activated : NULL")));
    s.command(4, "userData : '08 01 01 05'H");
    ASSERT_TRUE(s.waitFor(signal(3, "userData : '08 01 01 05'H")));
    s.command(3, "userData : '08 01 81 07'H");
    ASSERT_TRUE(s.waitFor(signal(4, "userData : '08 01 81 07'H")));
    EXPECT_EQ(0, s.finish());
}

}  // namespace
