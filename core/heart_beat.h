#ifndef KORVAND_CORE_HEART_BEAT_H
#define KORVAND_CORE_HEART_BEAT_H

#include "core/ctrl_server.h"
#include "runtime/timer.h"

// Drops a controller that has gone silent. Bound first, it sees every
// command before any other service: each one (taken or not) re-arms the
// time-out, which therefore counts from the last command. The connection
// arms it too, so a peer that connects and says nothing cannot hold the
// one controller place. It answers `ping`.
class HeartBeatCtl : public CtrlSrv::Service {
public:
    static const unsigned timeout_ms = 120000;

    static HeartBeatCtl* instance();

    void OnConnect() override { ResetTimeOut(); }
    void OnDisconnect() override { timer.reset(); }
    bool OnCommand(const LGCP::Command& command) override;

    void ResetTimeOut();
    // Logs the time-out and has the server close the connection; the
    // services then hear OnDisconnect as for any lost connection.
    void OnHeartbeatTimeout(Timer*);

private:
    Timer timer;
};

#endif
