#include "hardware/hw_tests.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "board/hal_driver.h"
#include "hardware/hw_mux.h"
#include "runtime/hex_out.h"
#include "runtime/singleton.h"

namespace {

// Pauses that let the switch settle after a run was written or disabled.
const unsigned kWriteSettleUs = 500;
const unsigned kDisableSettleUs = 250;

// The lines of a mismatch: "<what> channel <slot><expected><byte> <got><byte>".
struct MismatchText {
    const char* what;
    const char* expected;
    const char* got;
};
const MismatchText kMismatch[] = {
    {"test failed on channel ", " expected ", " read "},
    {"write failed on channel ", " write ", " written "},
};

uint8_t nextByte() {
    return static_cast<uint8_t>(::random() & 0xFF);
}

}  // namespace

HwTests* HwTests::instance() {
    return &Singleton<HwTests>::get([] { return new HwTests(HwMux::instance()); });
}

HwTests::HwTests(HwMux& mux) : mux(mux) {}

bool HwTests::OnCommand(const LGCP::Command& command) {
    if (command.currentSelection() != LGCP::Command::e_testBpc) return false;
    LGCP::ErrorCause::NamedNumber cause;
    if (Run(command.get_testBpc(), cause))
        Success();
    else
        Error(cause);
    return true;
}

bool HwTests::Run(const LGCP::BpcTestParams& p, LGCP::ErrorCause::NamedNumber& cause) {
    cause = LGCP::ErrorCause::invalidParams;
    unsigned start = p.get_timeslot_start().getValue();
    unsigned length = p.get_timeslot_length().getValue();
    bus = p.get_bus().getValue();
    // A run past the bus's last time slot would test the next bus.
    if (bus >= unsigned(Hal::kBuses) || start + length > unsigned(Hal::kBusTimeslots)) {
        std::cerr << "bus " << bus << ": " << length << " time slots from " << start
                  << " run past the bus" << std::endl;
        return false;
    }
    first = unsigned(Hal::kBusFirst) + bus * unsigned(Hal::kBusTimeslots) + start;
    end = first + length;
    seed = static_cast<uint32_t>(p.get_seed().getValue());
    ::srandom(seed);
    switch (p.get_mode().currentSelection()) {
        case LGCP::BpcTestMode::e_read:
            cause = LGCP::ErrorCause::busError;
            return Compare(kRead);
        case LGCP::BpcTestMode::e_write:
            for (uint32_t c = first; c < end; ++c) mux.Write(int(c), nextByte());
            ::usleep(kWriteSettleUs);
            ::srandom(seed);
            cause = LGCP::ErrorCause::busError;
            return Compare(kWrite);
        case LGCP::BpcTestMode::e_disconnect:
            cause = LGCP::ErrorCause::busError;
            return DisableRun();
        default:
            return false;
    }
}

// Every channel of the run is disabled, also after one that the switch
// refused; the first refusal fails the test.
bool HwTests::DisableRun() {
    uint32_t refused = end;
    for (uint32_t c = first; c < end; ++c)
        if (!mux.Disable(int(c)) && refused == end) refused = c;
    ::usleep(kDisableSettleUs);
    if (refused == end) return true;
    std::cerr << "bus " << bus << ": disable failed on channel " << refused % unsigned(Hal::kBusTimeslots)
              << std::endl;
    return false;
}

bool HwTests::Compare(Check check) {
    for (uint32_t c = first; c < end; ++c) {
        uint8_t expected = nextByte();
        uint8_t got = static_cast<uint8_t>(mux.Read(int(c)));
        if (got == expected) continue;
        const MismatchText& t = kMismatch[check];
        std::cerr << "bus " << bus << ": " << t.what << c % unsigned(Hal::kBusTimeslots)
                  << t.expected << ext::OutBufInHex(&expected, 1) << t.got
                  << ext::OutBufInHex(&got, 1) << std::endl;
        return false;
    }
    return true;
}
