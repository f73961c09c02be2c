#ifndef KORVAND_CORE_SLOT_TABLE_H
#define KORVAND_CORE_SLOT_TABLE_H

#include <vector>

#include "core/ctrl_server.h"
#include "runtime/dpc.h"

class Slot;

// The slot table: the control service that owns every slot. It executes
// the controller's slot commands (create, destroy, connect, disconnect,
// activate, deactivate, userData, ioctl), answers the resource query from
// the factories' shares, hands trunk states to the factories, and destroys
// every slot when the controller is lost. Slots send their signals through
// it.
//
// Every completed destruction answers with a success carrying the slot id
// and the slot's pending destroy sequence number (0 when none).
class Slots : public CtrlSrv::Service {
public:
    static const unsigned kSlots = 1024;
    // The pause after a controller loss that lets the drivers and children
    // of slots still finishing their destruction wind down.
    static const unsigned kReleasePauseMs = 1000;

    static Slots* instance();

    Slots();
    // Deletes the slots still waiting for their deferred deletion; the
    // others were destroyed by the tear-down.
    ~Slots() override;

    void OnConnect() override {}
    // Destroys every slot, pauses, then deletes those still finishing.
    void OnDisconnect() override;
    bool OnCommand(const LGCP::Command& command) override;
    // Hands `trunkStatus` signals to every factory.
    void OnSignal(const LGCP::Signal& signal) override;

    // Sends the resource report as a `query` signal.
    void UpdateHardwareResources();
    // Destroys a slot as a destroy command would, without answering one:
    // true when it is gone, false when it finishes later (on_release). A
    // slot that is being destroyed already is left to finish.
    bool Destroy(Slot* slot);
    // Completes a postponed destruction: the pending request is answered,
    // the slot leaves the table at once and is deleted on a later pass, out
    // of the call chain of the slot that reported it.
    void on_release(Slot* slot);

    static bool CheckSlot(unsigned id) { return id < kSlots; }
    // The slot stored at `id`, or null.
    Slot* Find(unsigned id) const { return CheckSlot(id) ? table[id] : nullptr; }
    // Every stored slot, in creation order.
    const std::vector<Slot*>& Live() const { return live; }

private:
    bool OnBaseCommand(const LGCP::Command& command);
    bool OnSlotCommand(const LGCP::Command& command);

    void CmdQuery();
    void CmdConnect(unsigned target);
    void CmdDisconnect();
    void CmdCreate(const LGCP::CreateParams& params);
    void CmdDestroy();
    void CmdActivate(const TERM::TermActivateParams& params);
    void CmdDeactivate();
    void CmdUserData(const std::vector<char>& bytes);
    void CmdIoctl(const LGCP::IoctlParams& params);
    // Success, or `unsupported` when the slot refused.
    void AnswerSlot(bool done);
    // The slot addressed by the request, or null after answering
    // `slotNotExists`.
    Slot* Addressed();

    // The destruction's success response.
    void AnswerDestroyed(Slot* slot);
    // Unlinks the slot from its source and receivers.
    void Unlink(Slot* slot);
    // Takes the slot out of the links, `live` and the table.
    void Detach(Slot* slot);
    // Detach, then delete.
    void int_destroy(Slot* slot);
    // Deletes the slots that on_release took out.
    void Reap();

    Slot* table[kSlots] = {};
    std::vector<Slot*> live;
    std::vector<Slot*> released;
    Dpc reaper;
};

#endif
