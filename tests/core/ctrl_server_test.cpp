// The control server with real connections over loopback.

#include "core/ctrl_server.h"

#include "tests/core/ctrl_fixture.h"
#include "tests/protocol/connection_harness.h"
#include "tools/lgcpc/lgcpc.h"

namespace {

std::vector<std::string> canonical(std::initializer_list<const char*> messages) {
    std::vector<std::string> out;
    for (const char* m : messages) out.push_back(Lgcpc::canonical(m));
    return out;
}

Bytes encoded(const std::string& text) {
    std::vector<char> octets;
    std::string error;
    EXPECT_TRUE(Lgcpc::encodeText("LGCP.Message", text, octets, error)) << error;
    return Bytes(octets.begin(), octets.end());
}

TEST_F(ControlServer, AnswersEachRequestOnceWithItsSequenceNumberAndSlot) {
    EXPECT_EQ(exchange("{ pdu command : ping : NULL }"),
              canonical({"{ pdu response : success : NULL }"}));
    EXPECT_EQ(exchange("{ seq 7, slot 3, pdu command : ping : NULL }"),
              canonical({"{ seq 7, slot 3, pdu response : success : NULL }"}));
    EXPECT_EQ(header() + "controller connect.\n", log.text());
    EXPECT_EQ(1, taker.connects);
}

TEST_F(ControlServer, PipelinedAndSplitFramesAreEachAnsweredOnce) {
    client.Close();
    ASSERT_TRUE(pumpUntil([&] { return taker.disconnects == 1; }));
    Peer raw = Peer::tcp(port);
    const Bytes ping = frame(encoded("{ seq 1, pdu command : ping : NULL }"));
    const Bytes pong = frame(encoded("{ seq 1, pdu response : success : NULL }"));
    raw.send(ping + ping);
    EXPECT_EQ(pong + pong, raw.take(2 * pong.size()));
    for (uint8_t octet : ping) {
        raw.send({octet});
        pumpPasses(3);
    }
    EXPECT_EQ(pong, raw.take(pong.size()));
    pumpPasses(3);
    raw.poll();
    EXPECT_TRUE(raw.got.empty());
    EXPECT_EQ(2, taker.connects);
}

TEST_F(ControlServer, UndecodablePayloadIsLoggedWithItsOctetsAndNotAnswered) {
    EXPECT_TRUE(exchangeOctets({'\x01', '\x02', '\x03'}).empty());
    EXPECT_EQ(header() + "receive fail: decode error!\n msg: 01 02 03 \n", err.text());
    EXPECT_TRUE(client.Connected());
}

TEST_F(ControlServer, SlotIdAboveTheTableIsRefusedWithoutEchoingIt) {
    // seq 1, slot 2000, ping: the slot field holds 16 bits on the wire.
    EXPECT_EQ(exchangeOctets({'\xc0', '\x01', '\x01', '\x07', '\xd0', '\x18'}),
              canonical({"{ seq 1, pdu response : error : invalidSlot }"}));
    EXPECT_EQ("", err.text());
}

TEST_F(ControlServer, ATakerGetsExactlyTheAnswersOfTheRules) {
    typedef std::function<void()> Script;
    const Script success = [&] { taker.Success(); };
    const Script busError = [&] { taker.Error(LGCP::ErrorCause::busError); };
    const struct {
        std::vector<Script> steps;
        std::vector<std::string> replies;
    } cases[] = {
        {{success, success}, canonical({"{ seq 5, slot 9, pdu response : success : NULL }"})},
        {{busError, busError}, canonical({"{ seq 5, slot 9, pdu response : error : busError }"})},
        {{success, busError},
         canonical({"{ seq 5, slot 9, pdu response : success : NULL }",
                    "{ seq 5, slot 9, pdu response : error : busError }"})},
        {{busError, success}, canonical({"{ seq 5, slot 9, pdu response : error : busError }"})},
        {{}, canonical({"{ seq 5, slot 9, pdu response : error : internal }"})},
    };
    for (const auto& c : cases) {
        taker.onCommand = [&](const LGCP::Command& command) {
            EXPECT_TRUE(command.is_query());
            EXPECT_EQ(9, taker.GetSlot());
            for (const Script& step : c.steps) step();
            return true;
        };
        EXPECT_EQ(exchange("{ seq 5, slot 9, pdu command : query : NULL }"), c.replies);
    }
    EXPECT_EQ(header() + "software error: server do NOT send ack!!!\n", err.text());

    // A delayed answer comes when the service sends it, with both ids.
    unsigned seq = 0;
    taker.onCommand = [&](const LGCP::Command&) {
        seq = taker.delayResponse();
        return true;
    };
    EXPECT_TRUE(exchange("{ seq 31, slot 1023, pdu command : query : NULL }").empty());
    EXPECT_EQ(-1, taker.GetSlot());
    taker.delayedSuccess(1023, seq);
    EXPECT_EQ(exchange("{ pdu command : ping : NULL }"),
              canonical({"{ seq 31, slot 1023, pdu response : success : NULL }",
                         "{ pdu response : success : NULL }"}));
}

TEST_F(ControlServer, SignalsReachTheOtherServicesFirstThenTheController) {
    LGCP::Signal activated;
    activated.set_activated();
    const std::string signal = activated.asValueNotation();
    taker.onCommand = [&](const LGCP::Command&) {
        taker.SendSignal(activated);
        taker.Success();
        return true;
    };
    EXPECT_EQ(exchange("{ seq 2, slot 12, pdu command : query : NULL }"),
              canonical({"{ slot 12, pdu signal : activated : NULL }",
                         "{ seq 2, slot 12, pdu response : success : NULL }"}));
    taker.SendSignal(activated);
    witness.SendSignal(40, activated);
    EXPECT_EQ(exchange("{ pdu command : ping : NULL }"),
              canonical({"{ pdu signal : activated : NULL }", "{ slot 40, pdu signal : activated : NULL }",
                         "{ pdu response : success : NULL }"}));
    EXPECT_EQ(std::vector<std::string>(2, signal), witness.signals);
    EXPECT_EQ(std::vector<std::string>(1, signal), taker.signals);

    // A slot id that does not fit is not sent.
    taker.SendSignal(1024, activated);
    EXPECT_NE(std::string::npos, err.text().find(header() + "send fail: encode error!{"));

    // Without a controller the services still hear it; the connection
    // service drops it.
    bool connected = true;
    client.Close();
    ASSERT_TRUE(pumpUntil([&] { return taker.disconnects == 1; }));
    EXPECT_TRUE(taker.CheckServerConnection(connected));
    EXPECT_FALSE(connected);
    err.clear();
    taker.SendSignal(activated);
    EXPECT_EQ(4u, witness.signals.size());
    EXPECT_EQ("Control::Service::Send() ignore Send request in Connecting state.\n", err.text());

    // Without a connection service the server says so.
    ctrlServer.Deactivate();
    EXPECT_EQ(2, witness.disconnects);
    EXPECT_FALSE(taker.CheckServerConnection(connected));
    err.clear();
    taker.SendSignal(activated);
    EXPECT_EQ("ctrl [null]: send fail: Service not attached!\n", err.text());
}

TEST(ControlService, AnUnboundServiceOnlyComplains) {
    StreamCapture err(std::cerr);
    ScriptedService loose;
    LGCP::Signal signal;
    signal.set_activated();
    loose.Success();
    loose.SendSignal(signal);
    EXPECT_EQ(-1, loose.GetSlot());
    EXPECT_FALSE(loose.IsSlotPresent());
    bool connected = false;
    EXPECT_FALSE(loose.CheckServerConnection(connected));
    std::string line = "CtrlSrv::Service error! service not connected to server.\n";
    EXPECT_EQ(line + line + line + line, err.text());
}

}  // namespace
