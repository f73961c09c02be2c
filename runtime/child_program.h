#ifndef KORVAND_RUNTIME_CHILD_PROGRAM_H
#define KORVAND_RUNTIME_CHILD_PROGRAM_H

#include <string>
#include <vector>

#include "runtime/fd.h"

// Starts an outside program (pppd, the fax programs, the T.38 program) as
// a child process, from an argument vector and never through a shell.
//
// Everything the child needs is prepared before the fork, so the child
// only makes system calls: it first closes every descriptor of the
// daemon's but the standard three and those it is given, sets the default
// signal dispositions and the signal mask the daemon had, takes its
// standard input and output, waits, writes its banner and execs. When the
// exec fails it writes the error number into a close-on-exec pipe, writes
// its failure text and leaves with _exit and the caller's status: none of
// the daemon's exit handlers or static destructors run in the child. The
// parent reads the pipe once the child has ended to tell a failed exec
// from the program's own exit.
// Nothing here waits for the child; ChildWait reports its end.
class ChildProgram {
public:
    struct Command {
        std::string path;               // what is executed (no search of PATH)
        std::vector<std::string> argv;  // argv[0] first
        int input = -1;                 // becomes standard input when >= 0
        int output = -1;                // becomes standard output when >= 0
        unsigned delaySeconds = 0;      // waited before the banner and the exec
        std::string banner;             // a line on standard output before the exec
        std::string failText;           // a line on standard output when the exec fails
        int failStatus = 2;             // the exit status when the exec fails
    };

    ChildProgram() = default;
    ~ChildProgram() { execPipe.close(); }
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;
    // Takes over the other's child: the pipe moves, the other is left empty.
    ChildProgram(ChildProgram&& other) noexcept : execPipe(other.execPipe), execError(other.execError) {
        other.execPipe = Fd();
    }

    // Forks and execs `command`: the child's pid, or -1 with errno set when
    // the pipe or the fork failed. A previous child's pipe is dropped.
    int Start(const Command& command);

    // The error number of the failed exec, or 0 when the exec succeeded or
    // the child has not come that far yet. Reliable once the child has
    // ended.
    int ExecError();

private:
    Fd execPipe;
    int execError = 0;
};

#endif
