#include "core/slot_factory.h"

#include <algorithm>

#include "core/slot.h"

// Constant-initialised, so it is null before any static factory is built.
SlotFactory* firstFactory = nullptr;

SlotFactory::SlotFactory() : next(firstFactory) {
    firstFactory = this;
}

// Leaving the registry, and the slots that outlive it, keeps both free of a
// dangling factory should one be destroyed before the process ends.
SlotFactory::~SlotFactory() {
    for (Slot* slot : slots) slot->factory = nullptr;
    for (SlotFactory** link = &firstFactory; *link; link = &(*link)->next) {
        if (*link == this) {
            *link = next;
            break;
        }
    }
}

Slot* SlotFactory::NewSlot(const LGCP::CreateParams& params) {
    Slot* slot = INewSlot(params);
    if (!slot) return nullptr;
    slot->factory = this;
    slots.push_back(slot);
    return slot;
}

void SlotFactory::Remove(Slot* slot) {
    auto at = std::find(slots.begin(), slots.end(), slot);
    if (at != slots.end()) slots.erase(at);
}
