#include "slots/trunk_slot.h"

#include <iostream>

#include "core/slot_table.h"

TrunkFactory trunk0(0, 0), trunk1(1, 32), trunk2(2, 64), trunk3(3, 96);
TrunkBRIFactory trunk_bri0(0, 0), trunk_bri1(1, 4), trunk_bri2(2, 8), trunk_bri3(3, 12),
    trunk_bri4(4, 16), trunk_bri5(5, 20), trunk_bri6(6, 24), trunk_bri7(7, 28);

// ---- slots ------------------------------------------------------------------------

void TrunkSlot::IAfterCreate() {
    OnChangeOutputStream(true);
    OnChangeInputStream(true);
}

bool TrunkSlot::IBeforeDestroy() {
    if (auto* f = dynamic_cast<TrunkFactory*>(GetSlotFactory())) f->ReleaseTrunkSlot(this);
    return true;
}

// ---- factories --------------------------------------------------------------------

namespace {

TrunkSlot* MakeTrunkSlot(int channel) {
    return new TrunkSlot(channel);
}

TrunkSlot* MakeTrunkBRISlot(int channel) {
    return new TrunkBRISlot(channel);
}

}  // namespace

Slot* TrunkFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.is_trunk()) return nullptr;
    return Claim(params.get_trunk(), kTimeSlots, MakeTrunkSlot);
}

Slot* TrunkBRIFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.is_trunk_bri()) return nullptr;
    return Claim(params.get_trunk_bri(), kChannels, MakeTrunkBRISlot);
}

Slot* TrunkFactory::Claim(const LGCP::TrunkParams& params, unsigned timeslots,
                          TrunkSlot* (*make)(int channel)) {
    unsigned timeslot = params.get_timeslot().getValue();
    if (params.get_trunk().getValue() != trunk || timeslot >= timeslots) return nullptr;
    int channel = int(firstChannel + timeslot);
    // E1 trunk 0 and the BRI lines share the switch channels 0 to 31: the
    // slot that holds the channel goes, whichever family made it.
    for (SlotFactory* f = firstFactory; f; f = f->GetNext()) {
        auto* trunks = dynamic_cast<TrunkFactory*>(f);
        TrunkSlot* old = trunks ? trunks->HolderOfChannel(channel) : nullptr;
        if (!old) continue;
        std::cerr << "trunk-slot: two slots require the same timeslot, remove old." << std::endl;
        std::cerr << " old slot " << *old << std::endl;
        Slots::instance()->Destroy(old);
    }
    TrunkSlot* slot = make(channel);
    table[timeslot] = slot;
    return slot;
}

TrunkSlot* TrunkFactory::HolderOfChannel(int channel) const {
    unsigned timeslot = unsigned(channel) - firstChannel;
    return Holder(timeslot);
}

void TrunkFactory::ReleaseTrunkSlot(TrunkSlot* slot) {
    unsigned timeslot = unsigned(slot->GetTimeSlot());
    if (timeslot < kTimeSlots && table[timeslot] == slot) table[timeslot] = nullptr;
}
