#include "runtime/child_program.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

// What the child writes and keeps, laid out before the fork.
struct Prepared {
    std::vector<char*> argv;
    std::string banner;
    std::string failText;
    std::vector<int> kept;  // above the standard three, ascending
    int lastFd = 0;         // the highest number closed one by one
};

Prepared Prepare(const ChildProgram::Command& c, int errorPipe) {
    Prepared p;
    for (const std::string& a : c.argv) p.argv.push_back(const_cast<char*>(a.c_str()));
    p.argv.push_back(nullptr);
    if (!c.banner.empty()) p.banner = c.banner + "\n";
    if (!c.failText.empty()) p.failText = c.failText + "\n";
    for (int fd : {c.input, c.output, errorPipe})
        if (fd > STDERR_FILENO) p.kept.push_back(fd);
    std::sort(p.kept.begin(), p.kept.end());
    // Where close_range is missing, up to the descriptor limit (or a
    // number no descriptor of the daemon's reaches where it is very high).
    rlimit open;
    const rlim_t most = 65536;
    p.lastFd = int(::getrlimit(RLIMIT_NOFILE, &open) == 0 ? std::min(open.rlim_cur, most) : most) - 1;
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

// Closes descriptors `first` to `last`; one by one, up to `lastFd`, where
// the kernel has no close_range.
void CloseRange(unsigned first, unsigned last, int lastFd) {
    if (first > last) return;
    if (::close_range(first, last, 0) == 0) return;
    for (int fd = int(first); fd <= lastFd && unsigned(fd) <= last; ++fd) ::close(fd);
}

// Closes every copy of the daemon's descriptors but the standard three and
// `kept`: the child holds none of its root's lock, its board's sockets, its
// listeners or its controller's connection, however long it waits to exec,
// so a daemon killed meanwhile leaves them to the next start at once.
void CloseInherited(const Prepared& p) {
    unsigned from = STDERR_FILENO + 1;
    for (int fd : p.kept) {
        CloseRange(from, unsigned(fd) - 1, p.lastFd);
        from = unsigned(fd) + 1;
    }
    CloseRange(from, ~0U, p.lastFd);
}

[[noreturn]] void RunChild(const ChildProgram::Command& c, const Prepared& p, int errorPipe,
                           const sigset_t& mask) {
    CloseInherited(p);
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
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return -1;
    Prepared prepared = Prepare(command, ends[1]);
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
