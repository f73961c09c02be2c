#ifndef KORVAND_SLOTS_PSTN_SLOT_H
#define KORVAND_SLOTS_PSTN_SLOT_H

#include <cstdint>
#include <vector>

#include "core/slot.h"
#include "core/slot_factory.h"
#include "hardware/hdlc.h"
#include "links/lapd.h"
#include "links/lapd_nt.h"
#include "links/ss7_slc.h"
#include "protocol/protocol.h"
#include "runtime/timer.h"

// One signalling data link of a public network interface on an HDLC
// channel of its own: SS7 MTP level 2 (mode 0, also the `cas` parameters,
// which build no link), ISDN LAPD on a primary-rate D channel (mode 1) or
// on the user side of a BRI D channel (mode 2), or the network side of a
// BRI D channel (mode 3). The controller connects it to the trunk slot
// whose time slot carries the signalling (the slot makes the hardware
// link), activates it and exchanges layer-3 messages with it as user data.
// It reports the link's activation and loss, LAPD congestion, and every
// 3000 ms its statistics as `ioctl` signals.
class PstnSlot : public Slot, public ProtocolsFamily, public ISDN::LAPD::Notify, public HDLC::Notify {
public:
    static const TimerSpec<PstnSlot>::Record TUpdateRecord;

    explicit PstnSlot(const LGCP::PstnParams& params);
    // Tears the link down while the channel it sends through still exists.
    ~PstnSlot() override;

    // ---- Slot ----
    void OnTrunkStatus(unsigned trunk, const ACP::TrunkState::NamedNumber& state) override;
    bool IActivate(const TERM::TermActivateParams&) override;
    bool IDeactivate() override;
    // False when there is no link, the data cannot be taken into a packet,
    // or the link discards it.
    bool IUserData(const std::vector<char>& data) override;
    bool Ioctl(const LGCP::IoctlParams& params) override;
    int GetConnectionPriority() const override { return 1; }
    bool IHwConnectTransmitter(Slot& dst) override;
    bool IHwConnectReceiver(Slot& src) override;
    bool IHwDisconnectTransmitter(Slot& dst) override;
    bool IHwDisconnectReceiver(Slot& src) override;
    bool IOnOutputStream() override { return true; }
    bool IOnInputStream() override { return true; }
    const char* GetName() const override { return "pstn"; }

    // ---- HDLC::Notify: passed to the link's listener, or for the network
    // side of a BRI link, which has none, received frames go up the stack ----
    void on_hdlc_receive(Packet& frame) override;
    // The channel has closed: the link is taken down too, so the
    // controller learns of the loss.
    void on_hdlc_error(HDLC::Notify::Cause::Type cause) override;
    void on_hdlc_ready() override;

    // ---- the stack's upward calls ----
    const Protocol_name& name() const override { return familyName; }
    void on_activated(Protocol* reporter) override;
    void on_deactivated(Protocol* reporter, Protocol_status_ptr status) override;
    void on_message(Packet& p) override;
    // A frame of a link that sends through the stack (the network side).
    bool transmit(Packet& frame) override;
    void OnLAPD_FlowStatusChange(ISDN::LAPD* link) override;

    // Re-arms the timer and sends the statistics.
    void OnUpdateTimer();

    int Mode() const { return mode; }
    const HDLC& Channel() const { return hdlc; }
    SS7::SLC* Ss7() const { return ss7; }
    ISDN::LAPD* Lapd() const { return lapd; }

private:
    void BuildSs7(const LGCP::SS7Params& p);
    void BuildIsdn(const LGCP::IsdnParams& p);
    // Opens the channel and activates the link; `deactivated` on failure.
    void iactivate();
    void SendIsdnInfo();
    void SendSs7Info();
    // Deletes the link layers, top first.
    void DropLinks();

    Protocol_name_str familyName{"PSTN"};
    HDLC hdlc;
    int mode = 0;
    int trunkIndex = 0;
    SS7::SLC* ss7 = nullptr;
    ISDN::LAPD* lapd = nullptr;
    HDLC::Notify* linkListener = nullptr;
    int lastTrunkState = ACP::TrunkState::unknown;
    TimerSpec<PstnSlot> update{TUpdateRecord};
    // Kept for a speed figure that nothing computes yet.
    uint32_t lastOctetsTx = 0;
    uint32_t lastOctetsRx = 0;
    uint32_t created;
    // User data refused (no link, pool low, too long, discarded).
    uint32_t refused = 0;
};

// Builds PSTN slots (`pstn` parameters) and hands the published trunk
// states to them.
class PstnFactory : public SlotFactory {
public:
    const char* GetName() const override { return "PSTN"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override;
    void Query(LGCP::Resources&) override {}
    void SelfSignal(const LGCP::Signal& signal) override;
};

#endif
