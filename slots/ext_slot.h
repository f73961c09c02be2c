#ifndef KORVAND_SLOTS_EXT_SLOT_H
#define KORVAND_SLOTS_EXT_SLOT_H

#include "core/slot.h"
#include "core/slot_factory.h"

// An extension: a transmit and a receive channel of the switch's bus side.
// It transmits from its creation; its receive side is switched on by
// activation (the channel then carries the idle byte until a source is
// connected) and off by deactivation and destruction (the channel is
// disabled).
class ExtSlot : public Slot {
public:
    int IGetTransmitChannel() const override { return transmitChannel; }
    int IGetReceiveChannel() const override { return receiveChannel; }
    bool IOnOutputStream() override { return true; }
    // A source can be connected only while the receive side is on.
    bool IOnInputStream() override { return IsInputActive(); }
    void IAfterCreate() override;
    bool IActivate(const TERM::TermActivateParams&) override;
    bool IDeactivate() override;
    bool IBeforeDestroy() override;
    const char* GetName() const override { return "bri"; }

    // Filled by the factory.
    int transmitChannel = -1;
    int receiveChannel = -1;
};

// Builds extension slots (`ext` parameters).
class ExtFactory : public SlotFactory {
public:
    ExtFactory() = default;

    const char* GetName() const override { return "Ext"; }
    // Null unless both channels lie on the bus side (0 to 2047 before the
    // bus offset) and no other slot receives on the receive channel.
    Slot* INewSlot(const LGCP::CreateParams& params) override;
    void Query(LGCP::Resources&) override {}
};

#endif
