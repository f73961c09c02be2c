#include "runtime/mux_clock.h"

#include <sys/time.h>
#include <time.h>

#include <algorithm>
#include <cstdio>

namespace Mux {

timeval g_tv_time = {0, 0};

namespace {

ClockSource clockSource = nullptr;

uint64_t monotonicMicroseconds() {
    if (clockSource) return clockSource();
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

void normalise(timeval& tv) {
    while (tv.tv_usec >= 1000000) {
        tv.tv_usec -= 1000000;
        ++tv.tv_sec;
    }
    while (tv.tv_usec < 0) {
        tv.tv_usec += 1000000;
        --tv.tv_sec;
    }
}

fd_set* setOrNull(Set& s) { return s.max < 0 ? nullptr : &s.set; }

int doSelect(Set& r, Set& w, Set& e, const timeval* timeout) {
    ::timeval tv;
    ::timeval* ptv = nullptr;
    if (timeout) {
        tv.tv_sec = timeout->tv_sec;
        tv.tv_usec = timeout->tv_usec;
        ptv = &tv;
    }
    return ::select(max_fd(r, w, e) + 1, setOrNull(r), setOrNull(w), setOrNull(e), ptv);
}

}  // namespace

void setClockSource(ClockSource source) { clockSource = source; }

void mux_settimeofday() {
    ::timeval tv;
    gettimeofday(&tv, nullptr);
    g_tv_time.tv_sec = static_cast<int32_t>(tv.tv_sec);
    g_tv_time.tv_usec = static_cast<int32_t>(tv.tv_usec);
}

void mux_gettimeofday(timeval& out) {
    if (g_tv_time.tv_sec != 0 || g_tv_time.tv_usec != 0) {
        out = g_tv_time;
        return;
    }
    ::timeval tv;
    gettimeofday(&tv, nullptr);
    out.tv_sec = static_cast<int32_t>(tv.tv_sec);
    out.tv_usec = static_cast<int32_t>(tv.tv_usec);
}

int gettimeval(timeval& tv) {
    mux_gettimeofday(tv);
    return 0;
}

uint32_t milliseconds() { return static_cast<uint32_t>(monotonicMicroseconds() / 1000u); }

uint32_t microseconds() { return static_cast<uint32_t>(monotonicMicroseconds()); }

int32_t seconds() {
    timeval tv;
    gettimeval(tv);
    return tv.tv_sec;
}

timeval make_from_usec(unsigned usec) {
    return timeval{static_cast<int32_t>(usec / 1000000u), static_cast<int32_t>(usec % 1000000u)};
}

timeval make_from_msec(unsigned msec) {
    return timeval{static_cast<int32_t>(msec / 1000u), static_cast<int32_t>((msec % 1000u) * 1000u)};
}

void timevaladd(timeval& a, const timeval& b) {
    a.tv_sec += b.tv_sec;
    a.tv_usec += b.tv_usec;
    normalise(a);
}

void timevalsub(timeval& a, const timeval& b) {
    a.tv_sec -= b.tv_sec;
    a.tv_usec -= b.tv_usec;
    normalise(a);
}

void timevaladd2(const timeval& a, const timeval& b, timeval& result) {
    result = a;
    timevaladd(result, b);
}

void timevalsub2(const timeval& a, const timeval& b, timeval& result) {
    result = a;
    timevalsub(result, b);
}

void timevalset(timeval& tv, int64_t ms) {
    tv.tv_sec = static_cast<int32_t>(ms / 1000);
    tv.tv_usec = static_cast<int32_t>((ms % 1000) * 1000);
}

int64_t timevaldiff(const timeval& from, const timeval& to) {
    if (timevalcompare(to, from) < 0) return 0;
    return (static_cast<int64_t>(to.tv_sec) - from.tv_sec) * 1000 +
           (static_cast<int64_t>(to.tv_usec) - from.tv_usec) / 1000;
}

int timevalcompare(const timeval& a, const timeval& b) {
    if (a.tv_sec != b.tv_sec) return a.tv_sec < b.tv_sec ? -1 : 1;
    if (a.tv_usec != b.tv_usec) return a.tv_usec < b.tv_usec ? -1 : 1;
    return 0;
}

std::string timevaltostring(const timeval& tv) {
    char stamp[32] = "";
    time_t t = tv.tv_sec;
    struct tm lt;
    if (localtime_r(&t, &lt)) strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &lt);
    char buf[64];
    snprintf(buf, sizeof buf, "%s.%06ld", stamp, static_cast<long>(tv.tv_usec));
    return buf;
}

bool timeval_timer::is_expired(const timeval& now) const {
    if (period < 1) return false;
    return timevaldiff(start, now) > period;
}

void timeval_timer::inc() {
    timeval p;
    timevalset(p, period);
    timevaladd(start, p);
}

int max_fd(const Set& a, const Set& b) { return std::max(a.max, b.max); }

int max_fd(const Set& a, const Set& b, const Set& c) { return std::max(max_fd(a, b), c.max); }

int select(Set& read, Set& write, Set& error, const timeval& timeout) {
    return doSelect(read, write, error, &timeout);
}

int select(Set& read, Set& write, Set& error) { return doSelect(read, write, error, nullptr); }

int select(Set& read, Set& write) {
    Set e;
    return doSelect(read, write, e, nullptr);
}

int select(Set& read) {
    Set w, e;
    return doSelect(read, w, e, nullptr);
}

int select_rd(Set& read, const timeval& timeout) {
    Set w, e;
    return doSelect(read, w, e, &timeout);
}

int select_wr(Set& write, const timeval& timeout) {
    Set r, e;
    return doSelect(r, write, e, &timeout);
}

}  // namespace Mux
