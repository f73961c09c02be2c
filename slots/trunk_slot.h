#ifndef KORVAND_SLOTS_TRUNK_SLOT_H
#define KORVAND_SLOTS_TRUNK_SLOT_H

#include "core/slot.h"
#include "core/slot_factory.h"

// One time slot of an E1 trunk. It opens nothing and moves no data: it
// names the switch channel (32 x trunk + time slot) that other slots are
// connected to, and announces its transmit and receive streams as soon as
// it is created.
class TrunkSlot : public Slot {
public:
    explicit TrunkSlot(int channel) : channel(channel) {}

    int GetTrunk() const override { return channel >> 5; }
    int GetTrunkTimeSlot() const override { return GetTimeSlot(); }
    int IGetTransmitChannel() const override { return channel; }
    int IGetReceiveChannel() const override { return channel; }
    bool IOnOutputStream() override { return true; }
    bool IOnInputStream() override { return true; }
    void IAfterCreate() override;
    // Frees its time slot in the factory; the destruction completes at once.
    bool IBeforeDestroy() override;
    const char* GetName() const override { return "trunk"; }

    virtual int GetTimeSlot() const { return channel & 31; }

protected:
    int channel;
};

// One channel of a BRI line: channel = 4 x line + channel of the line.
class TrunkBRISlot : public virtual TrunkSlot {
public:
    explicit TrunkBRISlot(int channel) : TrunkSlot(channel) {}

    int GetTrunk() const override { return channel >> 2; }
    int GetTimeSlot() const override { return channel & 3; }
    const char* GetName() const override { return "trunkBRI"; }
};

// Builds the slots of one E1 trunk (`trunk` parameters) and remembers which
// slot holds each time slot. A switch channel has one trunk slot at most: a
// second slot on a held channel replaces the first, which is destroyed,
// also when the two are of different families (E1 trunk 0 and the BRI
// lines name the same channels 0 to 31).
class TrunkFactory : public SlotFactory {
public:
    static const unsigned kTimeSlots = 32;

    TrunkFactory(unsigned trunk, unsigned firstChannel) : trunk(trunk), firstChannel(firstChannel) {}

    const char* GetName() const override { return "Trunks"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override;
    // Trunk slots use no countable resource.
    void Query(LGCP::Resources&) override {}

    // Empties the table entry that the slot holds.
    virtual void ReleaseTrunkSlot(TrunkSlot* slot);

    // The slot holding `timeslot`, or null.
    TrunkSlot* Holder(unsigned timeslot) const { return timeslot < kTimeSlots ? table[timeslot] : nullptr; }
    // The slot of this factory on switch channel `channel`, or null.
    TrunkSlot* HolderOfChannel(int channel) const;

protected:
    // The slot for `timeslot` of this factory's trunk, made by `make` with
    // its channel, after destroying any trunk slot that holds the channel;
    // null for another trunk or a time slot not below `timeslots`.
    Slot* Claim(const LGCP::TrunkParams& params, unsigned timeslots, TrunkSlot* (*make)(int channel));

    unsigned trunk;
    unsigned firstChannel;
    TrunkSlot* table[kTimeSlots] = {};
};

// Builds the slots of one BRI line (`trunk_bri` parameters); only time
// slots 0 to 3 exist.
class TrunkBRIFactory : public virtual TrunkFactory {
public:
    static const unsigned kChannels = 4;

    TrunkBRIFactory(unsigned line, unsigned firstChannel) : TrunkFactory(line, firstChannel) {}

    const char* GetName() const override { return "TrunksBRI"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override;
};

// The four E1 trunks and the eight BRI lines, built before main in this
// order; the registry asks them last, trunk_bri7 first and trunk0 last.
extern TrunkFactory trunk0, trunk1, trunk2, trunk3;
extern TrunkBRIFactory trunk_bri0, trunk_bri1, trunk_bri2, trunk_bri3, trunk_bri4, trunk_bri5,
    trunk_bri6, trunk_bri7;

#endif
