// RTP slots of the running daemon on the simulated board: created with
// their stream signals, reporting the driver's packet detection, destroyed,
// and created and destroyed a thousand times without losing a descriptor.

#include <gtest/gtest.h>

#include "tests/e2e/daemon_fixture.h"
#include "tests/support/descriptors.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/sim_command.h"
#include "tools/lgcpc/client.h"

namespace {

using namespace LgcpTexts;
using Texts = std::vector<std::string>;

const std::string kCreate =
    "create : rtp : { codecRTP { payload ptG729, dhost { iaddr \"127.0.0.1\", port 40000 }, shost { iaddr "
    "\"0.0.0.0\", port 65535 } }, txPayload ptG729, rxPayload ptG729 }";

class RtpDaemon : public ControlledDaemon {
protected:
    std::string rtp(const std::string& words) { return simCommand(root.dir(), "/dev/rtp " + words); }
};

TEST_F(RtpDaemon, ASlotStreamsReportsPacketDetectionAndEndsItsSession) {
    EXPECT_EQ((Texts{ok(1), stream(1, "transmitter", 256), stream(1, "receiver", 256)}), command(1, kCreate));
    EXPECT_EQ(Texts{ok(1)}, command(1, "ioctl : pd-enable : { timeout 250 }"));
    EXPECT_NE(std::string::npos, rtp("session 256").find(" pd=250")) << rtp("session 256");
    ASSERT_EQ("ok", rtp("event 256 1 5 250"));
    size_t before = client.Received().size();
    ASSERT_TRUE(client.WaitFor(before + 1));
    EXPECT_EQ(slotMessage(-1, 1, "signal : rtp : pd : { value 5, timeout 250 }"), client.Received()[before]);
    EXPECT_EQ((Texts{ok(1, 0), ok(1)}), command(1, "destroy : NULL"));
    EXPECT_EQ("error: no session", rtp("session 256"));
}

TEST_F(RtpDaemon, AThousandSlotsLeaveTheDescriptorCountAsItWas) {
    command(1, kCreate);
    command(1, "destroy : NULL");
    int before = descriptorsAtRest(korvand.pid());
    ASSERT_LT(0, before);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(3u, command(1, kCreate).size());
        ASSERT_EQ(2u, command(1, "destroy : NULL").size());
    }
    command(1, kCreate);  // the board forgets the closed sessions at the next open
    command(1, "destroy : NULL");
    EXPECT_EQ(before, descriptorsAtRest(korvand.pid()));
}

}  // namespace
