#include "slots/ext_slot.h"

#include "board/hal_driver.h"
#include "hardware/hw_mux.h"
#include "slots/switch_output.h"

void ExtSlot::IAfterCreate() {
    OnChangeOutputStream(true);
}

// The idle byte only when the receive side comes on: once on, a source may
// be linked to it, and a repeated activation must not write over the link.
bool ExtSlot::IActivate(const TERM::TermActivateParams&) {
    bool wasOn = IsInputActive();
    OnChangeInputStream(true);
    if (!wasOn) HwMux::instance().Disconnect(receiveChannel);
    return true;
}

bool ExtSlot::IDeactivate() {
    OnChangeInputStream(false);
    HwMux::instance().Disable(receiveChannel);
    return true;
}

bool ExtSlot::IBeforeDestroy() {
    HwMux::instance().Disable(receiveChannel);
    return true;
}

namespace {

// The bus-side switch channel of an extension value, or -1 when the value
// names none.
int BusSide(int value) {
    return value >= 0 && value < Hal::kBuses * Hal::kBusTimeslots ? Hal::kBusFirst + value : -1;
}

}  // namespace

Slot* ExtFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.is_ext()) return nullptr;
    int tx = BusSide(params.get_ext().get_transmitter().getValue());
    int rx = BusSide(params.get_ext().get_receiver().getValue());
    if (tx < 0 || rx < 0 || !OutputFree(rx, "ext-slot: ")) return nullptr;
    ExtSlot* slot = new ExtSlot;
    slot->transmitChannel = tx;
    slot->receiveChannel = rx;
    return slot;
}
