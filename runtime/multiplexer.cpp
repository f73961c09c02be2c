#include "runtime/multiplexer.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "runtime/dpc.h"
#include "runtime/event.h"
#include "runtime/ext_table.h"
#include "runtime/mux_clock.h"

Multiplexer multiplexer;

namespace {

const unsigned kMaxWait = 7200000;  // two hours
const int kWatchdogPeriod = 1000;

}  // namespace

// ---- EventHandler, TimerEvent, TimerPoolPlugin ----------------------------

EventHandler::~EventHandler() { mux_detach(); }

void EventHandler::mux_attach() {
    if (!attached) {
        multiplexer.attach(this);
        attached = true;
    }
}

void EventHandler::mux_detach() {
    if (attached) {
        multiplexer.detach(this);
        attached = false;
    }
}

TimerEvent::~TimerEvent() { reset(); }

void TimerEvent::schedule(unsigned ms) {
    expiry = Mux::milliseconds() + ms;
    multiplexer.set(this);
}

void TimerEvent::reset() { multiplexer.reset(this); }

void TimerPoolPlugin::timerHook() {
    if (!hooked) multiplexer.hook(this);
    hooked = true;
}

void TimerPoolPlugin::timerUnhook() {
    if (hooked) multiplexer.unhook(this);
    hooked = false;
}

// ---- handlers ---------------------------------------------------------------

void Multiplexer::attach(EventHandler* h) {
    if (event_exists(h)) {
        std::cerr << "duplicate multiplexer attach " << std::flush;
        std::cerr << "\"" << h->event_name() << "\" ignored." << std::endl;
        return;
    }
    fresh.push_back(h);
}

void Multiplexer::detach(EventHandler* h) {
    if (active.contains(h)) forgetPollEntry(h);
    for (F_dual_list<EventHandler>* l : {&fresh, &serviced, &active}) {
        if (l->contains(h)) {
            l->remove(h);
            return;
        }
    }
    std::cerr << "indvalid Multiplexer::detach " << std::flush;
    std::cerr << h->event_name() << std::endl;
}

// The poll entries are built before the last deferred calls of the pass run,
// and their results are handed out by position. A handler that leaves
// `active` meanwhile takes its entry along, so every other handler still gets
// the events of its own descriptor.
void Multiplexer::forgetPollEntry(EventHandler* h) {
    if (!pollSetBuilt) return;
    size_t i = 0;
    for (EventHandler* p : active) {
        if (p == h) {
            pollfds.erase(pollfds.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
        ++i;
    }
}

bool Multiplexer::event_exists(EventHandler* h) const {
    return fresh.contains(h) || serviced.contains(h) || active.contains(h);
}

// ---- watchdog ---------------------------------------------------------------

void Multiplexer::openWatchdog() {
    watchdog = boardIo().open(kWatchdogPath, O_WRONLY);
    if (watchdog < 0) {
        std::cerr << "Mux: fail to open watchdog: " << std::strerror(errno) << std::endl;
        return;
    }
    if (boardIo().write(watchdog, "START", 5) != 5) {
        std::cerr << "Mux: fail to activate watchdog: " << std::strerror(errno) << std::endl;
        boardIo().close(watchdog);
        watchdog = -1;
    }
}

void Multiplexer::closeWatchdog() {
    if (watchdog < 0) return;
    if (boardIo().write(watchdog, "STOP", 4) != 4)
        std::cerr << "Mux: stop watchdog failed: " << std::strerror(errno) << std::endl;
    boardIo().close(watchdog);
    watchdog = -1;
}

void Multiplexer::resetWD() {
    if (watchdog < 0) return;
    if (boardIo().write(watchdog, "PING", 4) != 4)
        std::cerr << "Mux: ping watchdog failed: " << std::strerror(errno) << std::endl;
}

void Multiplexer::feedWatchdog() {
    uint32_t now = Mux::milliseconds();
    if (!fed || now < lastFeed || now - lastFeed > 999) {
        fed = true;
        lastFeed = now;
        resetWD();
    }
}

// ---- the loop -----------------------------------------------------------------

void Multiplexer::run(bool withWatchdog, bool liveClock) {
    fed = false;
    if (withWatchdog) openWatchdog();
    if (!liveClock) Mux::mux_settimeofday();
    while (!stop) pass(liveClock, -1);
    std::clog << "Mux: terminating..." << std::endl;
    closeWatchdog();
}

void Multiplexer::runOnce(int maxWait) { pass(true, maxWait < 0 ? -1 : maxWait); }

void Multiplexer::pass(bool liveClock, int maxWait) {
    timers_schedule();
    int pluginWait = timerPoll_schedule();  // below 1 or INT_MAX: no deadline
    if (pluginWait < 1 || pluginWait == INT_MAX) pluginWait = -1;

    while (EventHandler* h = fresh.remove_from_head()) active.push_back(h);
    if (pollfds.size() != active.count) pollfds.resize(active.count);
    size_t i = 0;
    for (EventHandler* h : active) h->shedule_event(pollfds[i++]);
    pollSetBuilt = true;

    execute_dpc();
    // Taken after the last deferred calls, which may arm timers too.
    int timeout = nextTimerWait();
    if (pluginWait != -1 && (timeout == -1 || pluginWait < timeout)) timeout = pluginWait;
    // A handler registered by those calls is polled from the next pass on,
    // which therefore follows at once.
    if (!fresh.empty() || woken) timeout = 0;
    woken = false;

    if (timeout == -1 && active.empty() && maxWait < 0) {
        std::cerr << "multiplexer: system hang detected!!!" << std::endl;
        abort();
    }
    if (watchdog >= 0 && (timeout == -1 || timeout > kWatchdogPeriod)) timeout = kWatchdogPeriod;
    if (maxWait >= 0 && (timeout == -1 || timeout > maxWait)) timeout = maxWait;

    lastTimeout = timeout;
    int n = ::poll(pollfds.data(), pollfds.size(), timeout);
    int pollErrno = errno;
    pollSetBuilt = false;
    if (!liveClock) Mux::mux_settimeofday();
    if (watchdog >= 0) feedWatchdog();

    if (n == 0) return;
    if (n < 0) {
        if (pollErrno == EINTR) return;
        std::cerr << "multiplexer poll failed: " << std::strerror(pollErrno) << std::endl;
        abort();
    }
    service();
}

void Multiplexer::service() {
    size_t i = 0;
    for (EventHandler* h : active) h->revents = pollfds[i++].revents;
    while (!stop && !active.empty()) {
        EventHandler* h = active.remove_from_head();
        serviced.push_back(h);
        eventMeasure.begin();
        h->svc_event();
        eventMeasure.end();
    }
    active.merge(serviced);
}

// ---- timers -------------------------------------------------------------------

void Multiplexer::set(TimerEvent* e) {
    reset(e);
    timers.insert_to_tail_by_grown(e);
}

void Multiplexer::reset(TimerEvent* e) {
    if (timers.contains(e)) timers.remove(e);
}

unsigned Multiplexer::timers_schedule() {
    uint32_t now = Mux::milliseconds();
    while (timers.head && static_cast<int32_t>(now - timers.head->expiry) >= 0) {
        TimerEvent* e = timers.remove_from_head();
        timerMeasure.begin();
        e->fire();
        timerMeasure.end();
    }
    execute_dpc();
    int wait = nextTimerWait();
    return wait < 0 ? 0 : unsigned(wait);
}

// A timer that is due already (armed by a deferred call, or for 0 ms) asks
// for a poll that does not wait at all; it is not "no deadline".
int Multiplexer::nextTimerWait() {
    if (!timers.head) return -1;
    uint32_t now = Mux::milliseconds();
    int32_t left = static_cast<int32_t>(timers.head->expiry - now);
    if (left <= 0) return 0;
    if (unsigned(left) <= kMaxWait) return left;
    std::cerr << "******** RUNTIME ERROR CONDITION *************"
              << "Multiplexer::timers_schedule() invalid wait time detected!" << std::endl
              << "now = " << now << std::endl
              << "first = " << timers.head->expiry << std::endl
              << "count = " << timers.count << std::endl;
    for (TimerEvent* e : timers) e->expiry = now + 1000;
    return 1000;
}

// ---- deferred calls -----------------------------------------------------------

void Multiplexer::attach(Dpc* d) {
    auto it = std::lower_bound(dpcs.begin(), dpcs.end(), d, std::less<Dpc*>());
    if (it == dpcs.end() || *it != d) dpcs.insert(it, d);
}

void Multiplexer::dettach(Dpc* d) {
    dpcs.erase(std::remove(dpcs.begin(), dpcs.end(), d), dpcs.end());
    dpcsRunning.erase(std::remove(dpcsRunning.begin(), dpcsRunning.end(), d), dpcsRunning.end());
}

void Multiplexer::execute_dpc() {
    dpcsRunning.assign(dpcs.begin(), dpcs.end());
    while (!dpcsRunning.empty()) {
        Dpc* d = dpcsRunning.front();
        dpcsRunning.pop_front();
        dpcMeasure.begin();
        if (d->handler) d->handler->Invoke();
        dpcMeasure.end();
    }
}

// ---- timer plug-ins -----------------------------------------------------------

class Multiplexer::PluginWalk : public Multiplexer::TimerPollNotify {
public:
    explicit PluginWalk(Multiplexer& m) : mux(m) { pending.swap(m.timerPlugins); }
    void removeTimerPoolPlugin(TimerPoolPlugin* p) override {
        pending.remove(p);
        mux.timerPlugins.remove(p);
    }
    Multiplexer& mux;
    std::list<TimerPoolPlugin*> pending;
};

void Multiplexer::hook(TimerPoolPlugin* p) { timerPlugins.push_back(p); }

void Multiplexer::unhook(TimerPoolPlugin* p) {
    if (pluginWalk)
        pluginWalk->removeTimerPoolPlugin(p);
    else
        timerPlugins.remove(p);
}

int Multiplexer::timerPoll_schedule() {
    PluginWalk walk(*this);
    pluginWalk = &walk;
    int best = INT_MAX;
    while (!walk.pending.empty()) {
        TimerPoolPlugin* p = walk.pending.front();
        walk.pending.pop_front();
        timerPlugins.push_back(p);
        int d = p->nextDeadline();
        if (d >= 0 && d < best) best = d;
    }
    pluginWalk = nullptr;
    return best;
}

// ---- status dump --------------------------------------------------------------

std::string PollEventAsText(short events) {
    static const struct {
        short bit;
        const char* name;
    } kBits[] = {{0x001, "|POLLIN"},     {0x002, "|POLLPRI"},    {0x004, "|POLLOUT"},
                 {0x008, "|POLLERR"},    {0x010, "|POLLHUP"},    {0x020, "|POLLNVAL"},
                 {0x040, "|POLLRDNORM"}, {0x080, "|POLLRDBAND"}, {0x100, "|POLLWRNORM"},
                 {0x200, "|POLLWRBAND"}, {0x400, "|POLLMSG"}};
    std::string text;
    for (const auto& b : kBits)
        if (events & b.bit) text += b.name;
    return text.empty() ? text : text.substr(1);
}

void Multiplexer::dump(std::ostream& os) const {
    os << "dpc transition measurement (min/max/cur/counter): " << dpcMeasure << "\n";
    os << "event transition measurement (min/max/cur/counter): " << eventMeasure << "\n";
    os << "timer transition measurement (min/max/cur/counter): " << timerMeasure << "\n";
    Profile::dump(os);
    ext::Table table(40, 30, 10, 10, 5, 60);
    ext::Sentry s(os, table);
    table.delimeter(os);
    ext::beginrow(s);
    for (const char* h : {"name", "events", "count", "handler", "fd", "measure"}) {
        s << h;
        ext::nextrow(s);
    }
    table.delimeter(os);
    for (EventHandler* h : active) {
        if (!h->is_named()) continue;
        const Event* e = static_cast<const Event*>(h);
        ext::beginrow(s);
        s << e->name;
        ext::nextrow(s);
        s << PollEventAsText(e->events);
        ext::nextrow(s);
        s << e->count;
        ext::nextrow(s);
        s << (e->handler ? "attached" : "unattached");
        ext::nextrow(s);
        s << e->fd.get();
        ext::nextrow(s);
        s << e->measure;
        ext::nextrow(s);
    }
    table.delimeter(os);
    os << "\n";
}
