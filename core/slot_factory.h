#ifndef KORVAND_CORE_SLOT_FACTORY_H
#define KORVAND_CORE_SLOT_FACTORY_H

#include <vector>

#include "asn1/gen/lgcp.h"

class Slot;

// Base of every slot kind's factory. Each factory links itself at the head
// of the registry when it is constructed, so the slot table asks the most
// recently constructed factory first. A factory remembers the live slots
// it built; the slot table owns them.
class SlotFactory {
public:
    SlotFactory();
    // Clears the slot list and leaves the registry.
    virtual ~SlotFactory();
    SlotFactory(const SlotFactory&) = delete;
    SlotFactory& operator=(const SlotFactory&) = delete;

    // The factory's kind name.
    virtual const char* GetName() const = 0;
    // A new slot on the heap, or null when the parameters are not of this
    // factory's kind or the slot cannot be built (the next factory is asked).
    virtual Slot* INewSlot(const LGCP::CreateParams& params) = 0;
    // Adds this factory's share to the resource report.
    virtual void Query(LGCP::Resources& resources) = 0;
    // The `trunkStatus` signals that the other services publish.
    virtual void SelfSignal(const LGCP::Signal&) {}

    // INewSlot; a slot it returns records this factory and joins its list.
    Slot* NewSlot(const LGCP::CreateParams& params);
    // Takes the slot out of the list (when it is destroyed).
    void Remove(Slot* slot);

    // The live slots this factory built, in creation order.
    const std::vector<Slot*>& GetSlots() const { return slots; }
    // The next factory asked after this one.
    SlotFactory* GetNext() const { return next; }

private:
    std::vector<Slot*> slots;
    SlotFactory* next;
};

// The registry's head: the factory asked first; null before any exists.
extern SlotFactory* firstFactory;

#endif
