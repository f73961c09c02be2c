#include "slots/ext_slot.h"

#include "board/hal_driver.h"
#include "hardware/hw_mux.h"

void ExtSlot::IAfterCreate() {
    OnChangeOutputStream(true);
}

bool ExtSlot::IActivate(const TERM::TermActivateParams&) {
    OnChangeInputStream(true);
    HwMux::instance().Disconnect(receiveChannel);
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
    if (tx < 0 || rx < 0) return nullptr;
    ExtSlot* slot = new ExtSlot;
    slot->transmitChannel = tx;
    slot->receiveChannel = rx;
    return slot;
}
