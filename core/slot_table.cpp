#include "core/slot_table.h"

#include <errno.h>
#include <time.h>

#include <algorithm>
#include <iostream>

#include "core/slot.h"
#include "core/slot_connection.h"
#include "core/slot_factory.h"
#include "runtime/singleton.h"

namespace {

// Sleeps the whole pause even when a signal interrupts it.
void Pause(unsigned ms) {
    timespec left{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace

Slots* Slots::instance() {
    return &Singleton<Slots>::get();
}

Slots::Slots() {
    reaper.Bind(this, &Slots::Reap);
}

Slots::~Slots() {
    for (Slot* slot : released) delete slot;
}

// ---- commands ---------------------------------------------------------------------

bool Slots::OnCommand(const LGCP::Command& command) {
    return IsSlotPresent() ? OnSlotCommand(command) : OnBaseCommand(command);
}

bool Slots::OnBaseCommand(const LGCP::Command& command) {
    if (command.currentSelection() != LGCP::Command::e_query) return false;
    CmdQuery();
    return true;
}

bool Slots::OnSlotCommand(const LGCP::Command& command) {
    switch (command.currentSelection()) {
        case LGCP::Command::e_connect:
            CmdConnect(command.get_connect().getValue());
            return true;
        case LGCP::Command::e_disconnect:
            CmdDisconnect();
            return true;
        case LGCP::Command::e_create:
            CmdCreate(command.get_create());
            return true;
        case LGCP::Command::e_destroy:
            CmdDestroy();
            return true;
        case LGCP::Command::e_activate:
            CmdActivate(command.get_activate());
            return true;
        case LGCP::Command::e_deactivate:
            CmdDeactivate();
            return true;
        case LGCP::Command::e_userData:
            CmdUserData(command.get_userData());
            return true;
        case LGCP::Command::e_ioctl:
            CmdIoctl(command.get_ioctl());
            return true;
    }
    return false;
}

Slot* Slots::Addressed() {
    Slot* slot = table[GetSlot()];
    if (!slot) Error(LGCP::ErrorCause::slotNotExists);
    return slot;
}

// The commands that the addressed slot answers itself reach a slot that
// is being destroyed too.
void Slots::AnswerSlot(bool done) {
    if (done)
        Success();
    else
        Error(LGCP::ErrorCause::unsupported);
}

void Slots::CmdActivate(const TERM::TermActivateParams& params) {
    if (Slot* slot = Addressed()) AnswerSlot(slot->IActivate(params));
}

void Slots::CmdDeactivate() {
    if (Slot* slot = Addressed()) AnswerSlot(slot->IDeactivate());
}

void Slots::CmdUserData(const std::vector<char>& bytes) {
    if (Slot* slot = Addressed()) AnswerSlot(slot->IUserData(bytes));
}

void Slots::CmdIoctl(const LGCP::IoctlParams& params) {
    if (Slot* slot = Addressed()) AnswerSlot(slot->Ioctl(params));
}

void Slots::CmdQuery() {
    Success();
    UpdateHardwareResources();
}

void Slots::UpdateHardwareResources() {
    LGCP::Signal signal;
    LGCP::Resources& r = signal.set_query();
    r.set_rtp_g729(0);
    r.set_rtp_g723(0);
    r.set_rtp_g711(0);
    r.set_rtp_g711mcc(0);
    r.set_modem(0);
    r.set_mux(true);
    r.set_mcc_data(0);
    r.set_mcc_bri(0);
    r.set_mcc_trans(0);
    r.set_t38_instances(0);
    r.set_digital_modems(0);
    r.set_lin16(0);
    for (SlotFactory* f = firstFactory; f; f = f->GetNext()) f->Query(r);
    SendSignal(signal);
}

void Slots::CmdCreate(const LGCP::CreateParams& params) {
    unsigned id = unsigned(GetSlot());
    if (Slot* old = table[id]) {
        if (old->destroying) {
            Error(LGCP::ErrorCause::destroyInProgress);
            return;
        }
        Destroy(old);
        if (table[id]) {
            Error(LGCP::ErrorCause::slotIdBusy);
            return;
        }
    }
    Slot* slot = nullptr;
    for (SlotFactory* f = firstFactory; f && !slot; f = f->GetNext()) slot = f->NewSlot(params);
    if (!slot) {
        Error(LGCP::ErrorCause::insufficientResources);
        return;
    }
    slot->id = int(id);
    live.push_back(slot);
    table[id] = slot;
    Success();
    slot->IAfterCreate();
}

void Slots::CmdDestroy() {
    Slot* slot = Addressed();
    if (!slot) return;
    if (slot->destroying) {
        Error(LGCP::ErrorCause::destroyInProgress);
    } else if (Destroy(slot)) {
        Success();
    } else {
        // A request without a sequence number is answered later with 0.
        slot->delayedSeq = delayResponse();
    }
}

// A slot on its way out takes no new link: the link would outlive it.
void Slots::CmdConnect(unsigned target) {
    if (!CheckSlot(target)) {
        Error(LGCP::ErrorCause::invalidSlot);
        return;
    }
    Slot* src = table[GetSlot()];
    Slot* dst = table[target];
    if (!src || !dst)
        Error(LGCP::ErrorCause::slotNotExists);
    else if (src->destroying || dst->destroying)
        Error(LGCP::ErrorCause::destroyInProgress);
    else if (Connect(*src, *dst))
        Success();
    else
        Error(LGCP::ErrorCause::connectFail);
}

void Slots::CmdDisconnect() {
    Slot* slot = Addressed();
    if (!slot) return;
    if (Disconnect(*slot))
        Success();
    else
        Error(LGCP::ErrorCause::disconnectFail);
}

// ---- signals ----------------------------------------------------------------------

void Slots::OnSignal(const LGCP::Signal& signal) {
    if (signal.currentSelection() != LGCP::Signal::e_trunkStatus) return;
    for (SlotFactory* f = firstFactory; f; f = f->GetNext()) f->SelfSignal(signal);
}

// ---- destruction ------------------------------------------------------------------

bool Slots::Destroy(Slot* slot) {
    // A slot on its way out finishes through on_release: its release must
    // not be started a second time.
    if (slot->destroying) return slot->released;
    Unlink(slot);
    slot->destroying = true;
    bool now = slot->BeforeDestroy();
    // A slot that reported its release from inside IBeforeDestroy is gone
    // from the table already.
    if (slot->released) return true;
    if (!now) return false;
    AnswerDestroyed(slot);
    int_destroy(slot);
    return true;
}

void Slots::on_release(Slot* slot) {
    if (slot->released) return;
    slot->released = true;
    AnswerDestroyed(slot);
    Detach(slot);
    released.push_back(slot);
    reaper.Activate();
}

void Slots::AnswerDestroyed(Slot* slot) {
    if (slot->id >= 0) delayedSuccess(unsigned(slot->id), slot->delayedSeq);
}

void Slots::Unlink(Slot* slot) {
    Disconnect(*slot);
    DisconnectReceivers(*slot, "mux internal error: expected slots not exists.");
    if (!slot->receivers.empty()) std::cerr << "mux internal error: unexpected slots exists." << std::endl;
}

void Slots::Detach(Slot* slot) {
    // Links made while the slot was finishing must not outlive it.
    if (slot->source || !slot->receivers.empty()) Unlink(slot);
    // Whatever the hooks did, no receiver may keep pointing at the slot.
    for (Slot* receiver : std::vector<Slot*>(slot->receivers)) receiver->LogicalDisconnect();
    slot->LogicalDisconnect();
    auto at = std::find(live.begin(), live.end(), slot);
    if (at != live.end()) live.erase(at);
    if (CheckSlot(unsigned(slot->id)) && table[slot->id] == slot) table[slot->id] = nullptr;
}

void Slots::int_destroy(Slot* slot) {
    Detach(slot);
    delete slot;
}

void Slots::Reap() {
    reaper.Deactivate();
    std::vector<Slot*> dead;
    dead.swap(released);
    for (Slot* slot : dead) delete slot;
}

void Slots::OnDisconnect() {
    std::vector<Slot*> pending;
    while (!live.empty()) {
        Slot* slot = live.front();
        if (slot->destroying || !Destroy(slot)) {
            live.erase(live.begin());
            pending.push_back(slot);
        }
    }
    Pause(kReleasePauseMs);
    for (Slot* slot : pending) {
        // Destroying a later slot may have completed this one's release:
        // it waits in `released` and goes with the others below.
        if (slot->released) continue;
        if (slot->factory) slot->factory->Remove(slot);
        int_destroy(slot);
    }
    // Called from the connection's deferred call or at tear-down, never
    // from inside a slot, so the released slots can go now.
    Reap();
}
