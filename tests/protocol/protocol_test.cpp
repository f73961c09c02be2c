#include <memory>

#include "tests/protocol/harness.h"

namespace {

std::vector<std::string> trail;

// A pass-through layer that notes its calls and reserves `header` octets.
struct Layer : Protocol {
    Layer(std::string n, unsigned header) : id(std::move(n)), header(header) {}
    ~Layer() override { trail.push_back(id + " deleted"); }
    bool message(Packet& p) override {
        note("message");
        return transmit(p);
    }
    void receive(Packet& p) override {
        note("receive");
        on_message(p);
    }
    void local_activate() override {
        note("activate");
        Protocol::local_activate();
    }
    void on_deactivate(Protocol_status_ptr s) override {
        note("on_deactivate " + s->message());
        Protocol::on_deactivate(s);
    }
    bool local_prepare_head(Packet& p) override { return p.reserve_head(header); }
    Protocol_status_ptr local_initialize() override {
        note("initialize");
        return fails ? make_error(this, id + " failed") : make_success(this);
    }
    void note(const std::string& what) { trail.push_back(id + " " + what); }

    std::string id;
    unsigned header;
    bool fails = false;
};

class ProtocolTest : public PoolTest {
protected:
    void SetUp() override {
        trail.clear();
        for (const char* n : {"bottom", "middle", "top"}) {
            layers.push_back(new Layer(n, layers.size() == 2 ? 4 : 0));
            owner->add_protocol_tail(layers.back());
        }
    }
    std::unique_ptr<Owner> owner{new Owner};
    std::vector<Layer*> layers;
};

TEST_F(ProtocolTest, PacketsAndActivationWalkTheStack) {
    Packet p = make_packet({1});
    EXPECT_FALSE(owner->message(p));  // the bottom layer has nowhere to send it
    layers[0]->receive(p);
    layers[2]->activate();
    EXPECT_EQ((std::vector<std::string>{"top message", "middle message", "bottom message", "bottom receive",
                                        "middle receive", "top receive", "bottom activate", "middle activate",
                                        "top activate"}),
              trail);
    EXPECT_EQ((std::vector<Bytes>{{1}}), owner->messages);
    EXPECT_EQ((std::vector<Protocol*>{layers[2]}), owner->activated);
}

TEST_F(ProtocolTest, SuccessWalksDownAndErrorsWalkUp) {
    layers[2]->deactivate();
    ASSERT_EQ(1u, owner->reports.size());
    EXPECT_EQ(layers[0], owner->reports[0].reporter);
    EXPECT_TRUE(owner->reports[0].status->success());

    trail.clear();
    Protocol_status_ptr error = make_error(layers[0], "broken");
    layers[0]->on_deactivate(error);
    EXPECT_EQ((std::vector<std::string>{"bottom on_deactivate broken", "middle on_deactivate broken",
                                        "top on_deactivate broken"}),
              trail);
    ASSERT_EQ(2u, owner->reports.size());
    EXPECT_EQ(layers[2], owner->reports[1].reporter);
    EXPECT_EQ(error.get(), owner->reports[1].status.get());
}

TEST_F(ProtocolTest, HeadRoomOfEveryLayerAndAnEmptyPool) {
    Packet p;
    ASSERT_TRUE(owner->prepare_head(p));
    EXPECT_EQ(0u, p.length());
    EXPECT_EQ(4u, p.head_room());
    EXPECT_EQ(65532u, p.tail_room());
    PoolDrain drain;
    Packet none;
    EXPECT_FALSE(owner->prepare_head(none));
}

TEST_F(ProtocolTest, InitialisationStopsAtTheFirstFailure) {
    layers[1]->fails = true;
    EXPECT_EQ("middle failed", owner->initialize()->message());
    EXPECT_EQ((std::vector<std::string>{"bottom initialize", "middle initialize"}), trail);
    EXPECT_EQ("error", Owner().initialize()->message());
}

TEST_F(ProtocolTest, TheListOwnsItsLayers) {
    delete layers[1];  // leaves the list first
    EXPECT_EQ(layers[0], layers[2]->lower());
    trail.clear();
    owner.reset();
    EXPECT_EQ((std::vector<std::string>{"top deleted", "bottom deleted"}), trail);
}

}  // namespace
