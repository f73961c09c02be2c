#ifndef KORVAND_TESTS_CORE_CTRL_FIXTURE_H
#define KORVAND_TESTS_CORE_CTRL_FIXTURE_H

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ctrl_server.h"
#include "core/heart_beat.h"
#include "protocol/acceptor.h"
#include "tests/support/capture.h"
#include "tests/support/daemon_process.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/pump.h"
#include "tests/support/singleton_scope.h"
#include "tests/support/test_clock.h"
#include "tools/lgcpc/client.h"

// A bound service whose command handling the test scripts; it records what
// the server tells it.
struct ScriptedService : CtrlSrv::Service {
    void OnConnect() override { ++connects; }
    void OnDisconnect() override { ++disconnects; }
    bool OnCommand(const LGCP::Command& c) override { return onCommand && onCommand(c); }
    void OnSignal(const LGCP::Signal& s) override { signals.push_back(s.asValueNotation()); }

    std::function<bool(const LGCP::Command&)> onCommand;
    std::vector<std::string> signals;
    int connects = 0;
    int disconnects = 0;
};

// The global control server on a loopback port with the heartbeat and (by
// default) two scripted services bound, in the daemon's order, and a
// controller connected; the loop runs on the test clock. The test leaves
// the server as it found it: no connection service, nothing bound, and the
// singletons built meanwhile destroyed.
class ControlServer : public ::testing::Test {
protected:
    void SetUp() override {
        bind(HeartBeatCtl::instance());
        BindServices();
        auto* acceptor = new Control::AcceptorNetCheckConnection(port);
        ASSERT_TRUE(ctrlServer.Activate(acceptor));
        // The controller reaches this listener and no other.
        ASSERT_TRUE(acceptor->Listening()) << err.text();
        connect(client);
    }
    void TearDown() override {
        client.Close();
        ctrlServer.Deactivate();
        for (CtrlSrv::Service* s : bound) ctrlServer.Unbind(s);
        EXPECT_EQ(0u, ctrlServer.BoundCount()) << "a service was bound past the fixture";
        singletons.end();
    }
    // Binds the service for the test's life.
    void bind(CtrlSrv::Service* s) {
        ctrlServer.Bind(s);
        bound.push_back(s);
    }
    // The services bound after the heartbeat.
    virtual void BindServices() {
        bind(&taker);
        bind(&witness);
    }
    void connect(Lgcpc::Client& c) {
        std::string error;
        ASSERT_TRUE(c.Connect("127.0.0.1", uint16_t(port), error)) << error;
    }
    // Sends the request, then a ping whose answer proves that the server
    // has finished with the request; returns every message received in
    // between, in the printer's layout.
    std::vector<std::string> exchange(const std::string& request) { return LgcpTexts::request(client, request); }
    std::vector<std::string> exchangeOctets(const std::vector<char>& payload) {
        std::string error;
        size_t before = client.Received().size();
        EXPECT_TRUE(client.SendOctets(payload, error)) << error;
        return barrier(before);
    }
    std::vector<std::string> barrier(size_t before) { return LgcpTexts::barrier(client, before); }
    // The canonical form of each message.
    static std::vector<std::string> texts(const std::vector<std::string>& messages) {
        std::vector<std::string> out;
        for (const std::string& m : messages) out.push_back(Lgcpc::canonical(m));
        return out;
    }
    std::string header() const { return "ctrl [" + ctrlServer.GetService()->GetConnectionName() + "]: "; }

    SingletonScope singletons;
    std::vector<CtrlSrv::Service*> bound;
    TestClock clock;
    StreamCapture out{std::cout};
    StreamCapture log{std::clog};
    StreamCapture err{std::cerr};
    ReservedPort port;
    ScriptedService taker;
    ScriptedService witness;
    Lgcpc::Client client;
};

#endif
