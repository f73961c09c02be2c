// The heartbeat drops a silent controller, on the test clock.

#include "core/heart_beat.h"

#include "tests/core/ctrl_fixture.h"

namespace {

const std::string timeoutLine = "heartbeat timeout!!!\n";

TEST_F(ControlServer, CommandsKeepTheControllerAndSilenceAfterOneDropsIt) {
    // Any command counts as life, also one that nobody takes.
    const char* commands[] = {"{ pdu command : ping : NULL }",
                              "{ seq 4, pdu command : protoLemz : { packets { } } }",
                              "{ pdu command : ping : NULL }"};
    for (size_t i = 0; i < 3; ++i) {
        std::string error;
        ASSERT_TRUE(client.Send(commands[i], error)) << error;
        ASSERT_TRUE(client.WaitFor(i + 1));
        advanceAndPump(clock, 100000, 1000);
    }
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(std::string::npos, log.text().find(timeoutLine));

    advanceAndPump(clock, 20000, 1000);
    EXPECT_NE(std::string::npos, log.text().find(timeoutLine));
    EXPECT_TRUE(client.WaitForClose());
    EXPECT_EQ(1, witness.disconnects);
}

TEST_F(ControlServer, AControllerThatNeverSpeaksIsDropped) {
    ASSERT_TRUE(pumpUntil([&] { return taker.connects == 1; }));
    advanceAndPump(clock, HeartBeatCtl::timeout_ms - 1000, 1000);
    EXPECT_TRUE(client.Connected());
    advanceAndPump(clock, 1000, 1000);
    EXPECT_NE(std::string::npos, log.text().find(timeoutLine));
    EXPECT_TRUE(client.WaitForClose());
    ASSERT_TRUE(pumpUntil([&] { return taker.disconnects == 1; }));

    // The time-out of a lost connection does not follow to the next one.
    advanceAndPump(clock, 60000, 1000);
    Lgcpc::Client next;
    connect(next);
    ASSERT_TRUE(pumpUntil([&] { return taker.connects == 2; }));
    advanceAndPump(clock, HeartBeatCtl::timeout_ms - 1000, 1000);
    EXPECT_TRUE(next.Connected());
    EXPECT_EQ(1, taker.disconnects);
}

}  // namespace
