#ifndef KORVAND_SLOTS_HDLC_SLOT_H
#define KORVAND_SLOTS_HDLC_SLOT_H

#include <cstdint>
#include <ostream>

#include "core/slot.h"
#include "core/slot_factory.h"
#include "hardware/hdlc.h"
#include "protocol/clean_queue.h"
#include "protocol/protocol.h"
#include "runtime/timer.h"

// The controller's data packets over an HDLC channel of the MCC controller
// on one TDM channel. Each frame starts with a 16-bit address (most
// significant octet first) and a control octet: the sender's send counter
// modulo 8 in bits 7-5, the last counter received from the peer in bits
// 4-0. The controller sends packages as a list in one `hdlcPackages`
// request; the frames for the slot's address come back as lists in
// `hdlcPackages` signals, batched until the far end marks a batch's end
// (bit 7 of the frame's octet 4 clear) or 100 ms pass. The slot makes its
// switch connection itself and reports the channel's counters every
// 3000 ms and on each deactivation.
class HdlcSlot : public Slot, public HDLC::Notify {
public:
    static const TimerSpec<HdlcSlot>::Record TUpdateRecord;
    static const unsigned kRing = 120;
    static const unsigned kFlushMs = 100;
    // A list flushes early, however the batch runs, when it reaches this
    // many packages or octets, so that the controller can always decode
    // the signal (it takes at most 128 elements of a list).
    static const size_t kFlushPackages = 128;
    static const size_t kFlushOctets = 16384;

    explicit HdlcSlot(const LGCP::HdlcParams& params);
    ~HdlcSlot() override;

    // ---- Slot ----
    bool IActivate(const TERM::TermActivateParams&) override;
    bool IDeactivate() override;
    bool Ioctl(const LGCP::IoctlParams& params) override;
    int GetConnectionPriority() const override { return 1; }
    bool IHwConnectTransmitter(Slot& dst) override;
    bool IHwConnectReceiver(Slot& src) override;
    bool IHwDisconnectTransmitter(Slot& dst) override;
    bool IHwDisconnectReceiver(Slot& src) override;
    bool IOnOutputStream() override { return true; }
    bool IOnInputStream() override { return true; }
    const char* GetName() const override { return "hdlc-slot"; }

    // ---- HDLC::Notify ----
    void on_hdlc_receive(Packet& frame) override;
    void on_hdlc_error(HDLC::Notify::Cause::Type cause) override;
    // Drains the ring while the channel takes frames.
    void on_hdlc_ready() override;

    // Adds a received frame to the pending list when it is addressed here.
    void enqResponce(Packet& frame);
    // Sends the pending list, when it holds anything, and starts a new one.
    void flushResponce();
    void OnUpdateTimer();

    const HDLC& Channel() const { return hdlc; }
    unsigned Queued() const { return ring.count(); }
    // Packages dropped on a full ring, and refused for want of packets.
    uint32_t Dropped() const { return dropped; }

private:
    // "HdlcSlot[<trunk index>/*]: "
    std::ostream& line(std::ostream& os) const;
    void trace(const char* text) const;
    void iactivate();
    // Both directions use the one TDM channel of the source or receiver.
    void connect(int tdm);
    // Frames the packages onto the ring; false when the pool cannot spare
    // the packets or a package is too long for one frame.
    bool enqueue(const ASN1::SEQUENCE_OF<LGCP::HdlcPackage>& packages);
    void startPending();

    Protocol_name_str protocolName{"hdlc"};
    HDLC hdlc;
    LGCP::IoctlResponse pending;
    size_t pendingOctets = 0;
    int trunkIndex;
    TimerSpec<HdlcSlot> update{TUpdateRecord};
    Timer flush;
    CleanQueue<Packet, kRing> ring;
    uint16_t address;
    uint8_t sendCounter = 0;
    uint8_t lastReceived = 0;
    uint32_t dropped = 0;
};

// Builds HDLC packet slots (`hdlcParams`).
class HdlcSlotFactory : public SlotFactory {
public:
    const char* GetName() const override { return "HdlcSlotFactory"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override;
    void Query(LGCP::Resources&) override {}
    // Hands trunk states to the slots, which ignore them.
    void SelfSignal(const LGCP::Signal& signal) override;
};

#endif
