#include "hardware/e1_ctl.h"

#include <errno.h>
#include <fcntl.h>

#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "hardware/driver_read.h"
#include "runtime/hex_out.h"
#include "runtime/singleton.h"

namespace {

const char* const kPrefix = "E1: ";
const int kFramingSlot = 0;
const int kSignallingSlot = 16;

// Time slots 0 and 16 carry framing and the signalling itself, no channel.
bool casChannel(int timeslot) {
    return timeslot != kFramingSlot && timeslot != kSignallingSlot;
}

E1::CasRecord casRecord(unsigned trunk, int timeslot, int tx) {
    E1::CasRecord r;
    std::memset(&r, 0, sizeof r);
    r.trunk = trunk;
    r.timeslot = static_cast<uint32_t>(timeslot);
    r.tx = static_cast<uint8_t>(tx & E1::kCasBitsMask);
    return r;
}

ACP::TrunkState::NamedNumber framerState(int32_t state) {
    // A state the framer reports beyond the known ones cannot be sent as a
    // TrunkState: say that it is not known.
    if (state < E1::kStateNormal || state > E1::kStateDisabled) return ACP::TrunkState::unknown;
    return static_cast<ACP::TrunkState::NamedNumber>(state);
}

}  // namespace

E1Ctl* E1Ctl::instance() {
    return &Singleton<E1Ctl>::get();
}

E1Ctl::E1Ctl() {
    casEvent.Bind("E1/Cas", &E1Ctl::OnUpdateCas, this);
}

E1Ctl::~E1Ctl() {
    casEvent.Release();
    if (cas) cas.close();
    if (maintenance) maintenance.close();
}

bool E1Ctl::OpenMaintenance() {
    if (maintenance) return true;
    maintenance = boardIo().open(E1::kMaintenanceDevice, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return bool(maintenance);
}

void E1Ctl::OnConnect() {
    SendStatus();
    timer.set(kStatusMs, &E1Ctl::OnStatusTimer, this);
    tclk = 0;
    UpdateTclk();
    CheckOpenCas();
}

void E1Ctl::OnStatusTimer() {
    SendStatus();
    CheckOpenCas();
    timer.set(kStatusMs, &E1Ctl::OnStatusTimer, this);
}

void E1Ctl::OnDisconnect() {
    for (unsigned t = 0; t < E1::kTrunks; ++t)
        if (casOpen[t]) CloseTrunk(t);
}

bool E1Ctl::OnCommand(const LGCP::Command& command) {
    bool done;
    switch (command.currentSelection()) {
        case LGCP::Command::e_trunkCfg:
            done = SetMode(command.get_trunkCfg());
            break;
        case LGCP::Command::e_ioctl:
            // Requests that name a slot are the slot's.
            if (IsSlotPresent()) return false;
            done = HandleCas(command.get_ioctl());
            break;
        default:
            return false;
    }
    if (done)
        Success();
    else
        Error(LGCP::ErrorCause::internal);
    return true;
}

void E1Ctl::SendStatus() {
    if (!OpenMaintenance()) return;
    for (unsigned t = 0; t < E1::kTrunks; ++t) {
        E1::TrunkStatusRecord r;
        std::memset(&r, 0, sizeof r);
        r.trunk = static_cast<int32_t>(t);
        if (boardIo().ioctl(maintenance.get(), E1::kTrunkStatus, &r) < 0) {
            std::cerr << kPrefix << "synchronization status read fail, trunk = " << t
                      << " cause = " << std::strerror(errno) << std::endl;
            continue;
        }
        LGCP::Signal signal;
        ACP::TrunkStatus& s = signal.set_trunkStatus();
        s.set_trunk(static_cast<int>(t));
        s.set_state(framerState(r.state));
        s.set_slips(static_cast<int>(r.slips));
        s.set_lossBF(static_cast<int>(r.lossBF));
        s.set_lossCarrier(static_cast<int>(r.lossCarrier));
        s.set_lossAIS(static_cast<int>(r.lossAIS));
        s.set_lossRAI(static_cast<int>(r.lossRAI));
        s.set_clockMaster(false);
        s.set_type(ACP::TrunkType::e1);
        SendSignal(signal);
    }
}

bool E1Ctl::SetMode(const LGCP::TrunkCfg& cfg) {
    int trunk = cfg.get_trunk().getValue();
    // The mask has a bit for each trunk and no more: another number names
    // no trunk (and would shift out of the mask).
    if (trunk < 0 || trunk >= static_cast<int>(E1::kTrunks)) {
        std::cerr << kPrefix << "no trunk " << trunk << ", mode ignored" << std::endl;
        return true;
    }
    uint32_t bit = 1u << trunk;
    if (cfg.get_mode().getValue() == LGCP::TrunkMode::slave)
        tclk |= bit;
    else
        tclk &= ~bit;
    if (OpenMaintenance()) return UpdateTclk();
    std::cerr << kPrefix << "fail to set TCLK [cause=" << std::strerror(errno) << "]" << std::endl;
    return false;
}

bool E1Ctl::UpdateTclk() {
    if (!OpenMaintenance()) return false;
    if (boardIo().ioctl(maintenance.get(), E1::kTransmitClockMask, static_cast<long>(tclk)) < 0) {
        std::cerr << kPrefix << "fail to set TCLK [cause=" << std::strerror(errno) << "]"
                  << std::endl;
        return false;
    }
    std::clog << kPrefix << "TCLT = " << ext::OutUnsignedInHex(tclk) << std::endl;
    return true;
}

bool E1Ctl::select_source(int source) {
    if (!OpenMaintenance()) return false;
    if (boardIo().ioctl(maintenance.get(), E1::kClockSource, static_cast<long>(source)) >= 0)
        return true;
    std::cerr << kPrefix << "fail to set clock source" << std::endl;
    return false;
}

bool E1Ctl::CheckOpenCas() {
    if (cas) return true;
    cas = boardIo().open(E1::kCasDevice, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (!cas) return false;
    std::clog << kPrefix << "cas interface opened!" << std::endl;
    casEvent.Schedule(cas, POLLIN);
    return true;
}

void E1Ctl::OnUpdateCas(int, short revents) {
    if (!(revents & kDriverReadEvents) || !cas) return;
    E1::CasRecord r;
    ssize_t n = boardIo().read(cas.get(), &r, sizeof r);
    int err = errno;
    switch (driverRead(n, err, revents)) {
        case DriverRead::kData:
            if (n == static_cast<ssize_t>(sizeof r))
                SendCASSignal(static_cast<int>(r.trunk), static_cast<int>(r.timeslot), r.rx, r.tx);
            else
                std::cerr << kPrefix << "short cas record of " << n << " bytes dropped"
                          << std::endl;
            return;
        case DriverRead::kLater:
            return;
        case DriverRead::kFailed:
            DropCas(driverReadFailure(n, err, revents).c_str());
            return;
    }
}

void E1Ctl::DropCas(const char* why) {
    std::cerr << kPrefix << "cas interface failed: " << why << std::endl;
    casEvent.Release();
    cas.close();
    // The driver let go of the trunks with the descriptor: tell the
    // controller as a close would.
    for (unsigned t = 0; t < E1::kTrunks; ++t) {
        if (!casOpen[t]) continue;
        casOpen[t] = 0;
        SendCASTrunkStatus(static_cast<int>(t), 1);
    }
}

void E1Ctl::SendCASSignal(int trunk, int timeslot, int rx, int tx) {
    LGCP::Signal signal;
    LGCP::CasSignalling& s = signal.set_cas();
    s.set_channel().set_path(trunk);
    s.set_channel().set_timeslot(timeslot);
    s.set_rx(rx);
    s.set_tx(tx);
    SendSignal(signal);
}

int E1Ctl::CasRequest(unsigned long request, void* record) {
    return boardIo().ioctl(cas.get(), request, record);
}

int E1Ctl::CasRequest(unsigned long request, long value) {
    return boardIo().ioctl(cas.get(), request, value);
}

bool E1Ctl::HandleCas(const LGCP::IoctlParams& params) {
    if (!CheckOpenCas()) {
        std::cerr << kPrefix << "cas interface open fail: " << std::strerror(errno) << std::endl;
        return false;
    }
    if (params.currentSelection() != LGCP::IoctlParams::e_cas) return true;
    const LGCP::CasCommand& c = params.get_cas();
    const LGCP::CasCommandSignal& cmd = c.get_cmd();
    switch (cmd.currentSelection()) {
        case LGCP::CasCommandSignal::e_open:
            HandleCasOpen(c.get_channel(), cmd.get_open().getValue());
            break;
        case LGCP::CasCommandSignal::e_close:
            HandleCasClose(c.get_channel());
            break;
        case LGCP::CasCommandSignal::e_set:
            HandleCasSet(c.get_channel(), cmd.get_set().getValue());
            break;
        case LGCP::CasCommandSignal::e_get:
            HandleCasGet(c.get_channel());
            break;
        default:
            break;
    }
    return true;
}

int E1Ctl::Trunk(const LGCP::CasChannel& channel) {
    int trunk = channel.get_path().getValue();
    return trunk >= 0 && trunk < static_cast<int>(E1::kTrunks) ? trunk : -1;
}

void E1Ctl::HandleCasOpen(const LGCP::CasChannel& channel, int bits) {
    int trunk = Trunk(channel);
    if (trunk < 0) return;
    if (!casOpen[trunk]) {
        int r = CasRequest(E1::kCasOpen, static_cast<long>(trunk));
        SendCASTrunkStatus(trunk, r);
        std::clog << kPrefix << "open cas signalling on trunk(" << trunk << ") - ";
        if (r < 0) {
            std::clog << "fail(" << r << ")" << std::endl;
            return;
        }
        std::clog << "ok" << std::endl;
        casOpen[trunk] = 1;
    } else {
        SendCASTrunkStatus(trunk, 0);
    }
    int timeslot = channel.get_timeslot().getValue();
    if (!casChannel(timeslot)) return;
    unsigned t = static_cast<unsigned>(trunk);
    ReportChannel(t, timeslot, EnableChannel(t, timeslot, bits, false));
}

void E1Ctl::HandleCasClose(const LGCP::CasChannel& channel) {
    int trunk = Trunk(channel);
    if (trunk < 0 || !casOpen[trunk]) return;
    int timeslot = channel.get_timeslot().getValue();
    if (timeslot == kFramingSlot) {
        CloseTrunk(static_cast<unsigned>(trunk));
        return;
    }
    if (!casChannel(timeslot)) return;
    int result = EnableChannel(static_cast<unsigned>(trunk), timeslot, 0, true);
    if (result < 0)
        SendCASSignal(trunk, timeslot, result, 0);
    else
        SendCASSignal(trunk, timeslot, -1, 1);
}

void E1Ctl::HandleCasSet(const LGCP::CasChannel& channel, int bits) {
    int trunk = Trunk(channel);
    int timeslot = channel.get_timeslot().getValue();
    if (trunk < 0 || !casOpen[trunk] || !casChannel(timeslot)) return;
    E1::CasRecord r = casRecord(static_cast<unsigned>(trunk), timeslot, bits);
    ReportChannel(static_cast<unsigned>(trunk), timeslot, CasRequest(E1::kCasSet, &r));
}

void E1Ctl::HandleCasGet(const LGCP::CasChannel& channel) {
    int trunk = Trunk(channel);
    int timeslot = channel.get_timeslot().getValue();
    if (trunk < 0 || !casOpen[trunk] || !casChannel(timeslot)) return;
    SendChannelBits(static_cast<unsigned>(trunk), timeslot);
}

int E1Ctl::EnableChannel(unsigned trunk, int timeslot, int bits, bool disable) {
    E1::CasChannelRecord r;
    r.cas = casRecord(trunk, timeslot, bits);
    r.disable = disable ? 1 : 0;
    return CasRequest(E1::kCasEnable, &r);
}

void E1Ctl::ReportChannel(unsigned trunk, int timeslot, int result) {
    if (result < 0)
        SendCASSignal(static_cast<int>(trunk), timeslot, result, 0);
    else
        SendChannelBits(trunk, timeslot);
}

void E1Ctl::SendChannelBits(unsigned trunk, int timeslot) {
    E1::CasRecord r = casRecord(trunk, timeslot, 0);
    int result = CasRequest(E1::kCasGet, &r);
    if (result < 0)
        SendCASSignal(static_cast<int>(trunk), timeslot, result, 0);
    else
        SendCASSignal(static_cast<int>(trunk), timeslot, r.rx, r.tx);
}

void E1Ctl::CloseTrunk(unsigned trunk) {
    int r = CasRequest(E1::kCasClose, static_cast<long>(trunk));
    // A done close is reported as 1, which tells it from a done open (0).
    SendCASTrunkStatus(static_cast<int>(trunk), r == 0 ? 1 : r);
    if (r >= 0) casOpen[trunk] = 0;
}
