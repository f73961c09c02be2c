#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/dpc.h"
#include "runtime/multiplexer.h"
#include "runtime/mux_clock.h"
#include "runtime/timer.h"
#include "tests/support/capture.h"
#include "tests/support/test_clock.h"

namespace {

std::vector<std::string> fired;

struct Owner {
    explicit Owner(std::string n) : name(std::move(n)) {}
    void OnTimer() { fired.push_back(name); }
    void OnTimerRearm(Timer* t) {
        fired.push_back(name);
        if (++rearms < 3) t->set(10, &Owner::OnTimerRearm, this);
    }
    std::string name;
    Timer timer;
    int rearms = 0;
};

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override { fired.clear(); }
    TestClock clock{5000};
};

TEST_F(TimerTest, EqualExpiriesFireInArmingOrderAndShorterOnesFirst) {
    Owner a("a"), b("b"), c("c"), d("d");
    a.timer.set(100, &Owner::OnTimer, &a);
    b.timer.set(100, &Owner::OnTimer, &b);
    c.timer.set(100, &Owner::OnTimer, &c);
    clock.advance(1);
    d.timer.set(50, &Owner::OnTimer, &d);
    clock.advance(50);
    multiplexer.timers_schedule();
    EXPECT_EQ((std::vector<std::string>{"d"}), fired);
    clock.advance(49);
    multiplexer.timers_schedule();
    EXPECT_EQ((std::vector<std::string>{"d", "a", "b", "c"}), fired);
    EXPECT_FALSE(a.timer.armed());
}

TEST_F(TimerTest, RearmingReplacesAndDestroyingCancels) {
    Owner a("a");
    a.timer.set(10, &Owner::OnTimer, &a);
    a.timer.set(30, &Owner::OnTimer, &a);
    EXPECT_EQ(1u, multiplexer.timerCount());
    {
        Owner gone("gone");
        gone.timer.set(5, &Owner::OnTimer, &gone);
    }
    clock.advance(20);
    multiplexer.timers_schedule();
    EXPECT_TRUE(fired.empty());
    clock.advance(10);
    multiplexer.timers_schedule();
    EXPECT_EQ((std::vector<std::string>{"a"}), fired);
}

TEST_F(TimerTest, HandBuiltEventsAndFixedPeriodTimers) {
    Owner a("a");
    a.rearms = 2;  // no re-arming: the event is only handed its holder
    a.timer.adopt(new ObjTimerEvent2<Owner>(&a.timer, &Owner::OnTimerRearm, &a, 20));
    static const TimerSpec<Owner>::Record record = {&Owner::OnTimer, 30};
    Owner b("b");
    TimerSpec<Owner> periodic(record);
    periodic.set(&b);
    clock.advance(20);
    multiplexer.timers_schedule();
    EXPECT_EQ((std::vector<std::string>{"a"}), fired);
    EXPECT_FALSE(a.timer.armed());
    periodic.set(&b);  // re-arming restarts the period
    clock.advance(29);
    multiplexer.timers_schedule();
    EXPECT_EQ(1u, fired.size());
    clock.advance(1);
    multiplexer.timers_schedule();
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), fired);
}

TEST_F(TimerTest, CallbackMayRearmOrDestroyItsOwnHolder) {
    Owner a("a");
    a.timer.set(10, &Owner::OnTimerRearm, &a);
    for (int i = 0; i < 5; ++i) {
        clock.advance(10);
        multiplexer.timers_schedule();
    }
    EXPECT_EQ(3u, fired.size());
    EXPECT_FALSE(a.timer.armed());

    struct SelfDestroying {
        Timer timer;
        bool* done;
        void OnTimer() {
            *done = true;
            delete this;
        }
    };
    bool done = false;
    auto* s = new SelfDestroying{{}, &done};
    s->timer.set(1, &SelfDestroying::OnTimer, s);
    clock.advance(1);
    multiplexer.timers_schedule();  // ASan reports any use after the delete
    EXPECT_TRUE(done);
    EXPECT_EQ(0u, multiplexer.timerCount());
}

TEST_F(TimerTest, TimerDueDuringFiringFiresInTheSameRun) {
    struct Chain {
        Timer first, second;
        void OnFirst() {
            fired.push_back("first");
            second.set(0, &Chain::OnSecond, this);
        }
        void OnSecond() { fired.push_back("second"); }
    } chain;
    chain.first.set(5, &Chain::OnFirst, &chain);
    clock.advance(5);
    multiplexer.timers_schedule();
    EXPECT_EQ((std::vector<std::string>{"first", "second"}), fired);
}

TEST_F(TimerTest, WrapOfTheMillisecondClock) {
    clock.setMs(0xFFFFFFFFull - 20);  // 20 ms before the 32-bit wrap
    Owner a("a"), b("b");
    a.timer.set(10, &Owner::OnTimer, &a);
    b.timer.set(40, &Owner::OnTimer, &b);  // expires after the wrap
    EXPECT_EQ(10u, multiplexer.timers_schedule());
    clock.advance(10);
    multiplexer.timers_schedule();
    EXPECT_EQ((std::vector<std::string>{"a"}), fired);
    clock.advance(29);
    EXPECT_EQ(1u, multiplexer.timers_schedule());
    clock.advance(1);
    multiplexer.timers_schedule();
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), fired);
}

TEST_F(TimerTest, OverLongWaitIsReportedAndRearmedOneSecondOut) {
    Owner a("a"), b("b");
    a.timer.set(3 * 3600 * 1000, &Owner::OnTimer, &a);
    b.timer.set(4 * 3600 * 1000, &Owner::OnTimer, &b);
    uint32_t now = Mux::milliseconds();
    StreamCapture err(std::cerr);
    EXPECT_EQ(1000u, multiplexer.timers_schedule());
    EXPECT_EQ("******** RUNTIME ERROR CONDITION *************Multiplexer::timers_schedule() invalid wait "
              "time detected!\nnow = " +
                  std::to_string(now) + "\nfirst = " + std::to_string(now + 3 * 3600 * 1000) +
                  "\ncount = 2\n",
              err.text());
    clock.advance(1000);
    multiplexer.timers_schedule();
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), fired);
}

// The poll's time-out is taken after the last deferred calls of the pass: a
// timer they arm counts, and a due timer means a poll that does not wait.
TEST_F(TimerTest, PollTimeOutCountsWhatTheDeferredCallsArm) {
    struct Case {
        int run;        // the deferred-call run of the pass that arms the timer
        unsigned delay;
        int timeout;    // what the poll gets
    } cases[] = {{1, 0, 0}, {2, 0, 0}, {2, 20, 20}};
    for (const Case& c : cases) {
        fired.clear();
        struct Arming {
            const Case* c;
            Owner owner{"armed"};
            int runs = 0;
            void Run() {
                if (++runs == c->run) owner.timer.set(c->delay, &Owner::OnTimer, &owner);
            }
        } arming{&c};
        Dpc dpc;
        dpc.Bind(&arming, &Arming::Run);
        dpc.Activate();
        multiplexer.runOnce(5000);
        dpc.Deactivate();
        EXPECT_EQ(c.timeout, multiplexer.pollTimeout()) << "run " << c.run << ", " << c.delay << " ms";
        clock.advance(c.delay);
        multiplexer.runOnce(0);
        EXPECT_EQ(std::vector<std::string>{"armed"}, fired);
    }
}

// ---- deferred calls ---------------------------------------------------------

std::vector<int> runs;

struct Job {
    int id;
    Dpc dpc;
    Job* victim = nullptr;
    explicit Job(int i) : id(i) { dpc.Bind(this, &Job::Run); }
    void Run() {
        runs.push_back(id);
        if (victim) victim->dpc.Deactivate();
    }
};

TEST(Dpc, RunTwicePerPassInAddressOrder) {
    runs.clear();
    std::unique_ptr<Job[]> jobs(new Job[3]{Job(0), Job(1), Job(2)});
    jobs[2].dpc.Activate();  // activation order differs from address order
    jobs[0].dpc.Activate();
    jobs[1].dpc.Activate();
    jobs[1].dpc.Activate();  // twice keeps one entry
    multiplexer.runOnce(0);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 0, 1, 2}), runs);
}

TEST(Dpc, DeactivatedDuringARunDoesNotRunAndDestroyedLeavesTheLoop) {
    runs.clear();
    std::unique_ptr<Job[]> jobs(new Job[3]{Job(0), Job(1), Job(2)});
    for (int i = 0; i < 3; ++i) jobs[i].dpc.Activate();
    jobs[0].victim = &jobs[1];
    multiplexer.execute_dpc();
    EXPECT_EQ((std::vector<int>{0, 2}), runs);
    runs.clear();
    jobs.reset();  // destroyed while active
    multiplexer.execute_dpc();
    EXPECT_TRUE(runs.empty());
}

}  // namespace
