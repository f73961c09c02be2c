#include "monitoring/monitoring_data_holder.h"

#include <arpa/inet.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>

#include "asn1/coder_env.h"
#include "core/trace_ctl.h"
#include "monitoring/status_tree.h"
#include "tests/monitoring/fake_net_if_probe.h"
#include "tests/support/capture.h"
#include "tests/support/temp_root.h"

namespace {

const std::string kMon = "/var/monitoring/";

// A display command's parameters from value notation.
LGCP::DisplayParams display(const std::string& text) {
    LGCP::DisplayParams d;
    ASN1::CoderEnv env(ASN1::CoderEnv::avn);
    EXPECT_TRUE(env.decode(text.data(), text.data() + text.size(), d, false)) << text;
    return d;
}

std::string board(int position, const std::string& version, const char* status, const char* type) {
    return "board : boardStatus : { position " + std::to_string(position) + ", version '" +
           version + "'H, status " + status + ", type " + type + " }";
}

std::string phone(int id, const std::string& panelHex) {
    return "emPhone : phoneStatus : { id " + std::to_string(id) + ", panelSV '" + panelHex +
           "'H, ctrlSV '6331'H, fpgaSV '66'H, status ready, powerStatus both, mode sleep, "
           "hookStatus connected, baseStatus disconnected }";
}

std::string controller(const std::string& address, const char* status) {
    return "controller : { host { iaddr \"" + address + "\", port 0 }, status " + status + " }";
}

std::string setByName(const std::string& section, const std::string& name, const char* value) {
    return "snmp-set : { commands { { uniq 1, id name : { section \"" + section + "\", name \"" +
           name + "\", index 2 }, value \"" + value + "\" } } }";
}

class StoreTest : public ::testing::Test {
  protected:
    StoreTest() { probe.interfaces = {{1, {"lo", IFF_RUNNING}}, {3, {"eth0", 0}}}; }
    ~StoreTest() override { traces.internal = false; }

    MonitoringDataHolder& store() {
        if (!store_) store_.reset(new MonitoringDataHolder);
        return *store_;
    }
    void show(const std::string& text) { store().setDisplayStatus(display(text)); }
    std::string read(const std::string& name) const { return root.readFile(kMon + name); }
    bool exists(const std::string& name) const { return root.exists(kMon + name); }
    std::string linkTarget(const std::string& name) const {
        char buf[4096];
        ssize_t n = readlink(root.path(kMon + name).c_str(), buf, sizeof buf);
        return n < 0 ? "" : std::string(buf, static_cast<size_t>(n));
    }
    std::string localAddress() {
        std::string a = store().localControllerAddr.GetString();
        return a.substr(0, a.find(':'));
    }
    // A file outside the tree that no write may reach.
    std::string plantOutside() {
        root.writeFile("/outside/secret", "keep");
        return root.path("/outside/secret");
    }

    TempRoot root;
    FakeNetIfProbe probe;
    std::unique_ptr<MonitoringDataHolder> store_;
};

TEST_F(StoreTest, StartAndExitClearTheTopOfTheTreeOnly) {
    std::string secret = plantOutside();
    root.writeFile(kMon + "board3", "x");
    root.writeFile(kMon + "term_cnts/router", "4");
    ASSERT_EQ(0, mkdir(root.path(kMon + "empty").c_str(), 0755));
    ASSERT_EQ(0, symlink(secret.c_str(), root.path(kMon + "planted").c_str()));
    store();
    for (const char* gone : {"board3", "empty", "planted"}) EXPECT_FALSE(exists(gone)) << gone;
    EXPECT_EQ("keep", root.readFile("/outside/secret"));
    EXPECT_EQ("4", read("term_cnts/router")) << "the clearing does not descend";

    store().setDipValue(3);
    store_.reset();
    EXPECT_FALSE(exists("dip"));
    EXPECT_TRUE(exists("term_cnts/router"));
}

TEST_F(StoreTest, BaseDirectoriesAreReadableAndClosedToOthers) {
    ASSERT_EQ(0, rmdir(root.path(kMon).c_str()));
    store();
    struct stat st;
    for (const char* dir : {"", "term_cnts"}) {
        ASSERT_EQ(0, lstat(root.path(kMon + dir).c_str(), &st)) << dir;
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(0700u, st.st_mode & (0700u | S_ISVTX | S_IWGRP | S_IWOTH)) << dir;
    }
    // A directory an earlier version left writable to every user is closed.
    ASSERT_EQ(0, chmod(root.path(kMon + "term_cnts").c_str(), 01232));
    store().CheckForMonDir("/var/monitoring/term_cnts/");
    ASSERT_EQ(0, stat(root.path(kMon + "term_cnts").c_str(), &st));
    EXPECT_EQ(0755u, st.st_mode & 07777u);
}

TEST_F(StoreTest, FindsTheFramersAndInterfacesPresent) {
    root.writeFile("/proc/driver/hdlc/peb22554/0", "");
    root.writeFile("/proc/driver/hdlc/peb22554/2", "");
    ASSERT_EQ(2u, store().framerList.size());
    EXPECT_EQ(1, store().framerList.front().framerIndex);
    EXPECT_EQ(3, store().framerList.back().framerIndex);
    EXPECT_EQ("/proc/driver/hdlc/peb22554/2", store().framerList.back().procPath);
    ASSERT_EQ(2u, store().netIfList.size());
    EXPECT_EQ("lo", store().netIfList.front().ifName);
    EXPECT_EQ(3, store().netIfList.back().ifIndex);
    EXPECT_EQ("eth0", store().netIfList.back().ifName);

    store_.reset();
    probe.openError = EPERM;
    traces.internal = true;
    StreamCapture log(std::clog);
    EXPECT_TRUE(store().netIfList.empty());
    EXPECT_EQ(0u, log.text().find("Error open socket:  errno=\"")) << log.text();
    EXPECT_EQ(-1, store().netIfProbeSocket());
}

TEST_F(StoreTest, SingleValuesCountFromTheirSentinelsAndWriteOnlyChanges) {
    MonitoringDataHolder& s = store();
    EXPECT_FALSE(s.setPowerStatus(LGCP::POWERStatus::unknown));
    EXPECT_FALSE(exists("powerstatus"));
    EXPECT_FALSE(s.setTemperature(""));
    EXPECT_TRUE(s.setBuildVersion("1.2\n"));
    EXPECT_TRUE(s.setBuildVersion("1.2\n\n"));

    struct {
        std::function<bool()> set;
        const char* file;
        const char* content;
    } const steps[] = {
        {[&] { return s.setDipValue(0); }, "dip", "0"},
        {[&] { return s.setDipValue(255); }, "dip", "255"},
        {[&] { return s.setPowerStatus(LGCP::POWERStatus::main); }, "powerstatus", "2"},
        {[&] { return s.setPowerStatus(LGCP::POWERStatus(LGCP::POWERStatus::NamedNumber(9))); },
         "powerstatus", "0"},
        {[&] { return s.setPowerStatus(LGCP::POWERStatus::unknown); }, "powerstatus", "0"},
        {[&] { return s.setConfigVersion(0, 0); }, "config_version", "00000000-0000000000000000"},
        {[&] { return s.setConfigVersion(26, 1); }, "config_version", "0000001a-0000000000000001"},
        {[&] { return s.setConfigVersion(26, 0xfedcba9876543210ull); }, "config_version",
         "0000001a-fedcba9876543210"},
    };
    for (const auto& step : steps) {
        EXPECT_TRUE(step.set()) << step.content;
        EXPECT_EQ(step.content, read(step.file));
        ASSERT_EQ(0, unlink(root.path(kMon + step.file).c_str()));
        EXPECT_FALSE(step.set()) << step.content;
        EXPECT_FALSE(exists(step.file)) << "an unchanged value rewrites nothing";
        root.writeFile(kMon + step.file, step.content);
    }
}

TEST_F(StoreTest, BoardAndPhoneReportsAreStoredAndWrittenEveryTime) {
    show(board(3, "5631", "ready", "fxs"));
    EXPECT_EQ("3\nV1\n2\n", read("board3"));
    ASSERT_EQ(0, unlink(root.path(kMon + "board3").c_str()));
    show(board(3, "5631", "ready", "fxs"));
    EXPECT_EQ("3\nV1\n2\n", read("board3")) << "rewritten although unchanged";
    show(board(3, "560032", "waitResources", "e0"));
    EXPECT_EQ(std::string("1\nV\0"
                          "2\n4\n",
                          8),
              read("board3"))
        << "a zero octet loses no line";
    ASSERT_EQ(1u, store().boardList.size());
    EXPECT_EQ(1, store().boardList.front().get_status().getValue());
    show(
        "board : boardChannelStatus : { position 3, channel 1, status { callerID ''H, calledID ''H "
        "} }");
    EXPECT_EQ(1u, store().boardList.size());

    show(phone(0, "7039"));
    EXPECT_EQ("p9\nc1\nf\n2\n3\n2\n1\n2\n", read("emphone0"));
    show(phone(0, "703130"));
    ASSERT_EQ(1u, store().phoneList.size());
    EXPECT_EQ("p10", store().phoneList.front().get_panelSV().str());
}

TEST_F(StoreTest, LosingTheControllerRemovesOnlyTheBoards) {
    show(board(1, "61", "ready", "isdn"));
    show(board(12, "62", "ready", "isdn"));
    show(phone(4, "70"));
    show("termCounter : { owner router, cnt 1 }");
    traces.internal = true;
    StreamCapture log(std::clog);
    store().ClearControllerFiles();
    EXPECT_FALSE(exists("board1"));
    EXPECT_FALSE(exists("board12"));
    EXPECT_TRUE(store().boardList.empty());
    EXPECT_TRUE(exists("emphone4"));
    EXPECT_TRUE(exists("term_cnts/router"));
    EXPECT_NE(std::string::npos, log.text().find("remove monitoring info: board12\n"));
}

TEST_F(StoreTest, TermCountersGoToTheirOwnersFilesAndMergeByOwner) {
    for (const char* report :
         {"owner router, cnt 7", "owner controller, cnt -2", "owner server, cnt 0",
          "owner extBoard, ownerId 2, cnt 9", "owner extBoard, cnt 5", "owner none, cnt 6",
          "owner router, cnt 8", "owner extBoard, ownerId 3, cnt 11",
          "owner extBoard, ownerId 2, cnt 12"})
        show(std::string("termCounter : { ") + report + " }");
    EXPECT_EQ("8", read("term_cnts/router"));
    EXPECT_EQ("-2", read("term_cnts/controller"));
    EXPECT_EQ("0", read("term_cnts/server"));
    EXPECT_EQ("12", read("term_cnts/board2"));
    EXPECT_EQ("11", read("term_cnts/board3"));

    // One entry per owner and owner id; the entry without an id does not
    // swallow the counts of the boards that have one.
    std::vector<int> counts;
    for (const LGCP::TermCounter& c : store().termCounterList)
        counts.push_back(c.get_cnt().getValue());
    EXPECT_EQ((std::vector<int>{8, -2, 0, 12, 5, 6, 11}), counts);
}

TEST_F(StoreTest, ControllerStatusFilesAndTheLocalLink) {
    std::string local = localAddress();
    ASSERT_EQ(0, mkdir(root.path(kMon + "controller").c_str(), 0755));
    ASSERT_EQ(0, symlink("/stale", root.path(kMon + "controller/self").c_str()));
    EXPECT_TRUE(store().setControllerStatus(display(controller(local, "notrun")).get_controller()));
    EXPECT_EQ("5", read("controller/" + local + "/status"));
    EXPECT_EQ(root.path(kMon + "controller/" + local), linkTarget("controller/self"));
    EXPECT_EQ(HSP::ControllerStatus::notrun, store().localControllerStatus.getValue());
    EXPECT_FALSE(
        store().setControllerStatus(display(controller(local, "notrun")).get_controller()));
    show(controller(local, "active"));
    EXPECT_EQ("2", read("controller/" + local + "/status"));

    // Another controller: its file, no link, and no change to push.
    traces.internal = true;
    StreamCapture log(std::clog);
    EXPECT_FALSE(
        store().setControllerStatus(display(controller("192.0.2.9", "ok")).get_controller()));
    EXPECT_EQ("1", read("controller/192.0.2.9/status"));
    EXPECT_EQ(root.path(kMon + "controller/" + local), linkTarget("controller/self"));
    EXPECT_EQ("New controller 192.0.2.9 status - ok\n", log.text());
    show(controller("not an address", "standby"));
    EXPECT_EQ("3", read("controller/0.0.0.0/status"));
    EXPECT_EQ(3u, store().controllerList.size());
}

TEST_F(StoreTest, OnlyAPlainDottedQuadNamesAController) {
    std::string local = localAddress();
    show(controller(local, "active"));
    in_addr a;
    ASSERT_EQ(1, inet_pton(AF_INET, local.c_str(), &a));
    uint32_t n = ntohl(a.s_addr);
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%x.%u.%u.%u", n >> 24, (n >> 16) & 0xff, (n >> 8) & 0xff, n & 0xff);
    // Other texts that the address parser of the configuration reads as the
    // local controller's address.
    const std::string texts[] = {local + ":80", local + ":0", std::to_string(n), hex, local + " "};
    for (const std::string& text : texts) {
        EXPECT_FALSE(store().setControllerStatus(display(controller(text, "standby")).get_controller())) << text;
        EXPECT_EQ(HSP::ControllerStatus::active, store().localControllerStatus.getValue()) << text;
        EXPECT_EQ("2", read("controller/" + local + "/status")) << text;
        EXPECT_EQ("3", read("controller/0.0.0.0/status")) << text;
        ASSERT_EQ(0, unlink(root.path(kMon + "controller/0.0.0.0/status").c_str()));
    }
}

TEST_F(StoreTest, SetCommandsByNameAreWrittenByOidOnlyStored) {
    show(setByName("snmp", "community", "public"));
    EXPECT_EQ("public", read("snmp/2/community"));
    show(
        "snmp-set : { commands { { uniq 5, id name : { section \"snmp\", name \"community\", "
        "index 2 }, value \"private\" }, { uniq 6, id oid : \"1.3.6.1.2.1.1.5.0\", value \"gw\" }, "
        "{ uniq 7, id oid : \"1.3.6.1.2.1.1.5.0\", value \"gw2\" } } }");
    EXPECT_EQ("private", read("snmp/2/community"));
    const auto& stored = store().snmpCommandList.get_commands();
    ASSERT_EQ(2u, stored.size());
    EXPECT_EQ(1, stored[0].get_uniq().getValue()) << "the first number stays";
    EXPECT_EQ("private", std::string(stored[0].get_value()));
    EXPECT_EQ("gw2", std::string(stored[1].get_value()));
}

TEST_F(StoreTest, SetCommandNamesNeverLeaveTheTree) {
    plantOutside();
    const std::pair<std::string, std::string> unsafe[] = {
        {"..", "secret"}, {"../outside", "x"}, {"a/b", "x"},  {"snmp", "../../../outside/secret"},
        {".", "x"},       {"", "x"},           {"snmp", ".."}};
    StreamCapture log(std::clog);
    for (const auto& u : unsafe) show(setByName(u.first, u.second, "owned"));
    EXPECT_EQ("keep", root.readFile("/outside/secret"));
    EXPECT_EQ(7u, store().snmpCommandList.get_commands().size())
        << "refused names are still stored";
    EXPECT_NE(std::string::npos, log.text().find("FAIL unsafe monitoring file name <a/b/2/x>"));
    EXPECT_FALSE(exists("a"));
}

TEST_F(StoreTest, NoEntryNameMeetsATemporaryNameOfAWrite) {
    // Names that earlier writes used for their temporary files.
    show(setByName("radio", "a_tmp", "first"));
    show(setByName("radio", "a", "second"));
    for (const char* section : {"dip_tmp", "powerstatus_tmp", "config_version_tmp", "board3_tmp", "emphone3_tmp"})
        show(setByName(section, "x", "taken"));
    StreamCapture log(std::clog);
    const struct {
        std::function<void()> write;
        const char* file;
        const char* content;
    } writes[] = {
        {[&] { store().setDipValue(7); }, "dip", "7"},
        {[&] { store().setPowerStatus(LGCP::POWERStatus::main); }, "powerstatus", "2"},
        {[&] { store().setConfigVersion(1, 2); }, "config_version", "00000001-0000000000000002"},
        {[&] { show(board(3, "76", "ready", "isdn")); }, "board3", "3\nv\n1\n"},
        {[&] { show(phone(3, "70")); }, "emphone3", "p\nc1\nf\n2\n3\n2\n1\n2\n"},
        {[&] { store().setDipValue(8); }, "dip", "8"},
    };
    for (const auto& w : writes) {
        w.write();
        EXPECT_EQ(w.content, read(w.file)) << w.file;
    }
    EXPECT_EQ("", log.text());
    EXPECT_EQ("first", read("radio/2/a_tmp"));
    EXPECT_EQ("second", read("radio/2/a"));
    EXPECT_EQ("taken", read("dip_tmp/2/x"));

    // Hidden names are the writes' own: refused from outside, and none is
    // left behind.
    for (const auto& hidden : {std::make_pair(".tmp", "x"), std::make_pair("radio", ".tmp.1.1")})
        show(setByName(hidden.first, hidden.second, "owned"));
    EXPECT_NE(std::string::npos, log.text().find("FAIL unsafe monitoring file name <.tmp/2/x>"));
    EXPECT_NE(std::string::npos, log.text().find("FAIL unsafe monitoring file name <radio/2/.tmp.1.1>"));
    for (const char* dir : {"", "radio/2"}) {
        std::vector<std::string> names;
        ASSERT_EQ(0, StatusTree::list(kMon + dir, names));
        for (const std::string& name : names) EXPECT_NE('.', name[0]) << dir << name;
    }
}

TEST_F(StoreTest, PlantedLinksAreNeverFollowed) {
    std::string secret = plantOutside();
    store();
    ASSERT_EQ(0, symlink(secret.c_str(), root.path(kMon + "dip").c_str()));
    ASSERT_EQ(0, symlink(secret.c_str(), root.path(kMon + "board3_tmp").c_str()));
    ASSERT_EQ(0, symlink(root.path("/outside").c_str(), root.path(kMon + "snmp").c_str()));
    StreamCapture log(std::clog);
    store().setDipValue(1);
    show(board(3, "76", "ready", "isdn"));
    show(setByName("snmp", "secret", "owned"));
    EXPECT_EQ("keep", root.readFile("/outside/secret"));
    EXPECT_FALSE(root.exists("/outside/2"));
    EXPECT_EQ("1", read("dip"));
    struct stat st;
    ASSERT_EQ(0, lstat(root.path(kMon + "dip").c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ("3\nv\n1\n", read("board3"));
    EXPECT_EQ(0u,
              log.text().find("FAIL create monitoring catalog </var/monitoring/snmp> with code="));
}

TEST_F(StoreTest, AnUnwritableTreeLosesNoStoredReport) {
    store();
    ASSERT_EQ(0, system(("rm -rf '" + root.path(kMon) + "'").c_str()));
    root.writeFile("/var/monitoring", "not a directory");
    StreamCapture log(std::clog);
    show(board(3, "76", "ready", "isdn"));
    show(phone(2, "70"));
    EXPECT_EQ(1u, store().boardList.size());
    EXPECT_EQ(1u, store().phoneList.size());
    EXPECT_EQ(0u, log.text().find("FAIL create temporary file </var/monitoring/board3> with code=" +
                                  std::to_string(ENOTDIR) + "\n"));

    ASSERT_EQ(0, unlink(root.path("/var/monitoring").c_str()));
    log.clear();
    EXPECT_TRUE(store().setDipValue(5));
    EXPECT_EQ("FAIL create temporary file </var/monitoring/dip> with code=" +
                  std::to_string(ENOENT) + "\n",
              log.text());
}

}  // namespace
