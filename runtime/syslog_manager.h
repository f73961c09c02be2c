#ifndef KORVAND_RUNTIME_SYSLOG_MANAGER_H
#define KORVAND_RUNTIME_SYSLOG_MANAGER_H

#include <stdarg.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>

// The process's own syslog client on the local log socket "/dev/log"
// (below the filesystem root): a datagram socket, or a stream socket when
// the datagram connect fails with EPROTOTYPE.
//
// Records are formatted as "<priority>Mmm dd hh:mm:ss ident: text" with a
// terminating NUL and queued; one flush sends the queue with one sendmmsg
// call, one message per record, so a syslog daemon logs each record on its
// own at its own priority. Sending never blocks the loop: a record that the
// log daemon has no room for is dropped and counted.
//
// The object holds no resources that need a destructor, so it stays usable
// while the standard streams are flushed at process exit.
class SysLogManager {
public:
    static const int kRecordSize = 1024;
    static const int kBatchSize = 16384;
    static const int kBatchSendMark = 12289;
    static const int kMaxRecords = 256;

    constexpr SysLogManager() = default;

    // `ident` is kept by pointer and must outlive its use.
    void openlog(const char* ident, int options, int facility);
    void closelog();
    void syslog(int priority, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Sends the queued records; the queue is empty afterwards.
    int sendmsg();

    int fd() const { return mFd; }
    bool connected() const { return mConnected; }
    // Records formatted but never handed to the log socket.
    unsigned long dropped() const { return mDropped; }

    int mSockType = SOCK_DGRAM;
    int mFd = -1;
    bool mConnected = false;
    int mOptions = 0;
    const char* mIdent = "syslog-zq";
    int mFacility = 8;  // LOG_USER
    int mMask = 255;
    sockaddr_un mAddr{};
    char mRecord[kRecordSize]{};
    char mBatch[kBatchSize]{};
    int mBatchLen = 0;
    mmsghdr mMsgs[kMaxRecords]{};
    iovec mIov[kMaxRecords]{};
    int mIovCount = 0;
    unsigned long mDropped = 0;

private:
    void openlog_internal(const char* ident, int options, int facility);
    void closelog_internal();
    void syslog_internal(int priority, const char* format, va_list ap);
    int sendmsg_internal(const char* record, int length);
    bool fillAddress();
    bool connectSocket();
    int formatRecord(int priority, const char* format, va_list ap, int& textStart);
    int sendQueued();
    int sendAll(int first);
    void writeToConsole(int textStart, int length) const;
    void writeToStderr(int textStart, int length) const;
};

extern SysLogManager syslogManager;

#endif
