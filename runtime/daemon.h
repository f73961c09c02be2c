#ifndef KORVAND_RUNTIME_DAEMON_H
#define KORVAND_RUNTIME_DAEMON_H

#include <string>

class LogFileStreamBuf;

// Detaching from the terminal. Init, on its first call, runs daemon(3) and
// sends the standard output, error and log streams to syslog (facility
// daemon; notice, err and debug) or to hourly log files; later calls do
// nothing.
namespace Daemon {

struct Params {
    enum { kSysLog = 0, kLogFiles = 1 };

    int mMode = kSysLog;  // any other value leaves the streams alone
    bool mNoChdir = false;
    // The syslog ident, or the directory of the log files.
    std::string mName = "unknown";
};

// The process-wide state of daemon mode, from the first Init to exit.
class Sentry {
public:
    explicit Sentry(const Params& params);
    ~Sentry();
    Sentry(const Sentry&) = delete;
    Sentry& operator=(const Sentry&) = delete;

    int mMode;
    LogFileStreamBuf* mLogBuf;

private:
    void ToSysLog(const std::string& ident);
    void ToLogFiles(const std::string& dir);
};

void Init(const Params& params);

}  // namespace Daemon

#endif
