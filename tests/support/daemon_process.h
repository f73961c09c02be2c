#ifndef KORVAND_TESTS_SUPPORT_DAEMON_PROCESS_H
#define KORVAND_TESTS_SUPPORT_DAEMON_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

// A program of the build started as a child, with its standard output and
// error collected in files.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` (a path) with `args` and extra environment entries
    // ("NAME=value"). Returns false if it could not be started.
    bool start(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& env = {}, const std::string& stdinText = "");
    // As start(), with a standard input that feed() writes to until
    // endInput() closes it.
    bool startFed(const std::string& program, const std::vector<std::string>& args,
                  const std::vector<std::string>& env = {});
    bool feed(const std::string& text);
    void endInput();
    void signal(int sig) const;
    // Waits up to `ms` for the exit; returns the raw wait status or -1.
    int wait(int ms = 10000);
    // Stops the program as a user does, with SIGTERM, unless it has ended,
    // and waits up to `ms` for its exit; the raw wait status or -1.
    int stop(int ms = 20000);
    bool running();
    pid_t pid() const { return pid_; }
    std::string out() const;
    std::string err() const;

private:
    // Forks and runs `program` with `in` as its standard input.
    bool launch(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::string>& env, int in);

    pid_t pid_ = -1;
    int input_ = -1;
    int status_ = -1;
    std::string outFile_;
    std::string errFile_;
};

// Whether a daemon's standard error holds a report of its simulated board's
// checks: a descriptor closed around the board, or one still open at the
// board's end. The daemon's exit status says nothing of them.
bool boardReported(const std::string& err);

// The path of a program of the build ("korvand", "tools/lgcpc").
std::string buildProgram(const std::string& relative);

// The environment entries of korvand on the simulated board of `root`.
std::vector<std::string> korvandEnvironment(const std::string& root);

// Starts korvand on the simulated board with KORVAND_ROOT=`root`.
bool startKorvand(ChildProcess& p, const std::string& root, const std::vector<std::string>& args,
                  const std::vector<std::string>& env = {});

// Waits until `predicate` holds, polling every 10 ms, up to `ms`.
template <class Pred>
bool waitFor(Pred predicate, int ms = 5000);

#include "tests/support/daemon_process_impl.h"
#include "tests/support/reserved_port.h"

#endif
