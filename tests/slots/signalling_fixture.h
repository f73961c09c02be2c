#ifndef KORVAND_TESTS_SLOTS_SIGNALLING_FIXTURE_H
#define KORVAND_TESTS_SLOTS_SIGNALLING_FIXTURE_H

#include <algorithm>
#include <string>
#include <vector>

#include "board/sim_mcc.h"
#include "board/sim_words.h"
#include "slots/trunk_slot.h"
#include "tests/core/slot_fixture.h"

// The slot server with the simulated MCC controller, for the signalling
// slots: what the controller receives is searched for signals.
class SignallingSlots : public SlotServer {
protected:
    static constexpr int kFirst = 256;  // the simulated controller's first channel

    // A signal of `slot` as the controller receives it.
    static std::string signal(int slot, const std::string& text) {
        return slotMessage(-1, slot, "signal : " + text);
    }
    static bool has(const Texts& got, const std::string& message) {
        return std::find(got.begin(), got.end(), message) != got.end();
    }
    static size_t count(const Texts& got, const std::string& part) {
        return size_t(std::count_if(got.begin(), got.end(),
                                    [&](const std::string& m) { return m.find(part) != std::string::npos; }));
    }
    static std::string hex(const std::string& bytes) {
        return "'" + SimWords::hex(std::vector<uint8_t>(bytes.begin(), bytes.end())) + "'H";
    }
    Texts userData(int slot, const std::string& bytes) { return command(slot, "userData : " + hex(bytes)); }
    // Advances the clock until `message` has come (at most `ms`); all that came.
    Texts until(const std::string& message, unsigned ms = 20000) {
        Texts got;
        for (unsigned t = 0; t < ms && !has(got, message); t += 100) {
            Texts more = advance(100);
            got.insert(got.end(), more.begin(), more.end());
        }
        EXPECT_TRUE(has(got, message)) << message;
        return got;
    }

    SimMcc& mcc = sim.model<SimMcc>(SimMcc::kPath);
};

#endif
