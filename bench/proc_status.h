#ifndef KORVAND_BENCH_PROC_STATUS_H
#define KORVAND_BENCH_PROC_STATUS_H

#include <sys/types.h>

#include <fstream>
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

#endif
