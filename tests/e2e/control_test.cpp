// The running daemon on its control port, driven by `lgcpc send` and by
// the client library.

#include <gtest/gtest.h>

#include "tests/e2e/daemon_fixture.h"
#include "tools/lgcpc/client.h"

namespace {

using Control = RunningDaemon;

TEST_F(Control, SendPrintsEveryAnswerAndTheDaemonLogsTheController) {
    Outcome run = send("{ seq 7, slot 3, pdu command : ping : NULL }\n\n{ pdu command : ping : NULL }");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(Lgcpc::canonical("{ seq 7, slot 3, pdu response : success : NULL }") + "\n\n" +
                  Lgcpc::canonical("{ pdu response : success : NULL }") + "\n",
              run.out);
    EXPECT_EQ("", run.err);
    EXPECT_NE(std::string::npos, korvand.err().find("]: controller connect.\n")) << korvand.err();

    Outcome bad = send("{ pdu command : pong : NULL }");
    EXPECT_EQ(1, bad.status);
    EXPECT_EQ(1u, lines(bad.err)) << bad.err;
}

TEST_F(Control, SendReportsARefusedConnection) {
    ReservedPort nobody;  // where nothing listens
    Outcome refused = send("{ pdu command : ping : NULL }", {"--port", std::to_string(nobody)});
    EXPECT_EQ(1, refused.status);
    EXPECT_EQ("", refused.out);
    EXPECT_EQ(1u, lines(refused.err)) << refused.err;
}

TEST_F(Control, RoutesWhatNoServiceTakesAndSurvivesHostileInput) {
    Lgcpc::Client client;
    std::string error;
    ASSERT_TRUE(client.Connect("127.0.0.1", uint16_t(port), error)) << error;
    const std::pair<const char*, const char*> cases[] = {
        {"{ seq 3, pdu response : success : NULL }", "{ seq 3, pdu response : error : unexpectedMsgType }"},
        {"{ pdu signal : activated : NULL }", "{ pdu response : error : unexpectedMsgType }"},
        {"{ slot 4, pdu command : query : NULL }", "{ slot 4, pdu response : error : unexpectedMsgType }"},
        {"{ pdu command : userData : '0102'H }", "{ pdu response : error : unexpectedMsgType }"},
        {"{ seq 3, pdu command : protoLemz : { packets { } } }", "{ seq 3, pdu response : error : unexpectedMsgType }"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::vector<std::string>{Lgcpc::canonical(c.second)}, answers(client, c.first)) << c.first;
    // Garbage, then seq 1 with slot 2000 (16 bits on the wire).
    size_t before = client.Received().size();
    ASSERT_TRUE(client.SendOctets({'\xff', '\x00'}, error));
    ASSERT_TRUE(client.SendOctets({'\xc0', '\x01', '\x01', '\x07', '\xd0', '\x18'}, error));
    EXPECT_EQ(std::vector<std::string>{Lgcpc::canonical("{ seq 1, pdu response : error : invalidSlot }")},
              withoutStatuses(LgcpTexts::barrier(client, before)));
    EXPECT_NE(std::string::npos, korvand.err().find("]: receive fail: decode error!\n msg: FF 00 \n"))
        << korvand.err();
}

}  // namespace
