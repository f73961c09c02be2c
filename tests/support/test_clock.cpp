#include "tests/support/test_clock.h"

#include "runtime/multiplexer.h"
#include "runtime/mux_clock.h"

namespace {
uint64_t nowUs = 0;
uint64_t source() {
    return nowUs;
}
}  // namespace

TestClock::TestClock(uint64_t startMs) {
    nowUs = startMs * 1000;
    Mux::setClockSource(&source);
}

TestClock::~TestClock() {
    Mux::setClockSource(nullptr);
}

void TestClock::advance(uint64_t ms) {
    nowUs += ms * 1000;
}
void TestClock::advanceUs(uint64_t us) {
    nowUs += us;
}
void TestClock::setMs(uint64_t ms) {
    nowUs = ms * 1000;
}
uint64_t TestClock::nowMs() const {
    return nowUs / 1000;
}

void advanceAndPump(TestClock& clock, uint64_t ms, uint64_t step) {
    while (ms > 0) {
        uint64_t s = ms < step ? ms : step;
        clock.advance(s);
        ms -= s;
        multiplexer.runOnce(0);
    }
}

bool runUntil(TestClock& clock, const std::function<bool()>& done, uint64_t limitMs) {
    const uint64_t end = clock.nowMs() + limitMs;
    while (!done()) {
        multiplexer.runOnce(0);
        if (done()) return true;
        uint32_t expiry;
        if (!multiplexer.nextExpiry(expiry)) return false;
        int32_t wait = static_cast<int32_t>(expiry - Mux::milliseconds());
        if (wait <= 0) continue;
        if (clock.nowMs() + uint64_t(wait) > end) return false;
        clock.advance(uint64_t(wait));
    }
    return true;
}
