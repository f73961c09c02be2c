#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <vector>

#include <gtest/gtest.h>

#include "board/sim_watchdog.h"
#include "runtime/dpc.h"
#include "runtime/event.h"
#include "runtime/multiplexer.h"
#include "tests/support/capture.h"
#include "tests/support/pump.h"
#include "tests/support/sim_scope.h"
#include "tests/support/test_clock.h"

namespace {

// A pipe whose read end is watched by an Event that records every call.
struct Probe {
    int p[2];
    Event event;
    std::vector<short> calls;
    std::function<void()> onCall;

    explicit Probe(const char* name = "probe") {
        EXPECT_EQ(0, pipe2(p, O_CLOEXEC | O_NONBLOCK));
        event.Bind(name, &Probe::OnEvent, this);
        event.Schedule(p[0], POLLIN);
    }
    ~Probe() {
        close(p[0]);
        close(p[1]);
    }
    void OnEvent(int, short revents) {
        calls.push_back(revents);
        if (onCall) onCall();
    }
    void makeReady() { ASSERT_EQ(1, write(p[1], "x", 1)); }
};

TEST(Multiplexer, PassServicesEveryHandlerOnlyWhenOneIsReady) {
    Probe a("a"), b("b");
    multiplexer.runOnce(0);
    EXPECT_TRUE(a.calls.empty());
    EXPECT_TRUE(b.calls.empty());

    b.makeReady();
    multiplexer.runOnce(0);
    ASSERT_EQ(1u, a.calls.size());
    ASSERT_EQ(1u, b.calls.size());
    EXPECT_EQ(0, a.calls[0]);  // not ready, still invoked
    EXPECT_EQ(POLLIN, b.calls[0]);
    EXPECT_EQ(0u, a.event.count);  // no intersection: the count stays
    EXPECT_EQ(1u, b.event.count);
}

TEST(Multiplexer, HandlerAttachedDuringPassIsPolledFromTheNextPass) {
    Probe a("a");
    std::unique_ptr<Probe> late;
    a.onCall = [&] {
        if (!late) {
            late.reset(new Probe("late"));
            late->makeReady();
        }
    };
    a.makeReady();
    multiplexer.runOnce(0);
    ASSERT_TRUE(late);
    EXPECT_TRUE(late->calls.empty());
    multiplexer.runOnce(0);
    EXPECT_EQ(1u, late->calls.size());
}

TEST(Multiplexer, DetachedOrDestroyedHandlerIsNotServicedLaterInThePass) {
    std::unique_ptr<Probe> a(new Probe("a"));
    std::unique_ptr<Probe> b(new Probe("b"));
    Probe* second = b.get();
    a->onCall = [&] { b.reset(); };   // destroys the next handler
    a->makeReady();
    second->makeReady();
    multiplexer.runOnce(0);
    EXPECT_EQ(1u, a->calls.size());
    EXPECT_FALSE(b);
    EXPECT_EQ(1u, multiplexer.handlerCount());
}

// The second deferred-call run of a pass comes after the poll entries are
// built; a handler destroyed there must not shift the others' results.
TEST(Multiplexer, HandlerDestroyedByTheLastDeferredCallLeavesTheOthersTheirEvents) {
    std::unique_ptr<Probe> a(new Probe("a"));
    Probe b("b");
    b.makeReady();
    struct Killer {
        std::unique_ptr<Probe>* victim;
        int runs = 0;
        void Run() {
            if (++runs == 2) victim->reset();  // the run just before the poll
        }
    } killer{&a};
    Dpc dpc;
    dpc.Bind(&killer, &Killer::Run);
    dpc.Activate();
    multiplexer.runOnce(0);
    dpc.Deactivate();
    EXPECT_FALSE(a);
    EXPECT_EQ(std::vector<short>{POLLIN}, b.calls);
    EXPECT_EQ(1u, b.event.count);
    multiplexer.runOnce(0);
    EXPECT_EQ((std::vector<short>{POLLIN, POLLIN}), b.calls);
}

TEST(Multiplexer, TerminateStopsBetweenTwoServicesAndKeepsTheRestRegistered) {
    StopFlagReset resume;
    Probe a("a"), b("b");
    a.onCall = [] { multiplexer.terminate(); };
    a.makeReady();
    b.makeReady();
    multiplexer.runOnce(0);
    EXPECT_EQ(1u, a.calls.size());
    EXPECT_TRUE(b.calls.empty());
    EXPECT_EQ(2u, multiplexer.handlerCount());
}

TEST(Multiplexer, DuplicateAttachAndUnknownDetachAreReportedAndIgnored) {
    Probe a("dup");
    StreamCapture err(std::cerr);
    multiplexer.attach(&a.event);
    multiplexer.detach(&a.event);
    multiplexer.detach(&a.event);
    a.event.attached = false;  // the handler no longer believes it is registered
    EXPECT_EQ("duplicate multiplexer attach \"dup\" ignored.\nindvalid Multiplexer::detach dup\n",
              err.text());
}

TEST(Multiplexer, ScheduleWithNegativeDescriptorStaysUnregistered) {
    Event e;
    e.Schedule(Fd(-1), POLLIN);
    EXPECT_FALSE(e.attached);
    int p[2];
    ASSERT_EQ(0, pipe(p));
    e.Schedule(p[0], POLLIN);
    EXPECT_TRUE(e.attached);
    EXPECT_NE(p[0], e.fd.get());
    EXPECT_TRUE(fcntl(e.fd.get(), F_GETFD) & FD_CLOEXEC);
    e.Schedule(p[1], POLLOUT);
    EXPECT_TRUE(e.attached);
    EXPECT_EQ(POLLOUT, e.events);
    EXPECT_EQ(1u, multiplexer.handlerCount());
    // Its own descriptor is kept, only the events change.
    int own = e.fd.get();
    e.Schedule(e.fd, POLLOUT | POLLIN);
    EXPECT_EQ(own, e.fd.get());
    EXPECT_NE(-1, fcntl(own, F_GETFD));
    EXPECT_TRUE(e.attached);
    EXPECT_EQ(POLLOUT | POLLIN, e.events);
    close(p[0]);
    close(p[1]);
}

TEST(MultiplexerDeathTest, NothingToWaitForIsAHang) {
    EXPECT_DEATH(multiplexer.run(false, true), "multiplexer: system hang detected!!!");
}

TEST(Multiplexer, WatchdogIsStartedFedOncePerSecondAndStopped) {
    StopFlagReset resume;
    SimScope sim;
    TestClock clock;
    Probe busy("busy");
    busy.makeReady();  // always ready: every pass returns at once
    int steps = 0;
    busy.onCall = [&] {
        clock.advance(100);
        if (++steps == 15) clock.setMs(1500);  // below the last feed: feeds at once
        if (steps == 30) multiplexer.terminate();
    };
    StreamCapture log(std::clog);
    multiplexer.run(true, true);
    const auto& rec = sim.model<SimWatchdog>(SimWatchdog::kPath).records();
    // Feeds at 1000, 2000, 1500 (the step backwards) and 2500.
    std::vector<std::string> expected = {"START", "PING", "PING", "PING", "PING", "STOP"};
    EXPECT_EQ(expected, rec);
    EXPECT_EQ("Mux: terminating...\n", log.text());
    EXPECT_FALSE(multiplexer.watchdogOpen());
}

TEST(Multiplexer, WatchdogCapsThePollAtOneSecond) {
    StopFlagReset resume;
    SimScope sim;
    Probe idle("idle");  // never ready, no timer: only the cap ends a poll
    int runs = 0;
    Dpc stopper;
    struct Counter {
        int* runs;
        void tick() {
            if (++*runs == 4) multiplexer.terminate();  // two runs per pass
        }
    } counter{&runs};
    stopper.Bind(&counter, &Counter::tick);
    stopper.Activate();
    auto t0 = std::chrono::steady_clock::now();
    multiplexer.run(true, true);
    auto elapsed = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(elapsed, std::chrono::milliseconds(1900));
    EXPECT_LT(elapsed, std::chrono::seconds(10));
    std::vector<std::string> expected = {"START", "PING", "PING", "STOP"};
    EXPECT_EQ(expected, sim.model<SimWatchdog>(SimWatchdog::kPath).records());
}

TEST(Multiplexer, WatchdogThatFailsToOpenOrStartIsReported) {
    StopFlagReset resume;
    SimScope sim;
    auto& wd = sim.model<SimWatchdog>(SimWatchdog::kPath);
    wd.failOpen(ENODEV, 1);
    multiplexer.terminate();
    {
        StreamCapture err(std::cerr);
        multiplexer.run(true, true);
        EXPECT_EQ("Mux: fail to open watchdog: No such device\n", err.text());
    }
    wd.failWrite(EIO, 1);
    StreamCapture err(std::cerr);
    multiplexer.run(true, true);
    EXPECT_EQ("Mux: fail to activate watchdog: Input/output error\n", err.text());
    EXPECT_FALSE(multiplexer.watchdogOpen());
}

TEST(Multiplexer, StatusDumpOfAKnownLoop) {
    Probe child("ChildWaitService::OnChildEvent");
    multiplexer.runOnce(0);
    std::ostringstream os;
    multiplexer.dump(os);
    std::string measure = "min=0 max=0 avg=0 counter=0";
    std::string border = "+" + std::string(40, '-') + "+" + std::string(30, '-') + "+" +
                         std::string(10, '-') + "+" + std::string(10, '-') + "+" +
                         std::string(5, '-') + "+" + std::string(60, '-') + "+\n";
    auto cell = [](const std::string& t, int w) {
        int pad = w - static_cast<int>(t.size());
        return "|" + std::string(pad / 2, ' ') + t + std::string((pad + 1) / 2, ' ');
    };
    // The loop's own records hold what the earlier tests of the process ran.
    std::string loopMeasure =
        " transition measurement \\(min/max/cur/counter\\): min=\\d+ max=\\d+ avg=\\d+ "
        "counter=\\d+\n";
    std::string table = border + cell("name", 40) + cell("events", 30) + cell("count", 10) +
                        cell("handler", 10) + cell("fd", 5) + cell("measure", 60) + "|\n" + border +
                        cell("ChildWaitService::OnChildEvent", 40) + cell("POLLIN", 30) +
                        cell("0", 10) + cell("attached", 10) +
                        cell(std::to_string(child.event.fd.get()), 5) + cell(measure, 60) + "|\n" +
                        border + "\n";
    std::string text = os.str();
    size_t tableAt = text.find('+');
    ASSERT_NE(std::string::npos, tableAt) << text;
    EXPECT_TRUE(std::regex_match(
        text.substr(0, tableAt),
        std::regex("dpc" + loopMeasure + "event" + loopMeasure + "timer" + loopMeasure)))
        << text;
    EXPECT_EQ(table, text.substr(tableAt));
}

TEST(Multiplexer, PollEventText) {
    EXPECT_EQ("POLLIN|POLLOUT", PollEventAsText(5));
    EXPECT_EQ("", PollEventAsText(0));
    EXPECT_EQ("POLLERR|POLLHUP|POLLMSG", PollEventAsText(8 | 16 | 1024));
}

}  // namespace
