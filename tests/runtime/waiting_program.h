#ifndef KORVAND_TESTS_RUNTIME_WAITING_PROGRAM_H
#define KORVAND_TESTS_RUNTIME_WAITING_PROGRAM_H

#include <signal.h>
#include <sys/wait.h>

#include "runtime/child_program.h"

// A program started through ChildProgram that waits an hour between its
// fork and its exec, with `input` and `output` given (-1: none); killed
// and collected when the object goes.
class WaitingProgram {
public:
    explicit WaitingProgram(int input = -1, int output = -1) {
        ChildProgram::Command command;
        command.path = "/bin/true";
        command.argv = {"true"};
        command.input = input;
        command.output = output;
        command.delaySeconds = 3600;
        pid_ = program_.Start(command);
    }
    ~WaitingProgram() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    WaitingProgram(const WaitingProgram&) = delete;
    WaitingProgram& operator=(const WaitingProgram&) = delete;

    // The child's pid, or -1 when it could not be started.
    pid_t pid() const { return pid_; }

private:
    ChildProgram program_;
    pid_t pid_ = -1;
};

#endif
