// The monitoring controller in one process: the simulated board, a private
// filesystem root, two SNMP agent stand-ins (kinds 2 and 4), a control
// server of the test's own, and the loop on the test clock.

#include "monitoring/monitoring_ctl.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <iostream>
#include <map>
#include <memory>
#include <sstream>

#include "asn1/coder_env.h"
#include "board/fs_root.h"
#include "board/sim_hal.h"
#include "board/sim_hal_monitor.h"
#include "tests/monitoring/fake_net_if_probe.h"
#include "tests/standins/mon_agent.h"
#include "tests/support/capture.h"
#include "tests/support/pump.h"
#include "tests/support/sim_scope.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_clock.h"

namespace {

// Records the signals the monitoring controller raises.
struct Witness : CtrlSrv::Service {
    void OnConnect() override {}
    void OnDisconnect() override {}
    bool OnCommand(const LGCP::Command&) override { return false; }
    void OnSignal(const LGCP::Signal& s) override { signals.push_back(s.asValueNotation()); }
    std::vector<std::string> signals;
};

std::vector<std::string> changes;
int recordChange(const char* resolved) {
    changes.push_back(resolved);
    return 0;
}

template <class T>
T fromText(const std::string& text) {
    T value;
    ASN1::CoderEnv env(ASN1::CoderEnv::avn);
    EXPECT_TRUE(env.decode(text.data(), text.data() + text.size(), value, false)) << text;
    return value;
}

std::string framerText(const std::string& state) {
    return "Current state           : " + state + "\nLoss of Signal          : no\n";
}

class Monitoring : public ::testing::Test {
protected:
    Monitoring() : previous(Fs::setDirectoryChanger(&recordChange)) {
        changes.clear();
        probe.interfaces = {{1, {"lo", IFF_RUNNING}}};
        root.writeFile("/proc/driver/hdlc/peb22554/0", framerText("Synchronized"));
        root.writeFile("/proc/driver/hdlc/peb22554/1", framerText("No Carrier"));
    }
    ~Monitoring() override {
        ctl.reset();
        Fs::setDirectoryChanger(previous);
    }
    void start() {
        std::istringstream in("[snmpagent]\nhost = 127.0.0.1:" + std::to_string(qorb.port()) +
                              "\nname = qorb\n[snmpagent]\nhost = 127.0.0.1:" +
                              std::to_string(zq.port()) + "\nname = lemzgw.zq\n");
        cfg.IntOpenStream(in);
        ctl.reset(new MonitoringCtl);
        ctl->Configure(cfg);
        server.Bind(&witness);
        server.Bind(ctl.get());
        // Each agent is brought up to date as it connects.
        ASSERT_TRUE(pumpUntil([&] { return qorb.setMessages > 0 && zq.setMessages > 0; }));
    }
    void wait(unsigned ms) { advanceAndPump(clock, ms, 100); }
    // Sends a marker to every agent and waits for it: whatever the link
    // sent before it has arrived then.
    void barrier() {
        MON::SnmpSetCommands marker;
        MON::SnmpSetCommand c;
        c.set_uniq(-1);
        c.set_id().set_oid("marker");
        marker.set_commands().push_back(c);
        size_t q = qorb.sets.size(), z = zq.sets.size();
        ctl->agentLink().Send(marker);
        ASSERT_TRUE(pumpUntil([&] { return qorb.sets.size() > q && zq.sets.size() > z; }));
    }
    // The values an agent got for an item's row, oldest first.
    static std::vector<std::string> values(const MonAgent& a, const std::string& name, int index = 0) {
        std::vector<std::string> got;
        for (const MonAgent::Set& s : a.sets)
            if (s.name == name && s.index == index) got.push_back(s.value);
        return got;
    }
    static std::string last(const MonAgent& a, const std::string& name, int index = 0) {
        std::vector<std::string> v = values(a, name, index);
        return v.empty() ? "(none)" : v.back();
    }
    bool display(const std::string& params) {
        return ctl->OnCommand(fromText<LGCP::Command>("display : " + params));
    }
    std::string file(const std::string& name) const { return root.readFile("/var/monitoring/" + name); }

    TempRoot root;
    Fs::DirectoryChanger previous;
    TestClock clock;
    StreamCapture log{std::clog};
    StreamCapture err{std::cerr};
    StreamCapture out{std::cout};
    FakeNetIfProbe probe;
    SimScope sim;
    SimHal& halDevice = sim.model<SimHal>(SimHal::kPath);
    SimHalMonitor& hal = *halDevice.family<SimHalMonitor>();
    MonAgent qorb;
    MonAgent zq;
    CtrlSrv::Server server;
    Witness witness;
    IniFile::File cfg;
    std::unique_ptr<MonitoringCtl> ctl;
};

TEST_F(Monitoring, TheBackgroundCheckReadsItsSourcesAndPushesOnlyChanges) {
    root.writeFile("/var/version", "1.2\n");
    root.writeFile("/var/u-boot-version", "boot 7\n");
    root.writeFile("/var/board-version", "B2");
    root.writeFile("/proc/temperature", "45 C\n");
    root.writeFile("/usr/local/etc/config.0000001a-00000000000000ff", "");
    root.writeFile("/usr/local/etc/config.2save.tar.bz2", "");
    root.writeFile("/usr/local/etc/config.d/x", "");
    start();
    wait(MonitoringCtl::kBkgFirstMs);
    barrier();
    const MonitoringDataHolder& d = ctl->data();
    EXPECT_EQ("1.2\n", d.buildVersionText);
    EXPECT_EQ("boot 7\n", d.bootVersionText);
    EXPECT_EQ("B2", d.boardVersionText);
    EXPECT_EQ("", d.fpgaVersionText);
    EXPECT_EQ("45", d.temperatureText);
    EXPECT_EQ("0000001a-00000000000000ff", file("config_version"));
    EXPECT_EQ(std::vector<std::string>{root.path("/usr/local/etc/")}, changes);
    // The resend at the connection sent the empty texts; the check only
    // what it found.
    EXPECT_EQ((std::vector<std::string>{"", "1.2\n"}), values(zq, "sgBuildVersion"));
    EXPECT_EQ(std::vector<std::string>{""}, values(zq, "sgFPGAVersion"));
    EXPECT_EQ("26", last(qorb, "gatewayConfigVersion"));
    EXPECT_EQ("45", last(qorb, "temperature"));
    EXPECT_EQ("Synchronized", last(qorb, "e1StatusDsc", 1));
    EXPECT_EQ("0", last(qorb, "e1Connected", 2));
    EXPECT_EQ("(none)", last(zq, "temperature")) << "an item of kind 2 only";

    // A second configuration file: one version stands, set once, not
    // flipped between the two on every check.
    root.writeFile("/usr/local/etc/config.0000001b-0000000000000001", "");
    size_t before = values(qorb, "gatewayConfigVersion").size();
    wait(MonitoringCtl::kBkgPeriodMs);
    wait(MonitoringCtl::kBkgPeriodMs);
    barrier();
    EXPECT_LE(values(qorb, "gatewayConfigVersion").size(), before + 1);
    EXPECT_EQ(3u, changes.size());
}

TEST_F(Monitoring, PowerAndDipFromTheBoardAreSignalledFiledAndPushed) {
    start();
    wait(MonitoringCtl::kPowerPeriodMs);
    ASSERT_EQ(std::vector<std::string>{"power : main"}, witness.signals);
    EXPECT_EQ("2", file("powerstatus"));
    const struct {
        uint8_t byte;
        const char* state;
        const char* digit;
    } cases[] = {{0, "both", "3"}, {3, "both", "3"}, {7, "unknown", "0"}, {1, "standby", "1"}, {2, "main", "2"}};
    for (const auto& c : cases) {
        size_t signals = witness.signals.size();
        hal.setPower(c.byte);
        wait(MonitoringCtl::kPowerPeriodMs);
        barrier();
        bool changed = witness.signals.size() > signals;
        EXPECT_EQ(std::string("power : ") + c.state, witness.signals.back()) << int(c.byte);
        EXPECT_EQ(c.byte != 3, changed) << int(c.byte);
        EXPECT_EQ(c.digit, file("powerstatus")) << int(c.byte);
        EXPECT_EQ(c.digit, last(zq, "powerStatus")) << int(c.byte);
    }
    hal.setDip(0x41);
    wait(MonitoringCtl::kPowerPeriodMs);
    barrier();
    EXPECT_EQ("65", file("dip"));
    EXPECT_EQ("65", last(qorb, "gatewayDip"));
    // The interface went down at its first sample and up at its second.
    EXPECT_EQ((std::vector<std::string>{"2", "2", "1"}), values(qorb, "ifOperStatus", 1));
}

TEST_F(Monitoring, TheInterfacesAreProbedOnOneSocketForTheLifeOfTheMonitoring) {
    probe.interfaces[2] = {"eth0", 0};
    start();
    wait(MonitoringCtl::kPowerPeriodMs);
    wait(MonitoringCtl::kPowerPeriodMs);
    ASSERT_EQ(2u, ctl->data().netIfList.size());
    for (const NetIfDataHolder& n : ctl->data().netIfList) EXPECT_EQ(2u, n.samples.size()) << n.ifName;
    EXPECT_EQ(1, probe.opens);
    int fd = probe.lastFd;
    EXPECT_GE(fcntl(fd, F_GETFD), 0) << "open while the monitoring runs";
    ctl.reset();
    EXPECT_EQ(-1, fcntl(fd, F_GETFD)) << "closed with the monitoring";
}

TEST_F(Monitoring, LedsFollowTheFramerReports) {
    start();
    const struct {
        const char* info;
        uint8_t leds;
    } cases[] = {
        {"e1 2, info link : FALSE", 0x10}, {"e1 2, info line : TRUE", 0x30}, {"e1 2, info line : FALSE", 0x00},
        {"e1 2, info line : TRUE", 0x30},  {"e1 2, info link : TRUE", 0x20}, {"e1 2, info line : TRUE", 0x20},
        {"e1 0, info link : FALSE", 0x21}, {"e1 3, info line : TRUE", 0xE1},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(display(std::string("framer : { ") + c.info + " }"));
        EXPECT_EQ(c.leds, hal.leds()) << c.info;
        EXPECT_EQ(c.leds, ctl->leds()) << c.info;
    }
    // The open cleared every LED first; then one write per report.
    EXPECT_EQ(1u + sizeof cases / sizeof cases[0], hal.ledWrites());
    ctl.reset();
    EXPECT_EQ(0, hal.leds()) << "exit turns the LEDs off";
}

TEST_F(Monitoring, AFailingOpenIsTriedAgainByEveryCheckThatNeedsTheDevice) {
    // The power and the DIP check each try, then the LED report.
    halDevice.failOpen(ENODEV, 3);
    start();
    wait(MonitoringCtl::kPowerPeriodMs);
    EXPECT_TRUE(display("framer : { e1 1, info link : FALSE }"));
    EXPECT_FALSE(root.exists("/var/monitoring/powerstatus"));
    EXPECT_FALSE(root.exists("/var/monitoring/dip"));
    EXPECT_EQ(0u, hal.ledWrites());
    wait(MonitoringCtl::kPowerPeriodMs);
    EXPECT_EQ("2", file("powerstatus"));
    EXPECT_EQ("0", file("dip"));
    wait(2 * MonitoringCtl::kPowerPeriodMs);
    size_t opens = 0;
    for (const SimRequest& r : halDevice.log()) opens += r.kind == SimRequest::Open;
    EXPECT_EQ(4u, opens) << "three refused, then open for good";
    EXPECT_EQ(1u, hal.ledWrites());
}

TEST_F(Monitoring, DisplayReportsArePushedUnderTheirRows) {
    start();
    EXPECT_TRUE(display("board : boardStatus : { position 0, version '5631'H, status ready, type fxs }"));
    EXPECT_TRUE(display("emPhone : phoneStatus : { id 0, panelSV '70'H, ctrlSV '63'H, fpgaSV '66'H, "
                        "status ready, powerStatus both, mode sleep, hookStatus connected, "
                        "baseStatus disconnected }"));
    EXPECT_TRUE(display("termCounter : { owner router, cnt 5 }"));
    EXPECT_TRUE(display("termCounter : { owner extBoard, ownerId 3, cnt 7 }"));
    EXPECT_TRUE(display("snmpTrapReceivers : { \"192.0.2.9:162\" }"));
    EXPECT_TRUE(display("snmp-set : { commands { { uniq 77, id name : { section \"radio\", "
                        "name \"gain\", index 2 }, value \"-3\" } } }"));
    EXPECT_FALSE(ctl->OnCommand(fromText<LGCP::Command>("ping : NULL")));
    barrier();
    EXPECT_EQ("3", last(qorb, "extBoardStatus", 0));
    EXPECT_EQ("V1", last(qorb, "extBoardSoftVer", 0));
    EXPECT_EQ("2", last(qorb, "extBoardType", 0));
    EXPECT_EQ("p", last(qorb, "emPhonePanelSoftVer", 1));
    EXPECT_EQ("2", last(qorb, "emPhoneMode", 1));
    EXPECT_EQ((std::vector<std::string>{"5", "5"}), values(zq, "routerTermCnt"));
    EXPECT_EQ("7", last(qorb, "extBoardTermCnt", 3));
    EXPECT_EQ("3\nV1\n2\n", file("board0"));
    for (const MonAgent* a : {&qorb, &zq}) {
        EXPECT_EQ(std::vector<std::string>{"192.0.2.9:162"}, a->trapsinks);
        EXPECT_EQ("-3", last(*a, "gain", 2));
    }
}

TEST_F(Monitoring, ATrunkChangeOrAConnectingAgentResendsEveryValueOnce) {
    root.writeFile("/proc/voice/version", "voice 2.1 2024-05-01 10:00\n");
    start();
    EXPECT_TRUE(display("board : boardStatus : { position 4, version '31'H, status ready, type isdn }"));
    EXPECT_TRUE(display("termCounter : { owner server, cnt 9 }"));
    barrier();
    size_t from = qorb.sets.size();
    const auto ais = fromText<LGCP::Signal>("trunkStatus : { trunk 1, state ais, slips 0, lossBF 0, lossCarrier 0, "
                                            "lossAIS 0, lossRAI 0, name \"\", clockMaster FALSE, type e1 }");
    ctl->OnSignal(ais);
    barrier();
    EXPECT_EQ("AIS", ctl->data().framerList.back().statusDsc);
    std::map<std::pair<std::string, int>, int> resent;
    for (size_t k = from; k < qorb.sets.size(); ++k) ++resent[{qorb.sets[k].name, qorb.sets[k].index}];
    for (const auto& item : resent) EXPECT_EQ(1, item.second) << item.first.first << " " << item.first.second;
    for (const char* name : {"driverBuild", "softwareBuild", "powerStatus", "controllerStatus", "gatewayDip",
                             "gatewayConfigVersion", "temperature", "serverTermCnt"})
        EXPECT_EQ(1u, resent.count({name, 0})) << name;
    EXPECT_EQ(1u, resent.count({"extBoardType", 4}));
    EXPECT_EQ(1u, resent.count({"ifDescr", 1}));
    EXPECT_EQ("2.1 [2024-05-01 10:00]", last(qorb, "driverBuild"));
    EXPECT_EQ("AIS", last(qorb, "e1StatusDsc", 2));

    // The same state again changes nothing, so nothing is resent.
    from = qorb.sets.size();
    ctl->OnSignal(ais);
    barrier();
    EXPECT_EQ(from + 1, qorb.sets.size());

    // An agent that comes back is brought up to date again.
    qorb.drop();
    ASSERT_TRUE(pumpUntil([&] { return log.text().find("connection lost") != std::string::npos; }));
    wait(10000);
    ASSERT_TRUE(pumpUntil([&] { return qorb.connections == 2 && values(qorb, "driverBuild").size() == 3; }));
}

TEST_F(Monitoring, OnlyTheE1TrunksStatusesReachTheFramerRecords) {
    start();
    barrier();
    // The BRI lines share the trunk numbers 0 to 3 with the E1 framers.
    const struct {
        const char* type;
        const char* state;
        const char* framer2;
        bool resent;
    } cases[] = {
        {"bri", "lossCarrier", "absent", false}, {"e1", "ais", "AIS", true},
        {"bri", "normal", "AIS", false},         {"bri", "lossBF", "AIS", false},
        {"e1", "lossCarrier", "No Carrier", true},
    };
    for (const auto& c : cases) {
        size_t from = qorb.sets.size();
        ctl->OnSignal(fromText<LGCP::Signal>(std::string("trunkStatus : { trunk 1, state ") + c.state +
                                             ", slips 0, lossBF 0, lossCarrier 0, lossAIS 0, lossRAI 0, "
                                             "name \"\", clockMaster FALSE, type " +
                                             c.type + " }"));
        barrier();
        EXPECT_EQ(c.framer2, ctl->data().framerList.back().statusDsc) << c.type << " " << c.state;
        EXPECT_EQ(c.resent, qorb.sets.size() > from + 1) << c.type << " " << c.state;
    }
    EXPECT_EQ((std::vector<std::string>{"absent", "AIS", "No Carrier"}), values(qorb, "e1StatusDsc", 2));
}

TEST_F(Monitoring, TheVoiceDriversLineGivesTheDriverBuild) {
    const std::pair<const char*, const char*> cases[] = {
        {"voice 2.1 2024-05-01 10:00 extra\n", "2.1 [2024-05-01 10:00]"},
        {"voice  2.1   2024-05-01\n", "2.1 [2024-05-01]"},
        {"voice 2.1 x \n", "2.1 [x ]"},
        {"voice 2.1\n", "none"},
        {"\n", "none"},
    };
    start();
    for (const auto& c : cases) {
        root.writeFile("/proc/voice/version", c.first);
        ctl->sendSnmpDriverBuild();
        barrier();
        EXPECT_EQ(c.second, last(qorb, "driverBuild")) << c.first;
    }
}

}  // namespace
