#ifndef KORVAND_RUNTIME_MULTIPLEXER_H
#define KORVAND_RUNTIME_MULTIPLEXER_H

#include <poll.h>

#include <cstdint>
#include <deque>
#include <list>
#include <ostream>
#include <string>
#include <vector>

#include "runtime/dual_list.h"
#include "runtime/measure.h"

class Dpc;
class TimerPoolPlugin;

// Base of everything the loop polls. The loop asks it for its poll entry
// and services it with the events poll returned (0 when it was not ready).
class EventHandler : public F_dual_list_item<EventHandler> {
public:
    EventHandler() = default;
    // Leaves the loop, so the loop never holds a dangling handler.
    virtual ~EventHandler();
    EventHandler(const EventHandler&) = delete;
    EventHandler& operator=(const EventHandler&) = delete;

    virtual void shedule_event(pollfd& entry) = 0;
    virtual void svc_event(short revents) = 0;
    virtual std::string event_name() const { return "unknown"; }
    virtual bool is_named() const { return false; }

    void mux_attach();
    void mux_detach();
    void svc_event() { svc_event(revents); }

    bool attached = false;
    short revents = 0;
};

// A one-shot timer event in the loop's sorted list. Expiries are
// Mux::milliseconds() readings compared by their signed 32-bit difference.
class TimerEvent : public F_dual_list_item<TimerEvent> {
public:
    TimerEvent() = default;
    virtual ~TimerEvent();
    TimerEvent(const TimerEvent&) = delete;
    TimerEvent& operator=(const TimerEvent&) = delete;

    virtual void fire() = 0;

    int compare(const TimerEvent* other) const { return static_cast<int32_t>(expiry - other->expiry); }
    void schedule(unsigned ms);
    void reset();

    uint32_t expiry = 0;
};

// A pluggable source of deadlines. Nothing in the daemon implements one.
class TimerPoolPlugin {
public:
    virtual ~TimerPoolPlugin() { timerUnhook(); }
    virtual int nextDeadline() = 0;
    void timerHook();
    void timerUnhook();

    bool hooked = false;
};

const char* const kWatchdogPath = "/dev/misc/gw-wd";

// The one poll loop of the process.
class Multiplexer {
public:
    // The walk over the timer plug-ins in progress.
    class TimerPollNotify {
    public:
        virtual ~TimerPollNotify() = default;
        virtual void removeTimerPoolPlugin(TimerPoolPlugin* p) = 0;
    };

    Multiplexer() = default;
    ~Multiplexer() = default;
    Multiplexer(const Multiplexer&) = delete;
    Multiplexer& operator=(const Multiplexer&) = delete;

    // Runs passes until terminate(). With `watchdog` the loop drives the
    // watchdog device; without `liveClock` it refreshes the cached clock.
    void run(bool watchdog, bool liveClock);
    // Test entry: one pass whose poll waits at most `maxWait` ms (the
    // loop's own time-out if that is shorter; -1: no cap of its own).
    void runOnce(int maxWait = 0);
    void terminate() { stop = true; }
    // The next poll returns at once: for a deferred call that has work left
    // while no descriptor or timer would end the wait.
    void wake() { woken = true; }
    bool stopped() const { return stop; }
    // Clears the stop flag that terminate() left, so that a test that ended
    // a run leaves the loop runnable. The daemon never calls it.
    void resume() { stop = false; }

    void attach(EventHandler* h);
    void detach(EventHandler* h);
    bool event_exists(EventHandler* h) const;
    void resetWD();

    void set(TimerEvent* e);
    void reset(TimerEvent* e);
    // Fires the due timers, runs the deferred calls once and returns the
    // wait to the first remaining timer (0 when none is pending or one is
    // due already).
    unsigned timers_schedule();
    unsigned timerCount() const { return timers.count; }
    // The expiry of the earliest pending timer; false when none is pending.
    bool nextExpiry(uint32_t& expiry) const {
        if (!timers.head) return false;
        expiry = timers.head->expiry;
        return true;
    }

    void attach(Dpc* d);
    void dettach(Dpc* d);
    void execute_dpc();

    void hook(TimerPoolPlugin* p);
    void unhook(TimerPoolPlugin* p);
    int timerPoll_schedule();

    void dump(std::ostream& os) const;

    unsigned handlerCount() const { return fresh.count + serviced.count + active.count; }
    size_t dpcCount() const { return dpcs.size(); }
    bool watchdogOpen() const { return watchdog >= 0; }
    // The time-out the last poll was given, in ms (-1: none).
    int pollTimeout() const { return lastTimeout; }

private:
    class PluginWalk;

    void pass(bool liveClock, int maxWait);
    void openWatchdog();
    void closeWatchdog();
    void feedWatchdog();
    void service();
    void forgetPollEntry(EventHandler* h);
    // Milliseconds to the first pending timer: -1 with none, 0 when it is
    // due; a wait beyond two hours is reported and every timer re-armed.
    int nextTimerWait();

    F_sorted_list<TimerEvent> timers;
    F_dual_list<EventHandler> fresh;
    F_dual_list<EventHandler> serviced;
    F_dual_list<EventHandler> active;
    std::vector<pollfd> pollfds;
    bool pollSetBuilt = false;  // pollfds matches `active` until the poll returns
    std::vector<Dpc*> dpcs;
    std::deque<Dpc*> dpcsRunning;
    bool stop = false;
    Measure dpcMeasure;
    Measure eventMeasure;
    Measure timerMeasure;
    std::list<TimerPoolPlugin*> timerPlugins;
    PluginWalk* pluginWalk = nullptr;
    int watchdog = -1;
    bool fed = false;
    uint32_t lastFeed = 0;
    int lastTimeout = -1;
    bool woken = false;
};

extern Multiplexer multiplexer;

// The names of the poll bits set in `events`, joined by "|".
std::string PollEventAsText(short events);

#endif
