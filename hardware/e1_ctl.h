#ifndef KORVAND_HARDWARE_E1_CTL_H
#define KORVAND_HARDWARE_E1_CTL_H

#include <cstdint>

#include "asn1/gen/lgcp.h"
#include "board/e1_driver.h"
#include "core/ctrl_server.h"
#include "runtime/event.h"
#include "runtime/fd.h"
#include "runtime/timer.h"

// The board's four E1 trunks: reports each framer's status once a second
// from the first controller connection on, sets which trunks take their
// transmit clock from the line (`trunkCfg`), and runs channel-associated
// signalling on the CAS device: opens and closes trunks, enables, sets and
// reads the bits of single time slots (`ioctl` `cas` without a slot id) and
// forwards every CAS event the driver reports as a `cas` signal. Both
// drivers are opened at first need; a CAS device that fails is closed and
// opened again by the next status round.
class E1Ctl : public CtrlSrv::Service {
public:
    static const unsigned kStatusMs = 1000;

    // The one service of the process, created on first use.
    static E1Ctl* instance();

    E1Ctl();
    ~E1Ctl() override;

    // Status now and every second, a cleared transmit-clock mask, CAS open.
    void OnConnect() override;
    // Closes every trunk on which CAS is open.
    void OnDisconnect() override;
    // Takes `trunkCfg`, and `ioctl` without a slot id.
    bool OnCommand(const LGCP::Command& command) override;

    // False when the mask could not be written.
    bool SetMode(const LGCP::TrunkCfg& cfg);
    bool UpdateTclk();
    void SendStatus();
    // False when the CAS device is not available.
    bool HandleCas(const LGCP::IoctlParams& params);
    void HandleCasOpen(const LGCP::CasChannel& channel, int bits);
    void HandleCasClose(const LGCP::CasChannel& channel);
    void HandleCasSet(const LGCP::CasChannel& channel, int bits);
    void HandleCasGet(const LGCP::CasChannel& channel);
    bool CheckOpenCas();
    void OnUpdateCas(int fd, short revents);
    void SendCASSignal(int trunk, int timeslot, int rx, int tx);
    void SendCASTrunkStatus(int trunk, int result) { SendCASSignal(trunk, 0, result, 0); }
    // The framers follow the receive clock of `source`; false on failure.
    bool select_source(int source);

    uint32_t TransmitClockMask() const { return tclk; }
    bool CasOpen(unsigned trunk) const { return trunk < E1::kTrunks && casOpen[trunk]; }

private:
    // Opens the maintenance device unless it is open; false when it is not.
    bool OpenMaintenance();
    void OnStatusTimer();
    // A trunk number of a CAS command, or -1 when it names no trunk.
    static int Trunk(const LGCP::CasChannel& channel);
    // Issues a CAS request; the request's result (-1 on failure).
    int CasRequest(unsigned long request, void* record);
    int CasRequest(unsigned long request, long value);
    // The channel enable request with `bits` to send; its result.
    int EnableChannel(unsigned trunk, int timeslot, int bits, bool disable);
    // After a request on a channel: its failed result, or the channel's bits.
    void ReportChannel(unsigned trunk, int timeslot, int result);
    // Gets the bits of a channel and sends them, or the failed result.
    void SendChannelBits(unsigned trunk, int timeslot);
    void CloseTrunk(unsigned trunk);
    // The CAS device failed: it is closed, and so is every trunk.
    void DropCas(const char* why);

    Fd maintenance;
    Timer timer;
    Fd cas;
    Event casEvent;
    uint32_t casOpen[E1::kTrunks] = {};
    uint32_t tclk = 0;
};

#endif
