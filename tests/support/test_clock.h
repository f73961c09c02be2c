#ifndef KORVAND_TESTS_SUPPORT_TEST_CLOCK_H
#define KORVAND_TESTS_SUPPORT_TEST_CLOCK_H

#include <cstdint>

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


#endif
