// Trunk slots of the running daemon on the simulated board: created,
// connected through the time-slot switch, destroyed, and torn down with
// the controller.

#include <gtest/gtest.h>

#include "tests/e2e/daemon_fixture.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/sim_command.h"
#include "tools/lgcpc/client.h"

namespace {

using namespace LgcpTexts;
using Texts = std::vector<std::string>;

class Slots : public RunningDaemon {
protected:
    void open(Lgcpc::Client& c) {
        std::string error;
        ASSERT_TRUE(c.Connect("127.0.0.1", uint16_t(port), error)) << error;
    }
    Texts command(int slot, const std::string& cmd) {
        return answers(client, "{ seq 1, slot " + std::to_string(slot) + ", pdu command : " + cmd + " }");
    }
    Texts create(int slot, int trunk, int timeslot, const std::string& kind = "trunk") {
        return command(slot, "create : " + kind + " : { trunk " + std::to_string(trunk) + ", timeslot " +
                                 std::to_string(timeslot) + " }");
    }
    static Texts created(int slot, int channel) {
        return {ok(slot), stream(slot, "transmitter", channel), stream(slot, "receiver", channel)};
    }
    // What the switch model of the daemon's board says.
    std::string bus(const std::string& words) { return simCommand(root.dir(), "/dev/hal bus " + words); }
    size_t count(const std::string& text) const {
        std::string all = korvand.err();
        size_t n = 0;
        for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
        return n;
    }

    Lgcpc::Client client;
};

// The slot table's rules are its in-process tests' business: here the
// daemon's trunk factories, its switch on the board, and what a trunk slot
// refuses.
TEST_F(Slots, TrunkSlotsAreCreatedConnectedAndDestroyedThroughTheSwitch) {
    open(client);
    EXPECT_EQ(created(2, 5), create(2, 0, 5));
    EXPECT_EQ(created(3, 35), create(3, 1, 3));
    EXPECT_EQ(created(4, 9), create(4, 2, 1, "trunk_bri"));

    ASSERT_EQ("ok", bus("carry 5 0x42"));
    EXPECT_EQ(Texts{ok(2)}, command(2, "connect : 4"));
    EXPECT_EQ("0x42", bus("read 9"));
    EXPECT_EQ(1u, count("mux: slot 02:trunk [5] -> 04:trunkBRI [9]\n"));
    EXPECT_EQ(Texts{ok(4)}, command(4, "disconnect : NULL"));
    EXPECT_EQ("0xd5", bus("read 9"));

    for (const char* cmd : {"activate : empty : NULL", "deactivate : NULL", "userData : '00'H",
                            "ioctl : deactivateRecord : NULL"})
        EXPECT_EQ(Texts{error(3, "unsupported")}, command(3, cmd)) << cmd;
    EXPECT_EQ((Texts{ok(3, 0), ok(3)}), command(3, "destroy : NULL"));
    EXPECT_EQ(Texts{error(5, "insufficientResources")}, command(5, "create : usb-tdm : { channel 1 }"));
}

TEST_F(Slots, AQueryReportsTheFactoriesShares) {
    Outcome run = send("{ seq 3, pdu command : query : NULL }");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(Lgcpc::canonical("{ seq 3, pdu response : success : NULL }") + "\n\n" +
                  Lgcpc::canonical("{ pdu signal : query : { boardMajor 0, boardMinor 0, rtp-g729 32, rtp-g723 16,"
                                   " rtp-g711 64, rtp-g711mcc 0, modem 4, mixer { { unit 0, tdm_inputs 24,"
                                   " tdm_outputs 24, mixer_inputs 96, dpu_per_mixer 770, dpu_per_ec 17,"
                                   " dpu_per_lms 24 }, { unit 1, tdm_inputs 24, tdm_outputs 24, mixer_inputs 96,"
                                   " dpu_per_mixer 770, dpu_per_ec 17, dpu_per_lms 24 } }, mux TRUE, mcc-data 8,"
                                   " mcc-bri 4, mcc-trans 4, echoBus { 4, 5 }, t38-instances 0, digital-modems 2,"
                                   " lin16 0, universal 8 } }") +
                  "\n",
              run.out);
}

TEST_F(Slots, ALostControllerTakesEverySlotWithIt) {
    open(client);
    create(1, 0, 1);
    create(2, 0, 2);
    command(1, "connect : 2");
    ASSERT_EQ("ok", bus("carry 1 0x17"));
    ASSERT_EQ("0x17", bus("read 2"));
    client.Close();
    // One controller at a time: the next is admitted once the daemon saw the loss.
    ASSERT_TRUE(waitFor([&] { return count("closed.\n") == 1; })) << korvand.err();

    Lgcpc::Client next;
    open(next);
    for (int slot : {1, 2})
        EXPECT_EQ(Texts{error(slot, "slotNotExists")},
                  answers(next, "{ seq 1, slot " + std::to_string(slot) + ", pdu command : destroy : NULL }"));
    EXPECT_EQ("0xd5", bus("read 2"));
    // The factory's time slot is free again: no replacement this time.
    EXPECT_EQ(created(7, 1), answers(next, "{ seq 1, slot 7, pdu command : create : trunk : { trunk 0, timeslot 1 } }"));
    EXPECT_EQ(0u, count("two slots require the same timeslot"));
}

}  // namespace
