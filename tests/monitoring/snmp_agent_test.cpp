// The SNMP agent link against agent stand-ins on the loopback interface,
// with the loop on the test clock.

#include "monitoring/snmp_agent_ctrl.h"

#include <gtest/gtest.h>

#include <climits>
#include <iostream>
#include <memory>
#include <sstream>

#include "tests/standins/mon_agent.h"
#include "tests/support/capture.h"
#include "tests/support/pump.h"
#include "tests/support/test_clock.h"

namespace {

typedef SnmpAgentCtrl Item;

struct Listener : ISnmpAgentNotify {
    void OnSnmpAgentConnect(const std::string& name) override { connected.push_back(name); }
    std::vector<std::string> connected;
};

// The link's `uniq` counter, reachable for the wrap.
struct LinkProbe : SnmpAgentCtrl {
    using SnmpAgentCtrl::uniq;
};

class AgentLink : public ::testing::Test {
protected:
    ~AgentLink() override { link.reset(); }

    static std::string block(const std::string& host, const std::string& name) {
        return "[snmpagent]\nhost = " + host + "\nname = " + name + "\n";
    }
    static std::string at(const MonAgent& agent) { return "127.0.0.1:" + std::to_string(agent.port()); }

    void configure(const std::string& text) {
        std::istringstream in(text);
        cfg.IntOpenStream(in);
        link.reset(new LinkProbe);
        link->CreateInstances(cfg["snmpagent"]);
        link->Bind(&listener);
    }
    // Runs the loop until every agent given is connected.
    void connect(std::initializer_list<MonAgent*> agents) {
        ASSERT_TRUE(pumpUntil([&] {
            for (MonAgent* a : agents)
                if (!a->connected()) return false;
            for (const auto& i : link->Agents())
                if (i->GetConnector() && !i->IsConnected()) return false;
            return true;
        }));
    }
    // Lets `ms` pass on the test clock, a loop pass every 100 ms.
    void wait(unsigned ms) { advanceAndPump(clock, ms, 100); }

    static MON::SnmpSetCommands commands(size_t n, size_t valueLength, int firstUniq = 1) {
        MON::SnmpSetCommands list;
        for (size_t k = 0; k < n; ++k) {
            MON::SnmpSetCommand c;
            c.set_uniq(firstUniq + int(k));
            c.set_id().set_oid("1.3.6.1.4.1.99." + std::to_string(k));
            c.set_value(std::string(valueLength, char('a' + k % 26)));
            list.set_commands().push_back(c);
        }
        return list;
    }

    TestClock clock;
    StreamCapture log{std::clog};
    StreamCapture err{std::cerr};
    StreamCapture out{std::cout};
    MonAgent lemz;   // kind 1
    MonAgent qorb;   // kind 2
    MonAgent zq;     // kind 4
    Listener listener;
    IniFile::File cfg;
    std::unique_ptr<LinkProbe> link;
};

TEST_F(AgentLink, EachBlockIsOneAgentAndOnlyWellFormedOnesConnect) {
    configure(block(at(zq), "lemzgw.zq") + block(at(qorb), "2") + block(at(lemz), "0x1") +
              block("127.0.0.1", "qorb") + block("256.1.1.1:" + std::to_string(qorb.port()), "qorb") +
              block(at(qorb), "snmpd") + "[snmpagent]\nname = qorb\n");
    const struct {
        const char* name;
        int kind;
        bool active;
    } expected[] = {{"lemzgw.zq", 4, true}, {"2", 2, true},      {"0x1", 1, true},  {"qorb", 2, false},
                    {"qorb", 2, false},     {"snmpd", 1, false}, {"", 1, false}};
    ASSERT_EQ(7u, link->Agents().size());
    size_t i = 0;
    for (const auto& agent : link->Agents()) {
        EXPECT_EQ(expected[i].active, agent->GetConnector() != nullptr) << i;
        if (expected[i].active) {
            EXPECT_EQ(expected[i].name, agent->GetName()) << i;
            EXPECT_EQ(expected[i].kind, agent->GetKind()) << i;
        }
        ++i;
    }
    connect({&zq, &qorb, &lemz});
    EXPECT_EQ((std::vector<std::string>{"lemzgw.zq", "2", "0x1"}), listener.connected);
    EXPECT_NE(std::string::npos, log.text().find("snmpagent.2 " + at(qorb) + ": connected.\n"));
    for (const char* line : {"host \"127.0.0.1\" has no port", "host \"256.1.1.1:", "is no address:port",
                             "required key \"name\" has invalid value=\"snmpd\"",
                             "required key \"host\" not present"})
        EXPECT_NE(std::string::npos, err.text().find(line)) << line << "\n" << err.text();
}

TEST_F(AgentLink, ValuesOfOnePassGoOutTogetherToTheAgentsOfTheirKind) {
    configure(block(at(lemz), "lemzgw") + block(at(qorb), "qorb") + block(at(zq), "lemzgw.zq"));
    connect({&lemz, &qorb, &zq});
    link->Send(Item::extBoardStatus, 3, "3");   // kind 2: uniq 1
    link->Send(Item::sgBuildVersion, "1.2\n");  // kind 4: uniq 2
    link->Send(Item::powerStatus, "2");         // both: uniq 3 and 4
    link->Send(static_cast<Item::MonitoringItemType>(35), "none");
    link->Send(Item::extBoardType, 3, "2");  // kind 2: uniq 5
    ASSERT_TRUE(pumpUntil([&] { return qorb.setMessages == 1 && zq.setMessages == 1; }));
    auto uniqs = [](const MonAgent& a) {
        std::vector<int> u;
        for (const MonAgent::Set& s : a.sets) u.push_back(s.uniq);
        return u;
    };
    EXPECT_EQ((std::vector<int>{1, 3, 5}), uniqs(qorb));
    EXPECT_EQ((std::vector<int>{2, 4}), uniqs(zq));
    EXPECT_EQ("extBoardTable", qorb.sets[0].section);
    EXPECT_EQ("extBoardStatus", qorb.sets[0].name);
    EXPECT_EQ(3, qorb.sets[0].index);
    EXPECT_EQ("1.2\n", zq.sets[0].value);
    EXPECT_EQ("gatewayCommon", zq.sets[1].section);

    // Empty lists send nothing; ready lists and trap receivers reach every
    // agent at once, a receiver whole as the host and without a port.
    link->Send(MON::SnmpSetCommands());
    link->SendTrapsink({});
    link->Send(commands(2, 3, 100));
    link->SendTrapsink({"192.0.2.1:162", "192.0.2.2"});
    for (MonAgent* a : {&lemz, &qorb, &zq}) {
        ASSERT_TRUE(pumpUntil([&] { return a->trapsinkLists == 1; }));
        EXPECT_EQ((std::vector<std::string>{"192.0.2.1:162", "192.0.2.2"}), a->trapsinks);
        EXPECT_FALSE(a->messages.back().get_pdu().get_command().get_snmp_trapsink_set()
                         .get_trapsinks()[0].has_port());
        // The lists arrived in the order they were sent, the empty ones never.
        const MON::Message& ready = a->messages[a->messages.size() - 2];
        EXPECT_EQ(2u, ready.get_pdu().get_command().get_snmp_set().get_commands().size());
    }
    EXPECT_TRUE(lemz.sets.size() == 2 && lemz.sets[0].section == "1.3.6.1.4.1.99.0");
}

TEST_F(AgentLink, AnIdleLinkIsPingedAndAnAgentSilentForThirtySecondsIsDropped) {
    configure(block(at(qorb), "qorb") + block(at(zq), "lemzgw.zq"));
    zq.setSilent(true);
    connect({&qorb, &zq});
    // The first message sent arms the pings.
    link->Send(commands(1, 1));
    ASSERT_TRUE(pumpUntil([&] { return qorb.sets.size() == 1 && zq.sets.size() == 1; }));
    for (int k = 1; k <= 6; ++k) {
        wait(5000);
        // The answering agent's reply counts as hearing from it.
        ASSERT_TRUE(pumpUntil([&] { return qorb.pings == k && zq.pings == k; })) << k;
    }
    EXPECT_TRUE(zq.connected());
    // 35 s after the connection, the silent agent's ping is its last.
    wait(5000);
    ASSERT_TRUE(pumpUntil([&] { return !zq.connected(); }));
    EXPECT_EQ(7, zq.pings);
    EXPECT_NE(std::string::npos, log.text().find("snmpagent.lemzgw.zq " + at(zq) + ": ping timeout !!! now="));
    EXPECT_TRUE(qorb.connected());
    EXPECT_EQ(1, qorb.connections);
    // The connector comes back by itself, 10 s after the loss.
    ASSERT_TRUE(pumpUntil([&] {
        return log.text().find(": connection lost, reset snmpagent instance\n") != std::string::npos;
    }));
    wait(10000);
    ASSERT_TRUE(pumpUntil([&] { return zq.connections == 2 && listener.connected.size() == 3; }));
}

TEST_F(AgentLink, GarbageAndCommandsFromTheAgentAreReportedAndTheLinkStays) {
    configure(block(at(qorb), "qorb"));
    connect({&qorb});
    qorb.sendGarbage();
    ASSERT_TRUE(pumpUntil([&] { return err.text().find(": receive : decode error!\n") != std::string::npos; }));
    qorb.sendCommand();
    ASSERT_TRUE(pumpUntil([&] { return err.text().find(": receive unknown message type\n") != std::string::npos; }));
    link->Send(Item::extBoardStatus, 1, "3");
    ASSERT_TRUE(pumpUntil([&] { return qorb.sets.size() == 1; }));
    EXPECT_EQ(1, qorb.connections);
}

TEST_F(AgentLink, ABatchBeyondOneMessageIsSplitAndAValueTooLongForAnyIsLeftOut) {
    configure(block(at(qorb), "qorb"));
    connect({&qorb});
    // 300 commands of 600 octets: more than a list a peer takes, and more
    // than one frame carries. One value no encoder takes sits among them.
    MON::SnmpSetCommands list = commands(300, 600);
    list.set_commands()[150].set_value(std::string(20000, 'x'));
    link->Send(list);
    ASSERT_TRUE(pumpUntil([&] { return qorb.sets.size() == 299; }));
    for (size_t k = 0; k < qorb.sets.size(); ++k)
        EXPECT_EQ(int(k < 150 ? k + 1 : k + 2), qorb.sets[k].uniq);
    for (const MON::Message& m : qorb.messages)
        EXPECT_GE(128u, m.get_pdu().get_command().get_snmp_set().get_commands().size());
    EXPECT_LT(3, qorb.setMessages);
    EXPECT_NE(std::string::npos, log.text().find("snmpagent: encode MON message fail!!! uniq=151\n"));
}

TEST_F(AgentLink, TheCommandNumberWrapsToOne) {
    configure(block(at(qorb), "qorb"));
    connect({&qorb});
    link->uniq = INT_MAX;
    link->Send(Item::extBoardStatus, 1, "3");
    link->Send(Item::extBoardStatus, 2, "3");
    ASSERT_TRUE(pumpUntil([&] { return qorb.sets.size() == 2; }));
    EXPECT_EQ(INT_MAX, qorb.sets[0].uniq);
    EXPECT_EQ(1, qorb.sets[1].uniq);
}

}  // namespace
