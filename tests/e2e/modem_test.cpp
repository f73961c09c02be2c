// Modem and software T.38 slots of the running daemon on the simulated
// board, with the stand-in programs below its root: a dial-in session in
// which pppd is also the far end of the authentication link, and the
// resource report with the modems, interfaces and T.38 instances.

#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/e2e/daemon_fixture.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/pump.h"
#include "tests/support/standins.h"
#include "tools/lgcpc/client.h"

namespace {

using namespace LgcpTexts;
using Texts = std::vector<std::string>;

class ModemDaemon : public ControlledDaemon {
protected:
    ModemDaemon() { environment.push_back("KORVAND_AUTH_PORT=" + std::to_string(authPort)); }
    void SetUp() override {
        ControlledDaemon::SetUp();
        if (HasFatalFailure()) return;
        // pppd's authentication request reaches the daemon and no other.
        ASSERT_TRUE(waitFor([&] { return listensOn(korvand.pid(), authPort); })) << korvand.err();
    }
    // Waits for a message from the `from`th on that holds `text`.
    bool received(const std::string& text, size_t from = 0) {
        return pumpUntil([&] {
            for (size_t i = from; i < client.Received().size(); ++i)
                if (client.Received()[i].find(text) != std::string::npos) return true;
            return false;
        });
    }
    std::string daemonDirectory() const {
        char buf[4096];
        ssize_t n = ::readlink(("/proc/" + std::to_string(korvand.pid()) + "/cwd").c_str(), buf, sizeof buf);
        return n > 0 ? std::string(buf, size_t(n)) : std::string();
    }

    ReservedPort authPort;
    Standins standins{root};
};

TEST_F(ModemDaemon, ADialInUserIsAuthenticatedThroughPppd) {
    standins.configure("sbin-pppd", "auth " + std::to_string(authPort) + " 0 alice s3cret\nacct 1 2 3 4 60\n");
    // The children start in the configuration folder once the daemon has
    // made it its own.
    ASSERT_TRUE(waitFor([&] { return daemonDirectory() == root.path("/usr/local/etc"); })) << daemonDirectory();
    ASSERT_EQ(Texts{ok(1)}, command(1, "create : modem : { cid \"5551234\", cdid \"\" }"));
    command(2, "create : trunk : { trunk 0, timeslot 1 }");
    // The request of pppd may follow at once.
    Texts linked = command(1, "connect : 2");
    linked.resize(std::min<size_t>(linked.size(), 3));
    EXPECT_EQ((Texts{stream(1, "transmitter", 320), stream(1, "receiver", 320), ok(1)}), linked);

    std::string run = standins.run("sbin-pppd");
    ASSERT_FALSE(run.empty());
    EXPECT_EQ((std::vector<std::string>{"/usr/local/sbin/pppd", "file", "/usr/local/etc/ppp/aoptions", "/dev/mdm0",
                                        "remotenumber", "5551234"}),
              standins.argv(run));
    EXPECT_EQ(root.path("/usr/local/etc"), standins.file(run, "cwd"));
    EXPECT_TRUE(received(Lgcpc::canonical(
        "{ slot 1, pdu signal : modemProceeding : auth : { username \"alice\", password \"s3cret\" } }")));

    // pppd's accounting may come before the answer's barrier or after it.
    Texts activated = command(1, "activate : modem : { remoteAddr \"192.168.7.2\", netmask \"255.255.255.255\", "
                             "gateway \"192.168.7.1\", dns \"\", mtu 1492 }");
    ASSERT_FALSE(activated.empty());
    EXPECT_EQ(ok(1), activated.front());
    EXPECT_TRUE(received(Lgcpc::canonical(
        "{ slot 1, pdu signal : modemProceeding : acct : { octetsOut { low 1, high 0 }, octetsIn { low 2, high 0 }, "
        "packetsOut { low 3, high 0 }, packetsIn { low 4, high 0 }, time { low 60, high 0 } } }")));
    EXPECT_EQ("00000010000000020000000000000001\n"
              "00000024000000030000000000000000c0a80702ffffffffc0a8070100000000000005d4\n",
              standins.file(run, "records"));

    // pppd hangs up when the slot goes. The destroy is answered once, when
    // pppd has ended, which may be before the barrier's answer or after it.
    size_t before = client.Received().size();
    Texts destroyed = command(1, "destroy : NULL");
    EXPECT_TRUE(destroyed.empty() || destroyed == Texts{ok(1)}) << testing::PrintToString(destroyed);
    EXPECT_TRUE(received(ok(1), before));
    EXPECT_EQ("HUP\n", standins.file(run, "signals"));
}

TEST_F(ModemDaemon, TheResourceReportCountsModemsInterfacesAndT38Instances) {
    standins.configure("sbin-t38-count", "print 3\nexit 0\n");
    ASSERT_EQ((Texts{ok(3), stream(3, "transmitter", 256), stream(3, "receiver", 256)}),
              command(3, "create : t38soft : { dhost { iaddr \"10.0.0.2\", port 4000 }, shost { iaddr \"0.0.0.0\", "
                     "port 5000 }, rx-packet-size 160, rx-threshold 1, tx-threshold 1, args { \"-v\" } }"));
    std::string t38 = standins.run("sbin-t38");
    ASSERT_FALSE(t38.empty());
    EXPECT_EQ((std::vector<std::string>{"/usr/local/sbin/t38", "--child", "--remote", "10.0.0.2/4000/5000", "-v"}),
              standins.argv(t38));

    Texts report = answers(client, "{ seq 1, pdu command : query : NULL }");
    ASSERT_EQ(2u, report.size());
    for (const char* field : {"modem 4,", "t38-instances 3,", "digital-modems 2,"})
        EXPECT_NE(std::string::npos, report[1].find(field)) << field << " in " << report[1];
}

}  // namespace
