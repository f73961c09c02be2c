// The control server's handling of one frame payload from the controller:
// decoding, dispatch to the heartbeat and a service that takes every
// command with a slot id and raises a signal, and encoding of the answers
// (sent nowhere: no connection service is attached).

#include <iostream>
#include <streambuf>

#include "core/ctrl_server.h"
#include "core/heart_beat.h"

namespace {

struct Taker : CtrlSrv::Service {
    void OnConnect() override {}
    void OnDisconnect() override {}
    bool OnCommand(const LGCP::Command&) override {
        if (!IsSlotPresent()) return false;
        LGCP::Signal signal;
        signal.set_activated();
        SendSignal(signal);
        Success();
        return true;
    }
};

struct Silent : std::streambuf {
    int overflow(int c) override { return c; }
};

bool setUp() {
    static Silent silent;
    std::cerr.rdbuf(&silent);
    std::clog.rdbuf(&silent);
    static Taker taker;
    ctrlServer.Bind(HeartBeatCtl::instance());
    ctrlServer.Bind(&taker);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = setUp();
    (void)ready;
    // A buffer of exactly the input's size, so reads beyond it are caught.
    std::vector<char> payload(data, data + size);
    ctrlServer.OnMessage(payload.data(), int(payload.size()));
    return 0;
}
