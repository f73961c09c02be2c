#ifndef KORVAND_TESTS_SUPPORT_TEST_CLOCK_H
#define KORVAND_TESTS_SUPPORT_TEST_CLOCK_H

#include <cstdint>
#include <functional>

// Replaces the loop's monotonic clock while it lives, so long time-outs
// are tested without waiting.
class TestClock {
  public:
    explicit TestClock(uint64_t startMs = 1000);
    ~TestClock();
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    void advance(uint64_t ms);
    void advanceUs(uint64_t us);
    void setMs(uint64_t ms);
    uint64_t nowMs() const;
};

// Advances the clock by `ms` in steps of `step` ms and runs one loop pass
// after each step (the pass does not wait).
void advanceAndPump(TestClock& clock, uint64_t ms, uint64_t step = 10);

// Runs loop passes that do not wait until `done()` holds. Whenever a pass
// leaves nothing due, the clock jumps to the earliest pending timer, so
// protocol timers of seconds run in microseconds. Gives up (returning
// false) when no timer is pending or the clock would pass `limitMs` from
// now. Only for loops whose work is all timers and deferred calls: a
// descriptor's events do not move the clock.
bool runUntil(TestClock& clock, const std::function<bool()>& done, uint64_t limitMs = 3600000);

#endif
