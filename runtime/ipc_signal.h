#ifndef KORVAND_RUNTIME_IPC_SIGNAL_H
#define KORVAND_RUNTIME_IPC_SIGNAL_H

#include <signal.h>

// Signal installation. Handlers are installed with sigaction and never with
// SA_SIGINFO: the handlers of this daemon use only the signal number.
namespace IPC {
namespace Signal {

class Set {
public:
    Set() { sigemptyset(&set_); }
    Set(int a, int b) : Set() {
        sigaddset(&set_, a);
        sigaddset(&set_, b);
    }
    Set(int a, int b, int c) : Set(a, b) { sigaddset(&set_, c); }
    const sigset_t& get() const { return set_; }

private:
    sigset_t set_;
};

using Handler = void (*)(int);
using InfoHandler = void (*)(int, siginfo_t*, void*);

bool is_signal(int sig);
int ignore(int sig);
int system(int sig);
int handle(int sig, Handler h, const Set& mask, int flags);
int handle(int sig, Handler h, int flags);
int handle(int sig, InfoHandler h, const Set& mask, int flags);
int handle(int sig, InfoHandler h, int flags);
int disable_int(int sig);
int enable_int(int sig);

}  // namespace Signal
}  // namespace IPC

#endif
