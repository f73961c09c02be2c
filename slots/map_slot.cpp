#include "slots/map_slot.h"

#include <iostream>

#include "board/hal_driver.h"
#include "core/slot_table.h"
#include "hardware/hw_mux.h"
#include "slots/switch_output.h"

int GetMapTimeSlot(const LGCP::SharedChannel& shared) {
    return Hal::kBusFirst + int(shared.get_bus().getValue()) * Hal::kBusTimeslots +
           int(shared.get_channel().getValue());
}

namespace {

// The factory's index of a bus channel, or -1 for none.
int IndexOf(int channel) {
    return channel < 0 ? -1 : channel - Hal::kBusFirst;
}

// Absent, or one of the buses' channels (values outside their ranges never
// come off the wire, but nothing else stops them).
bool Usable(int channel) {
    return channel == -1 || unsigned(IndexOf(channel)) < MapFactory::kChannels;
}

}  // namespace

// ---- slot -------------------------------------------------------------------------

void MapSlot::IAfterCreate() {
    if (receiveChannel >= 0) OnChangeInputStream(true);
    if (transmitChannel >= 0) OnChangeOutputStream(true);
}

bool MapSlot::IBeforeDestroy() {
    if (auto* f = dynamic_cast<MapFactory*>(GetSlotFactory())) f->ReleaseMapSlot(this);
    return true;
}

// ---- factory ----------------------------------------------------------------------

Slot* MapFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.is_map()) return nullptr;
    const LGCP::MapParams& map = params.get_map();
    int tx = map.has_transmitter() ? GetMapTimeSlot(map.get_transmitter()) : -1;
    int rx = map.has_receiver() ? GetMapTimeSlot(map.get_receiver()) : -1;
    if (!Usable(tx) || !Usable(rx)) return nullptr;
    // Another map slot on the channel is taken over; a slot of another kind
    // keeps it.
    Slot* holder = ReceivingSlot(rx);
    if (holder && !dynamic_cast<MapSlot*>(holder) && !OutputFree(rx, "map-slot: ")) return nullptr;
    MapSlot* slot = new MapSlot(tx, rx);
    AllocateMapSlot(slot);
    return slot;
}

void MapFactory::AllocateMapSlot(MapSlot* slot) {
    int rx = IndexOf(slot->IGetReceiveChannel());
    int tx = IndexOf(slot->IGetTransmitChannel());
    if (rx >= 0) Claim(unsigned(rx), slot);
    if (tx >= 0) Claim(unsigned(tx), slot);
}

// A slot that transmits and receives on one channel holds its entry once:
// it is no old occupant of its own channel.
void MapFactory::Claim(unsigned index, MapSlot* slot) {
    MapSlot* old = table[index];
    if (old && old != slot) {
        std::cerr << "map-slot: two slots require the same ipc-slot, remove old." << std::endl;
        std::cerr << "new slot " << *slot << " <-> old slot " << *old << std::endl;
        Slots::instance()->Destroy(old);
    }
    table[index] = slot;
}

void MapFactory::ReleaseMapSlot(MapSlot* slot) {
    int rx = IndexOf(slot->IGetReceiveChannel());
    int tx = IndexOf(slot->IGetTransmitChannel());
    if (rx >= 0) {
        std::clog << "map: disable map channel " << rx << std::endl;
        HwMux::instance().Disable(slot->IGetReceiveChannel());
        if (table[rx] == slot)
            table[rx] = nullptr;
        else
            std::cerr << "map-slot: internal error! MapFactory::ReleaseMapSlot() code 1" << std::endl;
    }
    if (tx >= 0 && tx != rx) {
        if (table[tx] == slot)
            table[tx] = nullptr;
        else
            std::cerr << "map-slot: internal error! MapFactory::ReleaseMapSlot() code 2" << std::endl;
    }
}
