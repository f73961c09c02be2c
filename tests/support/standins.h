#ifndef KORVAND_TESTS_SUPPORT_STANDINS_H
#define KORVAND_TESTS_SUPPORT_STANDINS_H

#include <string>
#include <vector>

#include "tests/support/temp_root.h"

// The stand-in programs (tests/standins) installed in a private root at
// the paths the daemon runs: pppd, the fax sender and receiver, the T.38
// program. Each run records itself in the root; see the stand-in's source
// for the roles ("sbin-pppd", "sbin-fax", "bin-fax", "sbin-t38",
// "sbin-t38-count") and the configuration commands.
class Standins {
public:
    explicit Standins(const TempRoot& root);

    // Installs the stand-in at `path` as well (an `execfile`).
    void install(const std::string& path) const;
    // The role's configuration, one command a line.
    void configure(const std::string& role, const std::string& commands) const;
    // The folder of the role's run `n` once it is ready, waiting up to
    // `ms`; empty when it did not come.
    std::string run(const std::string& role, int n = 1, int ms = 5000) const;
    // Whether the role has a run `n` at all, without waiting.
    bool ran(const std::string& role, int n = 1) const;
    // The arguments of a run, and one of its files.
    std::vector<std::string> argv(const std::string& run) const;
    std::string file(const std::string& run, const std::string& name) const;
    // Waits until the run's file holds `text`.
    bool waitFile(const std::string& run, const std::string& name, const std::string& text, int ms = 5000) const;

private:
    const TempRoot& root_;
};

// Starts child-exit notification for a test in the process, and at its end
// kills and reaps the children still there and puts a fresh, inactive
// service back with SIGCHLD at its default.
class ChildScope {
public:
    ChildScope();
    ~ChildScope();
    ChildScope(const ChildScope&) = delete;
    ChildScope& operator=(const ChildScope&) = delete;
};

// The pids of this process's children.
std::vector<int> childPids();

#endif
