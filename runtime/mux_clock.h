#ifndef KORVAND_RUNTIME_MUX_CLOCK_H
#define KORVAND_RUNTIME_MUX_CLOCK_H

#include <sys/select.h>

#include <cstdint>
#include <string>

// Clocks and time-value arithmetic.
//
// milliseconds() and microseconds() read a monotonic clock, so a step of the
// wall clock neither fires nor suspends the timers; both wrap and are
// compared only by difference. The wall-clock readings (mux_gettimeofday,
// seconds, timevaltostring) stay on gettimeofday.
namespace Mux {

struct timeval {
    int32_t tv_sec;
    int32_t tv_usec;
};

extern timeval g_tv_time;

void mux_settimeofday();
void mux_gettimeofday(timeval& tv);
int gettimeval(timeval& tv);

uint32_t milliseconds();
uint32_t microseconds();
int32_t seconds();

// Test seam: a replacement for the monotonic clock, in microseconds.
// Null returns to the system's monotonic clock.
using ClockSource = uint64_t (*)();
void setClockSource(ClockSource source);

timeval make_from_usec(unsigned usec);
timeval make_from_msec(unsigned msec);
void timevaladd(timeval& a, const timeval& b);
void timevalsub(timeval& a, const timeval& b);
void timevaladd2(const timeval& a, const timeval& b, timeval& result);
void timevalsub2(const timeval& a, const timeval& b, timeval& result);
void timevalset(timeval& tv, int64_t ms);
int64_t timevaldiff(const timeval& from, const timeval& to);
int timevalcompare(const timeval& a, const timeval& b);
std::string timevaltostring(const timeval& tv);

struct timeval_timer {
    timeval start{0, 0};
    int period = 0;

    void init(const timeval& s, int ms) {
        start = s;
        period = ms;
    }
    void init_now(const timeval& s) { start = s; }
    bool is_expired(const timeval& now) const;
    void inc();
};

// A descriptor set for select with the highest descriptor it holds.
struct Set {
    fd_set set;
    int max = -1;

    Set() { FD_ZERO(&set); }
    // A descriptor select cannot watch (negative, or FD_SETSIZE and up)
    // is refused rather than written past the set.
    bool add(int fd) {
        if (fd < 0 || fd >= FD_SETSIZE) return false;
        FD_SET(fd, &set);
        if (fd > max) max = fd;
        return true;
    }
    void clear() {
        FD_ZERO(&set);
        max = -1;
    }
    bool has(int fd) const { return fd >= 0 && fd < FD_SETSIZE && FD_ISSET(fd, &set); }
};

int max_fd(const Set& a, const Set& b);
int max_fd(const Set& a, const Set& b, const Set& c);
int select(Set& read, Set& write, Set& error, const timeval& timeout);
int select(Set& read, Set& write, Set& error);
int select(Set& read, Set& write);
int select(Set& read);
int select_rd(Set& read, const timeval& timeout);
int select_wr(Set& write, const timeval& timeout);

}  // namespace Mux

#endif
