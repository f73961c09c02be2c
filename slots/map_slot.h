#ifndef KORVAND_SLOTS_MAP_SLOT_H
#define KORVAND_SLOTS_MAP_SLOT_H

#include "core/slot.h"
#include "core/slot_factory.h"

// The switch channel of a channel on one of the board's shared TDM buses:
// 8192 + bus * 128 + channel.
int GetMapTimeSlot(const LGCP::SharedChannel& shared);

// A channel on a shared TDM bus, for transmitting, receiving or both. It
// opens nothing: it names the bus channels that other slots are connected
// to, and announces its streams as soon as it exists.
class MapSlot : public Slot {
public:
    MapSlot(int transmitChannel, int receiveChannel) : transmitChannel(transmitChannel), receiveChannel(receiveChannel) {}

    int IGetTransmitChannel() const override { return transmitChannel; }
    int IGetReceiveChannel() const override { return receiveChannel; }
    bool IOnOutputStream() override { return transmitChannel >= 0; }
    bool IOnInputStream() override { return receiveChannel >= 0; }
    void IAfterCreate() override;
    // Gives its bus channels back to the factory; completes at once.
    bool IBeforeDestroy() override;
    const char* GetName() const override { return "map"; }

private:
    int transmitChannel;  // -1: none
    int receiveChannel;   // -1: none
};

// Builds map slots (`map` parameters) and remembers which slot holds each
// of the 2048 bus channels, as transmit or receive channel. A new slot that
// claims a held channel takes it over: the older slot is destroyed. A
// receive channel that a slot of another kind receives on is refused.
class MapFactory : public SlotFactory {
public:
    static const unsigned kChannels = 2048;

    MapFactory() = default;

    const char* GetName() const override { return "Map"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override;
    void Query(LGCP::Resources&) override {}

    // Records the slot's channels, destroying the other slots that held them.
    void AllocateMapSlot(MapSlot* slot);
    // Frees the slot's channels (the receive channel is disabled in the
    // switch); entries held by another slot are reported and left alone.
    void ReleaseMapSlot(MapSlot* slot);

    // The slot holding bus channel `index` (0 to 2047), or null.
    MapSlot* Holder(unsigned index) const { return index < kChannels ? table[index] : nullptr; }

private:
    void Claim(unsigned index, MapSlot* slot);

    MapSlot* table[kChannels] = {};
};

#endif
