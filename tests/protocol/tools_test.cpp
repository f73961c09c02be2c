#include <iostream>
#include <map>
#include <memory>
#include <sstream>

#include "protocol/cdr_sender.h"
#include "protocol/stat_html.h"
#include "protocol/tpkt_tracer.h"
#include "tests/protocol/connection_harness.h"
#include "tests/support/capture.h"
#include "tests/support/daemon_process.h"

namespace {

// ---- TPKT trace tap -----------------------------------------------------------------

class TracerTest : public ::testing::Test, public TPKTTracer::Receiver {
protected:
    void SetUp() override {
        tracer.SetReceiver(this);
        ASSERT_TRUE(tracer.Listen(uint16_t(port)));
    }
    void OnTrace(const uint8_t* data, unsigned len) override {
        received.emplace_back(data, data + len);
        if (reply) tracer.Send(reply->data(), unsigned(reply->size()));
    }
    Peer client() {
        size_t before = tracer.Connections();
        Peer p = Peer::tcp(port);
        EXPECT_TRUE(pumpUntil([&] { return tracer.Connections() == before + 1; }));
        return p;
    }

    StreamCapture log{std::clog};
    ReservedPort port;
    TPKTTracer tracer;
    std::vector<Bytes> received;
    std::unique_ptr<Bytes> reply;
};

TEST_F(TracerTest, FansFramesOutAndAnswersOnlyTheAskingClient) {
    Peer a = client();
    Peer b = client();
    EXPECT_EQ(2u, count(log.text(), "ACP connection open from 127.0.0.1:"));
    tracer.Send("\x0A\x0B", 2);
    EXPECT_EQ(frame({0x0A, 0x0B}), a.take(6));
    EXPECT_EQ(frame({0x0A, 0x0B}), b.take(6));

    reply.reset(new Bytes{7});
    a.send(frame({}) + frame(Bytes(512, 1)));  // an empty frame delivers nothing
    ASSERT_TRUE(pumpUntil([&] { return received.size() == 1; }));
    EXPECT_EQ(Bytes(512, 1), received[0]);
    EXPECT_EQ(frame({7}), a.take(5));
    pumpPasses(3);
    b.poll();
    EXPECT_TRUE(b.got.empty());
}

TEST_F(TracerTest, BadFramesAndSlowClientsAreDropped) {
    Peer wrongReserved = client();
    Peer tooLong = client();
    Peer reader = client();
    // A small receive buffer, set before the handshake so the window is
    // small from the start.
    Fd small = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int size = 4096;
    ::setsockopt(small.get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in a = loopback(port);
    ASSERT_EQ(0, ::connect(small.get(), reinterpret_cast<sockaddr*>(&a), sizeof a));
    Peer stalled(small);
    ASSERT_TRUE(pumpUntil([&] { return tracer.Connections() == 4; }));
    wrongReserved.send({3, 1, 0, 5, 9});
    tooLong.send(frame(Bytes(513, 2)));
    EXPECT_TRUE(wrongReserved.closedByPeer());
    EXPECT_TRUE(tooLong.closedByPeer());
    EXPECT_EQ(2u, tracer.Connections());
    EXPECT_TRUE(received.empty());

    // The stalled client cannot take a whole frame long before the reader,
    // which drains between frames, has a full buffer.
    Bytes trace(1000, 3);
    for (int i = 0; i < 10000 && tracer.Connections() == 2; ++i) {
        tracer.Send(trace.data(), unsigned(trace.size()));
        EXPECT_EQ(frame(trace), reader.take(1004));
    }
    EXPECT_EQ(1u, tracer.Connections());
    EXPECT_TRUE(stalled.closedByPeer());
}

// ---- call-detail-record sender ----------------------------------------------------

TEST(CdrSender, SendsTheRecordToEveryAddressOfTheList) {
    ReservedPort port;
    Fd udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(port);
    ASSERT_EQ(0, ::bind(udp.get(), reinterpret_cast<sockaddr*>(&a), sizeof a));
    CDR_Sender::Sender sender;
    std::string record = "call 1 2 30s";
    std::string to = "127.0.0.1:" + std::to_string(port);
    EXPECT_TRUE(sender.SendTo(record, ""));
    EXPECT_TRUE(sender.SendTo(record, " " + to + "\tnot-an-address 127.0.0.1\n" + to));
    char buf[64];
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(
            record,
            std::string(buf, size_t(std::max<ssize_t>(0, ::recv(udp.get(), buf, sizeof buf, 0)))));
    EXPECT_EQ(-1, ::recv(udp.get(), buf, sizeof buf, MSG_DONTWAIT));
    udp.close();
}

// ---- HTML status template ------------------------------------------------------------

// A statistics object built from maps.
struct Node : Stat::Object {
    struct Items : Stat::IteratorBase {
        explicit Items(std::vector<Node>& v) : items(v) {}
        bool valid() const override { return at < items.size(); }
        bool next() override { return ++at < items.size(); }
        Stat::Object& item() override { return items[at]; }
        std::vector<Node>& items;
        size_t at = 0;
    };
    Node(std::initializer_list<std::pair<const std::string, std::string>> v = {}) : values(v) {}
    Stat::Value statistics_value(const std::string& n) override {
        auto it = values.find(n);
        return it == values.end() ? Stat::Value() : Stat::Value(it->second);
    }
    Stat::Object* statistics_object(const std::string& n) override {
        auto it = children.find(n);
        return it == children.end() ? nullptr : it->second.get();
    }
    std::unique_ptr<Stat::IteratorBase> statistics_iterator(const std::string& n) override {
        auto it = lists.find(n);
        return it == lists.end() ? nullptr
                                 : std::unique_ptr<Stat::IteratorBase>(new Items(it->second));
    }
    std::map<std::string, std::string> values;
    std::map<std::string, std::shared_ptr<Node>> children;
    std::map<std::string, std::vector<Node>> lists;
};

std::string generate(Node& root, const std::string& templ, bool* ok = nullptr) {
    std::istringstream in(templ);
    std::ostringstream out;
    bool result = Stat::Html::generateV1(root, out, in);
    if (ok) *ok = result;
    return out.str();
}

TEST(StatHtml, SectionsRepeatPerItemFollowAChildAndSkipWhatIsMissing) {
    Node root({{"title", "Trunks"}, {"unit", "frames"}});
    const std::string plain =
        "<html><!-- a comment --><td width=\"50%\">100%% 7% done</td><!--GEN-->%unknown%<br/>%\n";
    EXPECT_EQ(plain, generate(root, plain));

    root.lists["trunk"] = {Node({{"n", "0"}, {"state", "up"}}),
                           Node({{"n", "1"}, {"state", "down"}}),
                           Node({{"n", "2"}, {"state", "up"}})};
    root.lists["empty"] = {};
    root.children["clock"] = std::make_shared<Node>(Node{{"source", "E1 0"}});
    const std::string page =
        "<h1>%title%</h1>\n"
        "<!--GEN.trunk--><tr><td>%n%</td><td>%state%</td><td>%unit%</td></tr>\n<!--GEN.end-->"
        "<!--GEN.clock-->clock %source%%missing%<!--GEN.end-->\n"
        "<!--GEN.nothing-->gone %title%<!--GEN.trunk-->nested %n%<!--GEN.end--><!--GEN.end-->"
        "<!--GEN.empty-->no items<!--GEN.end-->end";
    bool ok = false;
    EXPECT_EQ(
        "<h1>Trunks</h1>\n"
        "<tr><td>0</td><td>up</td><td>frames</td></tr>\n"
        "<tr><td>1</td><td>down</td><td>frames</td></tr>\n"
        "<tr><td>2</td><td>up</td><td>frames</td></tr>\n"
        "clock E1 0%missing%\n"
        "end",
        generate(root, page, &ok));
    EXPECT_TRUE(ok);
}

TEST(StatHtml, UnbalancedSectionsAreReportedWithoutLosingText) {
    Node root({{"v", "1"}});
    bool ok = true;
    EXPECT_EQ("a1b", generate(root, "a<!--GEN.end-->%v%b", &ok));
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_EQ("a", generate(root, "a<!--GEN.none-->never", &ok));
    EXPECT_FALSE(ok);
    std::string deep;
    for (int i = 0; i < 1000; ++i) deep += "<!--GEN.x-->";
    EXPECT_EQ("", generate(root, deep + "text", &ok));
    EXPECT_FALSE(ok);
}

}  // namespace
