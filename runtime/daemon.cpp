#include "runtime/daemon.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "runtime/log_file_stream_buf.h"
#include "runtime/syslog_manager.h"
#include "runtime/syslog_stream.h"

namespace Daemon {

namespace {
// The syslog ident; the manager keeps a pointer to it.
char tstr[80];
}  // namespace

Sentry::Sentry(const Params& params) : mMode(params.mMode), mLogBuf(nullptr) {
    if (::daemon(params.mNoChdir ? 1 : 0, 0) != 0) {
        std::cerr << "daemon() fail!" << std::endl;
        std::exit(2);
    }
    if (mMode == Params::kSysLog) ToSysLog(params.mName);
    if (mMode == Params::kLogFiles) ToLogFiles(params.mName);
}

// The stream buffers stay for the rest of the process: the streams are
// flushed at exit after every static object is gone.
void Sentry::ToSysLog(const std::string& ident) {
    tstr[ident.copy(tstr, sizeof tstr - 1)] = '\0';
    syslogManager.openlog(tstr, LOG_NDELAY, 0);
    std::cout.rdbuf(new ManagedSysLogStreamBuf(LOG_DAEMON, LOG_NOTICE));
    std::cerr.rdbuf(new ManagedSysLogStreamBuf(LOG_DAEMON, LOG_ERR));
    std::clog.rdbuf(new ManagedSysLogStreamBuf(LOG_DAEMON, LOG_DEBUG));
    std::cin.tie(&std::cout);
    // Raw writes to the standard descriptors, also those of children, go
    // to the log socket as they are.
    int fd = syslogManager.fd();
    if (fd > 0) {
        ::dup2(fd, 1);
        ::dup2(fd, 2);
    }
}

void Sentry::ToLogFiles(const std::string& dir) {
    mLogBuf = new LogFileStreamBuf(dir);
    std::cout.rdbuf(mLogBuf);
    std::cerr.rdbuf(mLogBuf);
    std::clog.rdbuf(mLogBuf);
}

Sentry::~Sentry() {
    if (mMode != Params::kLogFiles) return;
    std::cout.rdbuf(nullptr);
    std::cerr.rdbuf(nullptr);
    std::clog.rdbuf(nullptr);
    delete mLogBuf;
}

void Init(const Params& params) {
    static Sentry sentry(params);
}

}  // namespace Daemon
