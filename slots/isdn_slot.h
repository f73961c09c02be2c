#ifndef KORVAND_SLOTS_ISDN_SLOT_H
#define KORVAND_SLOTS_ISDN_SLOT_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/slot.h"
#include "core/slot_factory.h"
#include "hardware/hdlc.h"
#include "links/lapd.h"
#include "protocol/protocol.h"
#include "runtime/event.h"
#include "runtime/fd.h"

// An ISDN LAPD link run directly on a byte channel of the MCC controller:
// the slot reads and writes the channel's descriptor itself and is the
// link's HDLC device. The channel is a TDM channel of the switch, connected
// to a trunk time slot like any other. The slot reports the link's
// activation and loss, with the link's statistics at each, and carries
// layer-3 messages as user data both ways.
class IsdnSlot : public Slot, public ProtocolsFamily, public ISDN::LAPD::Notify, public GenericHDLC {
public:
    // Takes a duplicate of an allocated channel's descriptor, and the link.
    IsdnSlot(Fd fd, ISDN::LAPD* link);
    // Tears the link down while the device it sends through still exists.
    ~IsdnSlot() override;

    // ---- Slot ----
    // False once the channel has ended.
    bool IActivate(const TERM::TermActivateParams&) override;
    bool IDeactivate() override;
    // False once the channel has ended, or when the data cannot be taken
    // into a packet or the link discards it.
    bool IUserData(const std::vector<char>& data) override;
    bool IOnOutputStream() override { return true; }
    bool IOnInputStream() override { return true; }
    int IGetTransmitChannel() const override { return channel; }
    int IGetReceiveChannel() const override { return channel; }
    const char* GetName() const override { return "MCC"; }

    // ---- GenericHDLC: the link's device ----
    bool hdlc_transmit(Packet& frame) override;
    bool is_open() const override { return bool(m_event.fd); }
    bool is_ready() const override { return ready; }

    // ---- the stack's upward calls ----
    const Protocol_name& name() const override { return familyName; }
    void on_activated(Protocol* reporter) override;
    void on_deactivated(Protocol* reporter, Protocol_status_ptr status) override;
    void on_message(Packet& p) override;
    bool transmit(Packet&) override { return false; }
    void OnLAPD_FlowStatusChange(ISDN::LAPD*) override {}

    // The poll callback: a received frame, then the writable state. A
    // device that fails or ends is closed and reported with `deactivated`.
    void OnEvent(int fd, short revents);
    // "isdn-slot[<TDM channel>]: "
    void PutHeader(std::ostream& os) const;

    ISDN::LAPD* Link() const { return lapd; }

protected:
    // For a device of another kind: the subclass finds its channel and
    // schedules the poll event.
    explicit IsdnSlot(ISDN::LAPD* link);
    void Schedule(Fd fd, const char* eventName);

    int channel = -1;
    Event m_event;

private:
    void ReadFrame(short revents);
    void SendInfo();

    ISDN::LAPD* lapd;
    bool ready = false;
    Protocol_name_str familyName{"ISDN/HDLC"};
    uint32_t refused = 0;
};

class AtsQsigBSlot;

// The same link on the signalling channel of an ATS Q.SIG interface of
// "/dev/dsp-data", to which the controller adds bearer channels as slots
// of their own.
class AtsQsigSlot : public IsdnSlot {
public:
    // Takes a duplicate of an open of the device, and the link; the TDM
    // channel is negative when the device would not tell it.
    AtsQsigSlot(Fd fd, ISDN::LAPD* link);
    // Its B slots stay, harmless, without it.
    ~AtsQsigSlot() override;

    bool IBeforeDestroy() override;
    const char* GetName() const override { return "ATS-QSIG"; }

    // Adds B channel `number` (0 to 2); null when the device refuses.
    AtsQsigBSlot* NewBChannel(unsigned number);
    // Returns a B channel to the device.
    void RemoveBChannel(AtsQsigBSlot& b);

private:
    std::vector<AtsQsigBSlot*> bSlots;
};

// A bearer channel of an ATS Q.SIG interface, connected like any TDM
// channel. It knows its signalling slot itself, so a new slot at a reused
// id is never taken for it; without its signalling slot it has no channel.
class AtsQsigBSlot : public Slot {
public:
    AtsQsigBSlot(AtsQsigSlot& signalling, int number, int channel);
    ~AtsQsigBSlot() override;

    // Returns the channel to the device.
    bool IBeforeDestroy() override;
    bool IOnOutputStream() override { return true; }
    bool IOnInputStream() override { return true; }
    int IGetTransmitChannel() const override { return signalling ? channel : -1; }
    int IGetReceiveChannel() const override { return signalling ? channel : -1; }
    const char* GetName() const override { return "ATS-QSIG-B"; }

    int Number() const { return number; }
    AtsQsigSlot* Signalling() const { return signalling; }

private:
    friend class AtsQsigSlot;

    AtsQsigSlot* signalling;
    int number;
    int channel;
};

// Builds ISDN slots (`isdn`), ATS Q.SIG slots (`ats-qsig`) and their B
// channel slots (`ats-qsig-b`).
class IsdnFactory : public SlotFactory {
public:
    const char* GetName() const override { return "ISDN"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override;
    void Query(LGCP::Resources&) override {}

    // The slot with that id among those this factory built, or null.
    Slot* FindSlot(unsigned id) const;

private:
    Slot* NewIsdnSlot(const LGCP::IsdnParams& p);
    Slot* NewAtsQsigSlot(const LGCP::AtsQsigParams& p);
    Slot* NewAtsQsigBSlot(const LGCP::AtsQsigBParams& p);
};

#endif
