#include "tests/support/descriptors.h"

#include <dirent.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include <fstream>
#include <string>

namespace {

int countEntries(const std::string& dir) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return -1;
    int n = 0;
    while (dirent* e = ::readdir(d))
        if (e->d_name[0] != '.') ++n;
    ::closedir(d);
    return n;
}

std::string proc(pid_t pid, const char* file) {
    return "/proc/" + std::to_string(pid) + "/" + file;
}

// Blocked in poll, where the daemon's loop waits: the file names the
// system call a blocked process is in.
bool waitingInLoop(pid_t pid) {
    std::ifstream in(proc(pid, "syscall"));
    long call = -1;
    if (!(in >> call)) return false;
#ifdef SYS_poll
    if (call == SYS_poll) return true;
#endif
    return call == SYS_ppoll;
}

// Each wake from a wait counts one voluntary context switch.
long wakes(pid_t pid) {
    std::ifstream in(proc(pid, "status"));
    std::string word;
    long n = -1;
    while (in >> word)
        if (word == "voluntary_ctxt_switches:") in >> n;
    return n;
}

}  // namespace

int openDescriptors() {
    int n = countEntries("/proc/self/fd");
    return n < 0 ? n : n - 1;
}

int descriptorsAtRest(pid_t pid) {
    // The count holds when the process waited in its loop from before the
    // count to after it without waking.
    for (int attempt = 0; attempt < 100000; ++attempt) {
        long before = wakes(pid);
        if (before < 0) return -1;
        if (!waitingInLoop(pid)) {
            sched_yield();
            continue;
        }
        int n = countEntries(proc(pid, "fd"));
        if (waitingInLoop(pid) && wakes(pid) == before) return n;
    }
    return -1;
}

std::map<int, std::string> descriptorTargets(pid_t pid) {
    std::map<int, std::string> found;
    const std::string dir = proc(pid, "fd");
    DIR* d = ::opendir(dir.c_str());
    if (!d) return found;
    const int own = ::dirfd(d);
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.') continue;
        const int fd = std::atoi(e->d_name);
        char target[PATH_MAX];
        ssize_t n = ::readlinkat(own, e->d_name, target, sizeof target);
        if (n > 0 && !(pid == ::getpid() && fd == own)) found[fd] = std::string(target, size_t(n));
    }
    ::closedir(d);
    return found;
}
