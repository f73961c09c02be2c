#ifndef KORVAND_BENCH_PROC_STATUS_H
#define KORVAND_BENCH_PROC_STATUS_H

#include <sys/types.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

// A "Vm..." or "Rss..." line of /proc/<pid>/status, in kB (-1 when missing).
inline double StatusKb(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, field.size() + 1, field + ":") != 0) continue;
        return std::stod(line.substr(field.size() + 1));
    }
    return -1;
}

// utime + stime of /proc/<pid>/stat, in seconds (-1 when unreadable). The
// fields are counted after the command name, which may hold blanks.
inline double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    // state is field 3; utime and stime are fields 14 and 15.
    for (int n = 3; n < 14 && fields >> field; ++n) {
    }
    unsigned long long utime = 0, stime = 0;
    if (!(fields >> utime >> stime)) return -1;
    return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
}

#endif
