#include "tests/support/test_clock.h"

#include "runtime/multiplexer.h"
#include "runtime/mux_clock.h"

namespace {
uint64_t nowUs = 0;
uint64_t source() { return nowUs; }
}  // namespace

TestClock::TestClock(uint64_t startMs) {
    nowUs = startMs * 1000;
    Mux::setClockSource(&source);
}

TestClock::~TestClock() { Mux::setClockSource(nullptr); }

void TestClock::advance(uint64_t ms) { nowUs += ms * 1000; }
void TestClock::advanceUs(uint64_t us) { nowUs += us; }
void TestClock::setMs(uint64_t ms) { nowUs = ms * 1000; }
uint64_t TestClock::nowMs() const { return nowUs / 1000; }

void advanceAndPump(TestClock& clock, uint64_t ms, uint64_t step) {
    while (ms > 0) {
        uint64_t s = ms < step ? ms : step;
        clock.advance(s);
        ms -= s;
        multiplexer.runOnce(0);
    }
}
