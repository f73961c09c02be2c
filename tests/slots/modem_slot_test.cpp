// DSP and HDLC modem slots in process: the command lines of the children,
// what their ends tell the controller, destruction with a child that obeys
// SIGHUP or ignores it, the modem driver's requests and the interfaces.

#include "slots/modem_slot.h"

#include "board/hdlc_net_driver.h"
#include "hardware/hdlc_net_if.h"

#include <unistd.h>

#include <regex>

#include "tests/slots/program_slots.h"

namespace {

using Args = std::vector<std::string>;

class ModemSlots : public ModemServer {
protected:
    int childPid(int id) { return existing<ModemSlot>(id).ChildPid(); }
};

// The answering pppd's command line is checked end to end.
TEST_F(ModemSlots, ChildrenRunTheCommandLinesOfTheirKind) {
    // Of 70 arguments, those that fit the 64 entries with the program and
    // the end.
    std::string seventy;
    Args kept = {"/usr/local/sbin/mypppd"};
    for (int i = 0; i < 70; ++i) {
        seventy += (i ? ", \"a" : "\"a") + std::to_string(i) + "\"";
        if (i < 62) kept.push_back("a" + std::to_string(i));
    }
    const std::string pppd = "/usr/local/sbin/pppd";
    struct Case {
        std::string params;
        std::string role;
        Args argv;
        std::string line;  // what the slot logs of the start
    } cases[] = {
        {"{ cid \"\", cdid \"\", originate NULL }", "sbin-pppd", {pppd, "file", "/usr/local/etc/ppp/coptions", "/dev/mdm0"},
         "01:dsp-modem: pppd executed cid=\"\" pid="},
        {"{ cid \"1\", cdid \"\", execfile \"/usr/local/sbin/mypppd\", execargs { " + seventy + " } }", "sbin-mypppd",
         kept, "01:dsp-modem: pppd executed cid=\"1\" pid="},
        {"{ cid \"77\", cdid \"9\", ddm { ddmV110 } }", "sbin-pppd",
         {pppd, "file", "/usr/local/etc/ppp/ioptions", "hdlc0", "remotenumber", "77"},
         "01:digital-modem: pppd executed cid=\"77\" pid="},
        {"{ cid \"\", cdid \"\", fax NULL, execargs { \"-s\", \"page one.g3\" } }", "sbin-fax",
         {"/usr/local/sbin/fax", "-m", "0", "-s", "page one.g3"}, "01:dsp-modem: fax transfer executed modem=0 ts="},
    };
    standins.install("/usr/local/sbin/mypppd");
    std::map<std::string, int> runs;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params);
        ASSERT_EQ(Texts{ok(1)}, create(1, c.params));
        start(1);
        std::string r = run(c.role, ++runs[c.role]);
        EXPECT_EQ(c.argv, standins.argv(r));
        EXPECT_TRUE(said(c.line)) << log.text();
        destroy(1);
    }

    // The receiver's file is named after the time of the fork; it runs a
    // second later and unwatched, so the slot goes at once.
    ASSERT_EQ(Texts{ok(1)}, create(1, "{ cid \"\", cdid \"\", fax NULL }"));
    start(1);
    EXPECT_TRUE(said("01:dsp-modem: fax receiver executed modem=0 ts=320\n"));
    EXPECT_EQ((Texts{ok(1, 0), ok(1)}), command(1, "destroy : NULL"));
    Args receiver = standins.argv(run("bin-fax"));
    ASSERT_EQ(5u, receiver.size());
    EXPECT_EQ((Args{"/usr/local/bin/fax", "-m", "0", "receive"}), Args(receiver.begin(), receiver.begin() + 4));
    EXPECT_TRUE(std::regex_match(receiver[4], std::regex("/var/fax-[0-2][0-9]-[0-5][0-9]-[0-6][0-9]\\.g3")))
        << receiver[4];
}

TEST_F(ModemSlots, TheEndOfAChildIsReported) {
    standins.configure("sbin-pppd", "exit 3\n");
    standins.configure("sbin-fax", "exit 4\n");
    struct Case {
        std::string params;
        Texts after;  // what follows the start
        std::string line;
    } cases[] = {
        {"{ cid \"\", cdid \"\" }", {abort(1, 3 << 8)}, "01:dsp-modem: pppd terminated with code 768\n"},
        {"{ cid \"\", cdid \"\", fax NULL, execargs { \"x\" } }", {acct(1, {0, 0, 0, 4, 0, 0, 0, 0, 0}), abort(1, 4 << 8)},
         "01:dsp-modem: pages received: 4\n"},
        {"{ cid \"\", cdid \"\", execfile \"/usr/local/sbin/none\" }", {abort(1, 2 << 8)},
         "01:dsp-modem: fail to exec pppd: No such file or directory\n"},
        // A fax sender that never ran moved no pages.
        {"{ cid \"\", cdid \"\", fax NULL, execfile \"/nowhere/fax\", execargs { \"x\" } }", {abort(1, 2 << 8)},
         "01:dsp-modem: fail to exec fax sender: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params);
        size_t from = client.Received().size();
        create(1, c.params);
        start(1);
        EXPECT_TRUE(arrived(from, c.after));
        EXPECT_TRUE(said(c.line));
        EXPECT_EQ(-1, childPid(1));
        EXPECT_EQ((Texts{ok(1, 0), ok(1)}), command(1, "destroy : NULL"));
    }
    EXPECT_FALSE(said("pages received: 0"));
}

TEST_F(ModemSlots, DestroyHangsUpAndKillsAChildThatStays) {
    create(1, "{ cid \"\", cdid \"\" }");
    start(1);
    std::string obeys = run("sbin-pppd");
    size_t from = client.Received().size();
    command(1, "destroy : NULL");
    EXPECT_TRUE(arrived(from, {ok(1)}));
    EXPECT_EQ("HUP\n", standins.file(obeys, "signals"));
    EXPECT_TRUE(said("01:dsp-modem: sent HUP to pppd.\n"));

    standins.configure("sbin-pppd", "ignore HUP\n");
    create(1, "{ cid \"\", cdid \"\" }");
    start(1);
    std::string stays = run("sbin-pppd", 2);
    int pid = childPid(1);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(Texts{}, command(1, "destroy : NULL"));
    ASSERT_TRUE(standins.waitFile(stays, "signals", "HUP"));
    EXPECT_EQ(Texts{}, advance(4980));  // it is killed 5000 ms after SIGHUP
    EXPECT_EQ(0, ::kill(pid, 0));
    EXPECT_EQ(Texts{ok(1)}, advance(20));
    EXPECT_TRUE(said("01:dsp-modem: pppd terminate timeout!\n01:dsp-modem: pppd isn't terminated, killing ...\n"));
    EXPECT_TRUE(pumpUntil([&] { return ::kill(pid, 0) != 0; }));
    EXPECT_EQ(nullptr, factory.FindModemByDsp(0));
}

TEST_F(ModemSlots, TheDriverGetsTheModesAndParametersOfTheAllocatedModem) {
    // Without free interfaces digital data modes are a DSP modem's too.
    net.remove("hdlc0");
    LGCP::Resources r;
    factory.Query(r);
    modems.setModems(2);
    create(5, "{ cid \"\", cdid \"\" }");
    start(5);  // modem 0 taken
    // Each pppd must have begun before the next: one hung up before it
    // starts leaves no run behind and the count below would come short.
    run("sbin-pppd", 1);
    create(1, "{ cid \"\", cdid \"\", ddm { ddmV110, ddm7BIT }, dmp { { offset 1, value 7 }, { offset 2, value 9 } } }");
    EXPECT_EQ((Texts{stream(1, "transmitter", 321), stream(1, "receiver", 321), ok(1)}), start(1));
    run("sbin-pppd", 2);
    EXPECT_EQ("allocated=yes ddm=5 dmp=1:7,2:9 resets=1 call=answer", sim.board().control("/dev/mctl state 1"));
    EXPECT_EQ(1, factory.FindModemByDsp(1)->modem_id());

    // Failures to start the modem are aborts; a DMP parameter's only a line.
    create(2, "{ cid \"\", cdid \"\" }");
    Texts refused = start(2);
    EXPECT_EQ(abort(2, ENOSPC), refused.empty() ? "" : refused.front());
    EXPECT_TRUE(said("02:dsp-modem: insufficient resources : No space left on device\n"));
    destroy(5);
    // The modem comes free once the slot's deletion has closed its device.
    ASSERT_TRUE(pumpUntil([&] {
        sim.board().collect();
        return modems.allocated() == std::vector<int>{1};
    }));
    modems.failRequest(Mdm::MDM_SET_DMP, EIO, 1);
    create(3, "{ cid \"\", cdid \"\", dmp { { offset 4, value 1 } } }");
    start(3);
    EXPECT_TRUE(said("03:dsp-modem: set dmp parameter index=4 value=1 failed : Input/output error\n"));
    EXPECT_FALSE(run("sbin-pppd", 3).empty());
    modems.failOpen(ENOENT, 1);
    create(4, "{ cid \"\", cdid \"\" }");
    refused = start(4);
    EXPECT_EQ(abort(4, ENOENT), refused.empty() ? "" : refused.front());
    EXPECT_TRUE(said("04:dsp-modem: fail to open device: No such file or directory\n"));
}

TEST_F(ModemSlots, HdlcModemsHoldTheirInterfaceInPppUntilDestroyed) {
    EXPECT_EQ((std::list<std::string>{"hdlc0", "hdlc1"}), factory.FreeIfaces());
    create(1, "{ cid \"\", cdid \"\", ddm { ddm8BIT } }");
    EXPECT_EQ((Texts{stream(1, "transmitter", 300), ok(1)}), start(1));
    EXPECT_EQ("index=3 up=no ptp=yes channel=300 proto=ppp encoding=0 parity=0",
              sim.board().control("/sys/class/net iface hdlc0"));
    ASSERT_FALSE(run("sbin-pppd").empty());

    // A query counts the interface held, but does not hand it out again.
    LGCP::Resources r;
    factory.Query(r);
    EXPECT_EQ(2, r.get_digital_modems().getValue());
    EXPECT_EQ(4, r.get_modem().getValue());
    create(2, "{ cid \"\", cdid \"\", ddm { ddm8BIT } }");
    EXPECT_EQ("hdlc1", dynamic_cast<HdlcModemSlot&>(*at(2)).Interface());
    create(3, "{ cid \"\", cdid \"\", ddm { ddm8BIT } }");
    create(4, "{ cid \"\", cdid \"\", ddm { } }");
    EXPECT_STREQ("dsp-modem", at(3)->GetName());
    EXPECT_STREQ("dsp-modem", at(4)->GetName());

    // The interface is put down before its protocol changes back.
    int sock = HdlcNet::OpenSocket();
    ASSERT_TRUE(HdlcNet::SetFlags(sock, "hdlc0", IFF_UP | IFF_POINTOPOINT));
    ::close(sock);
    ASSERT_EQ("ok", sim.board().control("/sys/class/net remove hdlc1"));
    factory.Query(r);
    EXPECT_EQ(1, r.get_digital_modems().getValue());
    destroy(1);
    EXPECT_TRUE(pumpUntil([&] {
        return sim.board().control("/sys/class/net iface hdlc0") ==
               "index=3 up=no ptp=yes channel=300 proto=hdlc encoding=0 parity=0";
    }));
    EXPECT_EQ(std::list<std::string>{"hdlc0"}, factory.FreeIfaces());
    // An interface gone from the board is neither restored nor free again.
    EXPECT_EQ((Texts{ok(2, 0), ok(2)}), command(2, "destroy : NULL"));
    EXPECT_TRUE(said("02:digital-modem: SIOCGIFFLAGS fail!!!\n"));
    EXPECT_EQ(std::list<std::string>{"hdlc0"}, factory.FreeIfaces());
}

}  // namespace
