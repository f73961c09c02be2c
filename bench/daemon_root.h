#ifndef KORVAND_BENCH_DAEMON_ROOT_H
#define KORVAND_BENCH_DAEMON_ROOT_H

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

// A private filesystem root for the daemon in the directory `base`, removed
// with the object.
struct DaemonRoot {
    explicit DaemonRoot(const std::string& base = "/tmp") {
        std::string tmpl = base + "/korvand-bench-XXXXXX";
        path = ::mkdtemp(&tmpl[0]);
        ::mkdir((path + "/var").c_str(), 0755);
        ::mkdir((path + "/var/run").c_str(), 0755);
        ::mkdir((path + "/dev").c_str(), 0755);  // the simulated board's control socket
    }
    ~DaemonRoot() {
        std::string cmd = "rm -rf '" + path + "'";
        if (::system(cmd.c_str()) != 0) {
            // A temporary directory left behind is harmless.
        }
    }
    std::string path;
};

#endif
