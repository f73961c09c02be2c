#include "slots/switch_output.h"

#include <iostream>

#include "core/slot.h"
#include "core/slot_table.h"

Slot* ReceivingSlot(int channel) {
    if (channel < 0) return nullptr;
    for (Slot* slot : Slots::instance()->Live())
        if (!slot->IsDestroying() && slot->IGetReceiveChannel() == channel) return slot;
    return nullptr;
}

bool OutputFree(int channel, const char* prefix) {
    Slot* holder = ReceivingSlot(channel);
    if (holder) std::cerr << prefix << "receive channel " << channel << " is held by " << *holder << std::endl;
    return !holder;
}
