#include "slots/echo_slot.h"

#include <iostream>

#include "board/hal_driver.h"
#include "hardware/hw_mux.h"
#include "slots/switch_output.h"

static_assert(EchoFactory::kBuses == Hal::kEchoBuses, "echo buses");

namespace {

// What a switch channel that nothing drives reads as; also what a failed
// read returns.
const unsigned kIdleBusLevel = 0xFF;

}  // namespace

void EchoSlot::IAfterCreate() {
    OnChangeOutputStream(true);
    OnChangeInputStream(true);
}

EchoFactory::EchoFactory() {
    Scan();
}

void EchoFactory::Scan() {
    for (unsigned char& p : present) p = 0;
    std::clog << "Scanning echo channels ..." << std::endl;
    for (int bus = 0; bus < kBuses; ++bus)
        present[bus] = HwMux::instance().Read(bus * Hal::kEchoTimeslots) != kIdleBusLevel;
}

// Only channels 0 to 31 of a present bus: another value would name a
// channel of the next bus or beyond.
Slot* EchoFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.is_echo()) return nullptr;
    int bus = params.get_echo().get_bus().getValue();
    int channel = params.get_echo().get_channel().getValue();
    if (!IsPresent(bus) || channel < 0 || channel >= Hal::kEchoTimeslots) return nullptr;
    int tdm = bus * Hal::kEchoTimeslots + channel;
    return OutputFree(tdm, "echo-slot: ") ? new EchoSlot(tdm) : nullptr;
}

void EchoFactory::Query(LGCP::Resources& resources) {
    for (int bus = 0; bus < kBuses; ++bus)
        if (present[bus]) resources.set_echoBus().push_back(ASN1::INTEGER(bus));
}
