#include "runtime/ipc_signal.h"

#include <cstring>

namespace IPC {
namespace Signal {

namespace {

int install(int sig, void (*h)(int), const sigset_t& mask, int flags) {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = h;
    sa.sa_mask = mask;
    sa.sa_flags = flags & ~SA_SIGINFO;
    return sigaction(sig, &sa, nullptr);
}

}  // namespace

bool is_signal(int sig) {
    sigset_t s;
    sigemptyset(&s);
    return sigaddset(&s, sig) == 0;
}

int ignore(int sig) { return install(sig, SIG_IGN, Set().get(), 0); }

int system(int sig) { return install(sig, SIG_DFL, Set().get(), 0); }

int handle(int sig, Handler h, const Set& mask, int flags) { return install(sig, h, mask.get(), flags); }

int handle(int sig, Handler h, int flags) { return handle(sig, h, Set(), flags); }

// The three-argument form is installed like the one-argument form: the
// kernel passes the signal number first either way.
int handle(int sig, InfoHandler h, const Set& mask, int flags) {
    return install(sig, reinterpret_cast<void (*)(int)>(reinterpret_cast<void*>(h)), mask.get(), flags);
}

int handle(int sig, InfoHandler h, int flags) { return handle(sig, h, Set(), flags); }

// As siginterrupt(sig, 0) and siginterrupt(sig, 1): set or clear
// SA_RESTART on the installed action.
namespace {

int setRestart(int sig, bool restart) {
    struct sigaction sa;
    if (sigaction(sig, nullptr, &sa) != 0) return -1;
    if (restart)
        sa.sa_flags |= SA_RESTART;
    else
        sa.sa_flags &= ~SA_RESTART;
    return sigaction(sig, &sa, nullptr);
}

}  // namespace

int disable_int(int sig) { return setRestart(sig, true); }

int enable_int(int sig) { return setRestart(sig, false); }

}  // namespace Signal
}  // namespace IPC
