#include "runtime/child_program.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace {

// What the child writes, laid out before the fork.
struct Prepared {
    std::vector<char*> argv;
    std::string banner;
    std::string failText;
};

Prepared Prepare(const ChildProgram::Command& c) {
    Prepared p;
    for (const std::string& a : c.argv) p.argv.push_back(const_cast<char*>(a.c_str()));
    p.argv.push_back(nullptr);
    if (!c.banner.empty()) p.banner = c.banner + "\n";
    if (!c.failText.empty()) p.failText = c.failText + "\n";
    return p;
}

// ---- in the child: system calls only ------------------------------------------------

// Makes `fd` the descriptor `target`, open across the exec.
void Take(int fd, int target) {
    if (fd < 0) return;
    if (fd == target)
        ::fcntl(fd, F_SETFD, 0);
    else
        ::dup2(fd, target);
}

// The program starts as from a shell: default dispositions, the daemon's
// own mask (its handlers would only disturb the daemon through the
// descriptors they write to).
void ResetSignals(const sigset_t& mask) {
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &dfl, nullptr);
    ::sigprocmask(SIG_SETMASK, &mask, nullptr);
}

[[noreturn]] void RunChild(const ChildProgram::Command& c, const Prepared& p, int errorPipe,
                           const sigset_t& mask) {
    ResetSignals(mask);
    Take(c.input, STDIN_FILENO);
    Take(c.output, STDOUT_FILENO);
    for (unsigned left = c.delaySeconds; left > 0;) left = ::sleep(left);
    WriteAll(STDOUT_FILENO, p.banner.data(), p.banner.size());
    ::execv(c.path.c_str(), p.argv.data());
    int err = errno;
    if (::write(errorPipe, &err, sizeof err) < 0) {
        // The parent then sees an exit without the cause.
    }
    WriteAll(STDOUT_FILENO, p.failText.data(), p.failText.size());
    ::_exit(c.failStatus);
}

}  // namespace

int ChildProgram::Start(const Command& command) {
    execPipe.close();
    execError = 0;
    Prepared prepared = Prepare(command);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return -1;
    // Signals stay blocked until the child has its default dispositions:
    // a daemon's handler must never run in the child.
    sigset_t all, old;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &old);
    pid_t pid = ::fork();
    if (pid == 0) RunChild(command, prepared, ends[1], old);
    int err = errno;
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ::close(ends[1]);
    if (pid < 0) {
        ::close(ends[0]);
        errno = err;
        return -1;
    }
    execPipe = Fd(ends[0]);
    execPipe.NonBlock();
    return pid;
}

int ChildProgram::ExecError() {
    if (!execPipe) return execError;
    int err = 0;
    ssize_t n = ::read(execPipe.get(), &err, sizeof err);
    if (n == ssize_t(sizeof err)) {
        execError = err;
        execPipe.close();
    } else if (n == 0) {
        // Closed by the exec (or by an end before it): no error to tell.
        execPipe.close();
    }
    return execError;
}
