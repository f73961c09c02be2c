#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <memory>
#include <ostream>

#include "runtime/log_file_stream_buf.h"
#include "runtime/mux_clock.h"
#include "tests/support/temp_root.h"

namespace {

// Sets the loop's cached clock to a UTC moment of December 2026.
void at(int day, int hour, int minute, int second, int usec) {
    setenv("TZ", "UTC", 1);
    tzset();
    struct tm t = {};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    Mux::g_tv_time = {static_cast<int32_t>(timegm(&t)), usec};
}

TEST(LogFile, LinesCarryTheTimeOfTheirFlushAndTheHourNamesTheFile) {
    TempRoot root;
    at(5, 20, 59, 10, 917);
    LogFileStreamBuf buf("/var/log");
    std::ostream os(&buf);
    os << "a\nb\n" << std::flush;  // one flush, one prefix value
    at(5, 20, 59, 59, 1);
    os << "par" << std::flush;
    at(5, 21, 0, 0, 500000);
    os << "tial\n" << std::flush;  // the line ends in the file it began in
    os << "next\n" << std::flush;
    os << "a line longer than the buffer\n" << std::flush;
    EXPECT_EQ("59:10:00917: a\n59:10:00917: b\n59:59:00001: partial\n",
              root.readFile("/var/log/2026_12_05-20.log"));
    EXPECT_EQ("00:00:500000: next\n00:00:500000: a line longer than the buffer\n",
              root.readFile("/var/log/2026_12_05-21.log"));
}

TEST(LogFile, RestartAppendsAndTheDateCountsAsMuchAsTheHour) {
    TempRoot root;
    at(5, 10, 0, 0, 0);
    auto buf = std::make_unique<LogFileStreamBuf>("/var/log");
    std::ostream(buf.get()) << "first" << std::endl;
    buf = std::make_unique<LogFileStreamBuf>("/var/log");
    std::ostream os(buf.get());
    os << "second" << std::endl;
    at(6, 10, 0, 1, 0);
    os << "third" << std::endl << "tail";
    buf.reset();  // what waits in the buffer is written
    EXPECT_EQ("00:00:00000: first\n00:00:00000: second\n",
              root.readFile("/var/log/2026_12_05-10.log"));
    EXPECT_EQ("00:01:00000: third\n00:01:00000: tail", root.readFile("/var/log/2026_12_06-10.log"));
}

}  // namespace
