// Voice players and recorders in process on the simulated MCC controller:
// phrase files reaching the channel byte for byte, names that cannot play,
// a network player against a test source and a recorder against a test
// sink as they connect, copy, end or fail, and many slots created and
// destroyed.

#include <arpa/inet.h>

#include <algorithm>

#include "protocol/packet.h"
#include "slots/play_slot.h"
#include "slots/record_slot.h"
#include "tests/support/descriptors.h"
#include "tests/protocol/connection_harness.h"
#include "tests/slots/slot_kinds.h"
#include "tests/support/temp_root.h"

namespace {

const int kSink = 9;       // a trunk slot the players feed

std::string pattern(size_t n, int seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char(i * 7 + size_t(seed) + i / 251);
    return s;
}

class VoiceSlots : public SlotKinds {
protected:
    void SetUp() override {
        SlotKinds::SetUp();
        ASSERT_EQ(ok(kSink), command(kSink, "create : trunk : { trunk 0, timeslot 1 }").front());
    }

    void phrase(const std::string& name, const std::string& bytes) { root.writeFile("/usr/local/voice/" + name, bytes); }
    Texts filePlayer(int slot, const std::string& names, int repeat) {
        return command(slot, "create : voice : player : file : { name { " + names + " }, repeat " +
                                 std::to_string(repeat) + " }");
    }
    Texts networkPlayer(int slot, int id) {
        return command(slot, "create : voice : player : network : { host { iaddr \"127.0.0.1\", port " +
                                 std::to_string(port2) + " }, id " + std::to_string(id) + " }");
    }
    Texts recorder(int slot) {
        return command(slot, "create : voice : record : { iaddr \"127.0.0.1\", port " + std::to_string(port2) + " }");
    }
    size_t count(const std::string& message) const {
        return size_t(std::count(client.Received().begin(), client.Received().end(), message));
    }
    // Runs the loop until the controller has received `message` `n` times.
    bool await(const std::string& message, size_t n = 1) {
        return pumpUntil([&] { return count(message) >= n; });
    }
    static std::string aborted(int slot) { return abort(slot, 0); }
    static std::string stopped(int slot, const std::string& cause) {
        return signal(slot, "ioctl : stopRecording : " + cause);
    }
    // A peer the daemon connects to, accepted.
    Peer accept() {
        Fd s;
        EXPECT_TRUE(pumpUntil([&] { return (s = ::accept(listener.get(), nullptr, nullptr)).get() >= 0; }));
        return Peer(s);
    }

    TempRoot root;
    VoiceFactory factory;
    ReservedPort port2;
    Fd listener;
};

TEST_F(VoiceSlots, PhraseFilesReachTheChannelByteForByteAsOftenAsAsked) {
    const std::string a = pattern(3000, 1), b = pattern(700, 2);
    phrase("a.raw", a);
    phrase("greet/b.raw", b);
    for (int repeat : {1, 3, 0}) {
        SCOPED_TRACE(repeat);
        mcc.clearSent(kFirst);
        size_t aborts = count(aborted(1));
        EXPECT_EQ(Texts{ok(1)}, filePlayer(1, "\"a.raw\", \"missing.raw\", \"greet/b.raw\"", repeat));
        EXPECT_EQ((std::vector<uint32_t>{2, 1024, 0, 0, 5}), allocation(kFirst));
        EXPECT_EQ(stream(1, "transmitter", kFirst), link(1, kSink).front());
        std::string whole;
        for (int pass = 0; pass < (repeat ? repeat : 4); ++pass) whole += a + b;
        if (repeat) {
            ASSERT_TRUE(await(aborted(1), aborts + 1));
            EXPECT_EQ(whole, played());
        } else {
            ASSERT_TRUE(pumpUntil([&] { return played().size() >= whole.size(); }));
            EXPECT_EQ(whole, played().substr(0, whole.size()));
            EXPECT_EQ(aborts, count(aborted(1)));  // endless until destroyed
        }
        command(1, "destroy : NULL");
        sim.board().collect();
    }
}

TEST_F(VoiceSlots, NamesThatCannotPlayAreSkippedAndAnUnplayableListAbortsOnce) {
    phrase("empty.raw", "");
    phrase("dir/x.raw", "x");
    root.writeFile("/usr/local/secret.raw", "secret");
    // Last an empty file: it opens, but a pass of it plays nothing, so the
    // endless player stops with one abort instead of spinning.
    for (std::string names : {"\"missing.raw\"", "\"dir\"", "\"../secret.raw\"", "\"dir/../../secret.raw\"",
                              "\"/usr/local/voice/empty.raw\"", "\"\"", "\"empty.raw\""}) {
        SCOPED_TRACE(names);
        bool opens = names == "\"empty.raw\"";
        size_t aborts = count(aborted(1));
        filePlayer(1, names, 0);
        EXPECT_EQ(opens ? stream(1, "transmitter", kFirst) : error(1, "connectFail"), link(1, kSink).front());
        ASSERT_TRUE(await(aborted(1), aborts + 1));
        pumpPasses(5);
        EXPECT_EQ(aborts + 1, count(aborted(1)));  // once, not on every pass
        EXPECT_EQ("", played());
        EXPECT_TRUE(!opens || existing<PlaySlotFile>(1).Ended());
        command(1, "destroy : NULL");
    }
}

TEST_F(VoiceSlots, ANetworkPlayerSendsItsIdThenPlaysWhatTheSourceSends) {
    listener = listenOn(port2);
    ASSERT_EQ(Texts{ok(1)}, networkPlayer(1, 0x01020304));
    link(1, kSink);
    Peer source = accept();
    ASSERT_TRUE(await(signal(1, "ioctl : startPlaying : NULL")));
    EXPECT_EQ((Bytes{1, 2, 3, 4}), source.take(4));
    EXPECT_TRUE(source.got.empty());
    const std::string body = pattern(5000, 3);
    source.send(Bytes(body.begin(), body.end()));
    source.fd.close();
    ASSERT_TRUE(await(aborted(1)));
    EXPECT_EQ(body, played());
    EXPECT_EQ(PlaySlotNetwork::released, existing<PlaySlotNetwork>(1).GetState());
    EXPECT_TRUE(said("player[256]: connection to 127.0.0.1:" + std::to_string(port2) +
                                                 " closed.\n"));
    // A released player does not connect again.
    command(kSink, "disconnect : NULL");
    link(1, kSink);
    pumpPasses(5);
    EXPECT_EQ(-1, ::accept(listener.get(), nullptr, nullptr));
    listener.close();
}

TEST_F(VoiceSlots, AConnectRefusedOrUnansweredWithinFiveSecondsFails) {
    const std::string failed = "connection to 127.0.0.1:" + std::to_string(port2) + " fail.\n";
    networkPlayer(1, 7);  // nothing listens
    link(1, kSink);
    recorder(2);
    link(kSink, 2);
    ASSERT_TRUE(await(aborted(1)));
    ASSERT_TRUE(await(stopped(2, "connectionFail")));

    // A full backlog drops the handshake: the time-out ends it.
    listener = listenOn(port2, 0);
    Peer filler = Peer::tcp(port2);
    networkPlayer(3, 7);
    link(3, kSink);
    recorder(4);
    link(kSink, 4);
    advance(4990);
    EXPECT_EQ(0u, count(aborted(3)) + count(stopped(4, "connectionFail")));
    advance(20);
    EXPECT_EQ(1u, count(aborted(3)));
    EXPECT_EQ(1u, count(stopped(4, "connectionFail")));
    EXPECT_TRUE(said("player[258]: " + failed));
    EXPECT_TRUE(said("recorder[259]: " + failed));
    listener.close();
}

TEST_F(VoiceSlots, ARecorderCopiesTheChannelUntilItsSinkCloses) {
    listener = listenOn(port2);
    const std::string part = pattern(1500, 4);
    struct Case {
        const char* how;
        const char* cause;
    } cases[] = {{"normally", "userRequest"}, {"early", "connectionAborted"}, {"stalling", nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        size_t ends = count(stopped(2, "connectionAborted")) + count(stopped(2, "userRequest"));
        EXPECT_EQ((Texts{ok(2), stream(2, "receiver", kFirst)}), recorder(2));
        link(kSink, 2);
        Peer sink = accept();
        ASSERT_TRUE(pumpUntil([&] { return existing<RecordSlot>(2).IsRecording(); }));
        ASSERT_TRUE(mcc.receive(kFirst, SimMcc::Frame(part.begin(), part.end())));
        EXPECT_EQ(Bytes(part.begin(), part.end()), sink.take(part.size()));
        if (c.cause) {
            if (std::string(c.how) == "early") {
                // Closing with unread bytes resets the connection.
                ASSERT_TRUE(mcc.receive(kFirst, SimMcc::Frame(10, 1)));
                pumpPasses(5);
                linger abort{1, 0};
                ::setsockopt(sink.fd.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            }
            sink.fd.close();
            ASSERT_TRUE(await(stopped(2, c.cause)));
            // More from the channel after the end is not copied anywhere.
            mcc.receive(kFirst, SimMcc::Frame(10, 2));
            pumpPasses(5);
            EXPECT_EQ(1u, count(stopped(2, c.cause)));
        } else {
            // A sink that reads nothing holds the copy, not the daemon.
            for (int i = 0; i < 4000; ++i) {
                mcc.receive(kFirst, SimMcc::Frame(1024, uint8_t(i)));
                pumpPasses(1);
            }
            EXPECT_TRUE(existing<RecordSlot>(2).IsRecording());
            EXPECT_EQ(Texts{error(2, "unsupported")}, command(2, "ioctl : sd-disable : NULL"));
            EXPECT_EQ(ends, count(stopped(2, "connectionAborted")) + count(stopped(2, "userRequest")));
        }
        command(2, "destroy : NULL");
        sim.board().collect();
    }
    listener.close();
}

TEST_F(VoiceSlots, ThousandCyclesOfPlayersAndRecordersLeaveNothingBehind) {
    phrase("a.raw", pattern(100, 5));
    listener = listenOn(port2, 64);
    const std::string host = "{ iaddr \"127.0.0.1\", port " + std::to_string(port2) + " }";
    size_t destroyed = 0;
    auto cycle = [&] {
        std::string error;
        for (const std::string& kind : {std::string("player : file : { name { \"a.raw\" }, repeat 0 }"), "record : " + host,
                                        "player : network : { host " + host + ", id 1 }"}) {
            bool record = kind.compare(0, 6, "record") == 0;
            client.Send("{ seq 1, slot 1, pdu command : create : voice : " + kind + " }", error);
            client.Send(record ? "{ seq 1, slot 9, pdu command : connect : 1 }"
                               : "{ seq 1, slot 1, pdu command : connect : 9 }",
                        error);
            client.Send("{ seq 1, slot 1, pdu command : destroy : NULL }", error);
        }
        Texts got = barrier(client.Received().size());
        destroyed += size_t(std::count(got.begin(), got.end(), ok(1, 0)));
        for (int peer; (peer = ::accept(listener.get(), nullptr, nullptr)) >= 0;) ::close(peer);
    };
    cycle();
    sim.board().collect();
    int descriptors = openDescriptors();
    unsigned packets = Packet::free_blocks();
    for (int i = 0; i < 1000; ++i) cycle();
    sim.board().collect();
    EXPECT_EQ(3003u, destroyed);
    EXPECT_EQ(descriptors, openDescriptors());
    EXPECT_EQ(packets, Packet::free_blocks());
    EXPECT_TRUE(mcc.allocated().empty());
    EXPECT_TRUE(factory.Players().empty() && factory.Recorders().empty());
    listener.close();
}

}  // namespace
