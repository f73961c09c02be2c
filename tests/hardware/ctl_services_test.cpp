// The board's control services with a controller over loopback: what the
// controller sees of trunk statuses, trunk modes, the bus clock, the bus
// tests and CAS, and what the simulated board was asked to do.

#include <errno.h>

#include <cstdio>

#include "tests/hardware/ctl_fixture.h"

namespace {

const int kBus1 = HwMux::kBusFirst + 128;
const int kBus2 = HwMux::kBusFirst + 256;

std::string hexByte(unsigned byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X ", byte & 0xFF);
    return text;
}

size_t occurrences(const std::string& text, const std::string& line) {
    size_t n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
}

TEST_F(ControlServices, StatusesClockAndMaskFollowTheController) {
    std::vector<std::string> received(client.Received().begin(), client.Received().end());
    EXPECT_EQ(e1Statuses(), received);
    EXPECT_EQ(Hal::kClockFreeRun, busClock.source());
    EXPECT_EQ(1u, busClock.selects());
    EXPECT_EQ(0, maintenance.transmitClockMask());
    EXPECT_NE(std::string::npos, log.text().find("E1: TCLT = 0x0\nE1: cas interface opened!\n"));

    // Every second: the framers, then the BRI lines. A framer state that
    // the protocol has no name for is reported unknown.
    maintenance.framer(3).state = 99;
    spiPart.setLine(0, SimSpi::kLineRai);
    spiPart.setLine(1, SimSpi::kLineAis);
    spiPart.setLine(2, SimSpi::kLineLossBF);
    std::vector<std::string> second = e1Statuses();
    second[3] = status("e1", 3, "unknown");
    for (const char* state : {"rai", "ais", "lossBF", "normal", "normal", "normal", "lossCarrier",
                              "lossCarrier"})
        second.push_back(status("bri", int(second.size()) - 4, state));
    EXPECT_EQ(second, wait(1000));
    EXPECT_EQ(second, wait(1000));
    EXPECT_EQ(std::string::npos, err.text().find("encode error"));

    // The controller goes: free run again; the framers are still watched for
    // the other services, the lines are not.
    size_t heard = witness.signals.size();
    client.Close();
    ASSERT_TRUE(pumpUntil([&] { return taker.disconnects == 1; }));
    EXPECT_EQ(2u, busClock.selects());
    EXPECT_EQ(Hal::kClockFreeRun, busClock.source());
    advanceAndPump(clock, 1000, 100);
    EXPECT_EQ(heard + E1::kTrunks, witness.signals.size());
    EXPECT_FALSE(spi.polling());
}

TEST_F(ControlServices, BriSlipsAreCountedPerLineAndAFailedReadIsUnknown) {
    wait(1000);
    spiPart.control({"slip", "0", "on"});
    spiPart.control({"slip", "1", "on"});
    hal.failRequest(Hal::kSpiRead, EIO, 1);
    std::vector<std::string> got = wait(1000);
    ASSERT_EQ(12u, got.size());
    EXPECT_EQ(status("bri", 0, "unknown"), got[4]);
    EXPECT_EQ(status("bri", 1, "normal", 1), got[5]);
    EXPECT_NE(std::string::npos, log.text().find("spi: read error: channel=0 addr=51\n"));
    // The slip of line 0 is new once its status reads again; line 1's is not.
    got = wait(1000);
    EXPECT_EQ(status("bri", 0, "normal", 1), got[4]);
    EXPECT_EQ(status("bri", 1, "normal"), got[5]);

    // The switch driver turns out to have no SPI part: the lines go quiet.
    spiPart.setPresent(false);
    EXPECT_EQ(e1Statuses(), wait(1000));
    EXPECT_EQ(e1Statuses(), wait(1000));
    EXPECT_EQ(1u, occurrences(log.text(), "spi: hal without spi\n"));
    EXPECT_FALSE(spi.polling());
}

TEST_F(ControlServices, TrunkModesSetTheTransmitClockMask) {
    const struct {
        const char* cfg;
        long mask;
    } cases[] = {
        {"trunk 1, mode slave", 0x2},   {"trunk 3, mode slave", 0xA},
        {"trunk 1, mode master", 0x8},  {"trunk 32, mode slave", 0x8},
        {"trunk -1, mode master", 0x8}, {"trunk 4, mode slave", 0x8},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::vector<std::string>{success(1)},
                  exchange(std::string("{ seq 1, pdu command : trunkCfg : { ") + c.cfg + " } }"))
            << c.cfg;
        EXPECT_EQ(c.mask, maintenance.transmitClockMask()) << c.cfg;
    }
    EXPECT_NE(std::string::npos, log.text().find("E1: TCLT = 0x2\nE1: TCLT = 0xA\nE1: TCLT = 0x8\n"));
    EXPECT_EQ(3u, occurrences(err.text(), ", mode ignored\n"));

    maintenance.failRequest(E1::kTransmitClockMask, EIO, 1);
    EXPECT_EQ(std::vector<std::string>{error(2, "internal")},
              exchange("{ seq 2, pdu command : trunkCfg : { trunk 0, mode slave } }"));
    EXPECT_NE(std::string::npos, err.text().find("E1: fail to set TCLK [cause=Input/output error]\n"));
}

TEST_F(ControlServices, ClockConfigurationsSelectTheirSource) {
    const struct {
        const char* cfg;
        int source;  // -1: nothing selected
        const char* answer;
    } cases[] = {
        {"clkSel0 external, bextEn enabled, source 2", 2, nullptr},
        {"clkSel0 external, bextEn disabled, source 2", 5, nullptr},
        {"clkSel0 internal, bextEn enabled, source 2", 4, nullptr},
        {"clkSel0 external, bextEn enabled, source -1", -1, nullptr},
        {"clkSel0 external, bextEn enabled, source 9", -1, "invalidParams"},
    };
    for (const auto& c : cases) {
        unsigned before = busClock.selects();
        std::string request = std::string("{ seq 3, pdu command : clockCfg : { ") + c.cfg + " } }";
        EXPECT_EQ(std::vector<std::string>{c.answer ? error(3, c.answer) : success(3)},
                  exchange(request))
            << c.cfg;
        EXPECT_EQ(c.source < 0 ? before : before + 1, busClock.selects()) << c.cfg;
        if (c.source >= 0) {
            EXPECT_EQ(c.source, busClock.source()) << c.cfg;
        }
    }
    EXPECT_NE(std::string::npos, err.text().find("clkctl: clock source = f2\n"));
    EXPECT_NE(std::string::npos, err.text().find("clkctl: clock source = X3\n"));
    EXPECT_NE(std::string::npos, err.text().find("clkctl: HW_CLOCK_SELECT fail.\n"));

    // Clock control off: refused, and connections leave the clock alone.
    busCtl.DisableControl();
    EXPECT_NE(std::string::npos, log.text().find("clock control disabled.\n"));
    unsigned selects = busClock.selects();
    EXPECT_EQ(std::vector<std::string>{error(4, "unsupported")},
              exchange("{ seq 4, pdu command : clockCfg : { clkSel0 internal, bextEn enabled, "
                       "source 0 } }"));
    client.Close();
    ASSERT_TRUE(pumpUntil([&] { return taker.disconnects == 1; }));
    Lgcpc::Client next;
    connect(next);
    ASSERT_TRUE(pumpUntil([&] { return taker.connects == 2; }));
    EXPECT_EQ(selects, busClock.selects());
}

TEST_F(ControlServices, BusTestsWriteReadAndDisableRunsOfTheBus) {
    const std::string test = "{ seq 5, pdu command : testBpc : { bus ";
    // A peer board carries seed 7's bytes on bus 2, time slots 10 to 12.
    ASSERT_EQ(std::string::npos, sim.board().control("/dev/hal bus pattern 2 10 3 7").find("error"));
    EXPECT_EQ(std::vector<std::string>{success(5)},
              exchange(test + "1, seed 7, mode write : NULL, timeslot-start 10, timeslot-length 3 } }"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(int(sw.byteOf(kBus2 + 10 + i)), sw.constantOf(kBus1 + 10 + i)) << i;
    EXPECT_EQ(std::vector<std::string>{success(5)},
              exchange(test + "2, seed 7, mode read : NULL, timeslot-start 10, timeslot-length 3 } }"));

    // A damaged channel fails the read at its time slot, and the write.
    sw.damage(kBus2 + 11, 0x0F);
    sw.damage(kBus1 + 11, 0x30);
    EXPECT_EQ(std::vector<std::string>{error(5, "busError")},
              exchange(test + "2, seed 7, mode read : NULL, timeslot-start 10, timeslot-length 3 } }"));
    EXPECT_EQ(std::vector<std::string>{error(5, "busError")},
              exchange(test + "1, seed 7, mode write : NULL, timeslot-start 10, timeslot-length 3 } }"));
    EXPECT_EQ("bus 2: test failed on channel 11 expected " + hexByte(sw.byteOf(kBus2 + 11)) +
                  " read " + hexByte(sw.readback(kBus2 + 11)) + "\n" +
                  "bus 1: write failed on channel 11 write " + hexByte(sw.byteOf(kBus1 + 11)) +
                  " written " + hexByte(sw.readback(kBus1 + 11)) + "\n",
              err.text());

    // A run that would leave its bus is refused before anything is touched;
    // an empty run passes; a disconnect disables the run.
    EXPECT_EQ(std::vector<std::string>{error(5, "invalidParams")},
              exchange(test + "1, seed 7, mode write : NULL, timeslot-start 120, timeslot-length 9 } }"));
    EXPECT_EQ(-1, sw.constantOf(kBus1 + 120));
    EXPECT_EQ(std::vector<std::string>{success(5)},
              exchange(test + "3, seed 1, mode read : NULL, timeslot-start 127, timeslot-length 0 } }"));
    EXPECT_EQ(std::vector<std::string>{success(5)},
              exchange(test + "1, seed 0, mode disconnect : NULL, timeslot-start 10, timeslot-length 3 } }"));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(sw.isDisabled(kBus1 + 10 + i)) << i;

    // A switch that refuses the disables fails the test.
    err.clear();
    hal.failRequest(Hal::kMuxDisable, EIO);
    EXPECT_EQ(std::vector<std::string>{error(5, "busError")},
              exchange(test + "1, seed 0, mode disconnect : NULL, timeslot-start 20, timeslot-length 2 } }"));
    hal.failRequest(Hal::kMuxDisable, 0);
    EXPECT_EQ("bus 1: disable failed on channel 20\n", err.text());
}

std::string casCommand(int seq, int trunk, int timeslot, const std::string& cmd) {
    return "{ seq " + std::to_string(seq) + ", pdu command : ioctl : cas : { channel { path " +
           std::to_string(trunk) + ", timeslot " + std::to_string(timeslot) + " }, cmd " + cmd +
           " } }";
}

TEST_F(ControlServices, CasCommandsAnswerWithTheChannelsBits) {
    typedef std::vector<std::string> Texts;
    EXPECT_EQ((Texts{cas(0, 0, 0, 0), cas(0, 5, 9, 15), success(1)}),
              exchange(casCommand(1, 0, 5, "open : 31")));
    EXPECT_TRUE(casModel.channel(0, 5).enabled);
    EXPECT_EQ("sent", casModel.lineBits(0, 5, 3));
    EXPECT_EQ(Texts{cas(0, 5, 3, 15)}, wait(0));
    EXPECT_EQ((Texts{cas(0, 5, 3, 2), success(2)}),
              exchange(casCommand(2, 0, 5, "set : 2")));
    EXPECT_EQ((Texts{cas(0, 5, 3, 2), success(3)}), exchange(casCommand(3, 0, 5, "get : NULL")));

    // Time slot 16 opens the trunk alone; a failed request reports its result.
    EXPECT_EQ((Texts{cas(1, 0, 0, 0), success(4)}), exchange(casCommand(4, 1, 16, "open : 1")));
    EXPECT_EQ("trunk 1 open channels", casModel.control({"trunk", "1"}));
    casModel.failRequest(E1::kCasEnable, EIO, 1);
    EXPECT_EQ((Texts{cas(0, 0, 0, 0), cas(0, 6, -1, 0), success(5)}),
              exchange(casCommand(5, 0, 6, "open : 1")));

    // Numbers that name no trunk, and trunks not open, do nothing.
    EXPECT_EQ(Texts{success(6)}, exchange(casCommand(6, 4, 5, "open : 1")));
    EXPECT_EQ(Texts{success(7)}, exchange(casCommand(7, -1, 5, "open : 1")));
    EXPECT_EQ(Texts{success(8)}, exchange(casCommand(8, 2, 5, "set : 1")));

    EXPECT_EQ((Texts{cas(0, 5, -1, 1), success(9)}), exchange(casCommand(9, 0, 5, "close : NULL")));
    EXPECT_EQ((Texts{cas(0, 0, 1, 0), success(10)}), exchange(casCommand(10, 0, 0, "close : NULL")));
    EXPECT_FALSE(casModel.isOpen(0));
    EXPECT_EQ(Texts{success(11)}, exchange(casCommand(11, 0, 5, "get : NULL")));

    // A lost controller leaves no trunk open.
    client.Close();
    ASSERT_TRUE(pumpUntil([&] { return taker.disconnects == 1; }));
    EXPECT_FALSE(casModel.isOpen(1));
    EXPECT_EQ(cas(1, 0, 1, 0), Lgcpc::canonical("{ pdu signal : " + witness.signals.back() + " }"));
}

TEST_F(ControlServices, CasRecordsAndAHungUpDevice) {
    typedef std::vector<std::string> Texts;
    EXPECT_EQ("sent 1", casModel.control({"record", "3", "7", "9", "1"}));
    EXPECT_EQ("sent 1", casModel.control({"raw", "0300000007"}));
    EXPECT_EQ(Texts{cas(3, 7, 9, 1)}, wait(0));
    EXPECT_EQ("E1: short cas record of 5 bytes dropped\n", err.text());

    // The driver hangs up: the device is closed once, the trunk reported
    // closed, and the next second's round opens it again.
    exchange(casCommand(1, 2, 0, "open : 0"));
    EXPECT_EQ("ok", casModel.control({"hangup"}));
    EXPECT_EQ(Texts{cas(2, 0, 1, 0)}, wait(0));
    pumpPasses(20);
    EXPECT_EQ(1u, occurrences(err.text(), "E1: cas interface failed: end of file\n"));
    EXPECT_FALSE(e1.CasOpen(2));

    // Without the device a CAS command is an error.
    casModel.failOpen(ENOENT);
    EXPECT_EQ(Texts{error(2, "internal")}, exchange(casCommand(2, 2, 0, "open : 0")));
    EXPECT_NE(std::string::npos,
              err.text().find("E1: cas interface open fail: No such file or directory\n"));
    casModel.failOpen(0);
    wait(1000);
    EXPECT_EQ(2u, occurrences(log.text(), "E1: cas interface opened!\n"));
    EXPECT_EQ((Texts{cas(2, 0, 0, 0), success(3)}), exchange(casCommand(3, 2, 0, "open : 0")));
}

}  // namespace
