#include "core/heart_beat.h"

#include <iostream>

#include "runtime/singleton.h"

HeartBeatCtl* HeartBeatCtl::instance() {
    return &Singleton<HeartBeatCtl>::get();
}

bool HeartBeatCtl::OnCommand(const LGCP::Command& command) {
    ResetTimeOut();
    if (command.currentSelection() != LGCP::Command::e_ping) return false;
    Success();
    return true;
}

void HeartBeatCtl::ResetTimeOut() {
    timer.set(timeout_ms, &HeartBeatCtl::OnHeartbeatTimeout, this);
}

void HeartBeatCtl::OnHeartbeatTimeout(Timer*) {
    std::clog << "heartbeat timeout!!!" << std::endl;
    if (BoundServer()) BoundServer()->OnHeartbeatTimeout();
}
