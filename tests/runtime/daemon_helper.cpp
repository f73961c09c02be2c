// A stand-in for the daemon's start-up in daemon mode, for the tests that
// must not detach the test binary itself: detaches with Daemon::Init,
// publishes its pid file, writes one line to each standard stream and a raw
// line to descriptor 1, then waits for SIGTERM (for a minute at most, so a
// failed test leaves nothing behind).
//
// Usage: daemon_helper syslog | daemon_helper files DIR

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <sstream>

#include "runtime/daemon.h"
#include "runtime/pid_file.h"
#include "runtime/version.h"

int main(int argc, char** argv) {
    if (argc < 2) return 64;
    Daemon::Params params;
    if (std::strcmp(argv[1], "files") == 0 && argc > 2) {
        params.mMode = Daemon::Params::kLogFiles;
        params.mName = argv[2];
    } else {
        std::ostringstream ident;
        ident << "pelm-" << Version::current;
        params.mName = ident.str();
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, nullptr);

    Daemon::Init(params);
    Linux::Run run("server");
    std::cout << "notice line" << std::endl;
    std::cerr << "error line" << std::endl;
    std::clog << "debug line" << std::endl;
    if (::write(1, "raw line\n", 9) != 9) return 3;

    alarm(60);
    int sig = 0;
    sigwait(&stop, &sig);
    return 0;
}
