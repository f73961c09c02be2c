#ifndef KORVAND_TESTS_SUPPORT_PUMP_H
#define KORVAND_TESTS_SUPPORT_PUMP_H

#include <chrono>

#include "runtime/multiplexer.h"

// Runs loop passes (each waiting at most `waitMs`) until `done()` holds or
// `limitMs` of real time have passed. Returns done().
template <class Pred>
bool pumpUntil(Pred done, int limitMs = 5000, int waitMs = 10) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        multiplexer.runOnce(waitMs);
    }
    return true;
}

// Runs `n` loop passes that do not wait.
inline void pumpPasses(int n) {
    for (int i = 0; i < n; ++i) multiplexer.runOnce(0);
}

// For a test that ends the loop with terminate(): clears the stop flag
// when the test ends, however it ends, so the loop runs in the next test.
class StopFlagReset {
public:
    StopFlagReset() = default;
    ~StopFlagReset() { multiplexer.resume(); }
    StopFlagReset(const StopFlagReset&) = delete;
    StopFlagReset& operator=(const StopFlagReset&) = delete;
};

#endif
