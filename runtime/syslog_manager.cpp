#include "runtime/syslog_manager.h"

#include <errno.h>
#include <fcntl.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "board/fs_root.h"
#include "runtime/fd.h"
#include "runtime/mux_clock.h"

SysLogManager syslogManager;

namespace {

const char kLogPath[] = "/dev/log";
const char kConsolePath[] = "/dev/console";

// The log daemon is alive but has no room: the records are dropped rather
// than the loop blocked.
bool stalled(int err) {
    return err == EAGAIN || err == EWOULDBLOCK || err == ENOBUFS;
}

}  // namespace

// ---- public operations --------------------------------------------------------

void SysLogManager::openlog(const char* ident, int options, int facility) {
    openlog_internal(ident, options, facility);
}

void SysLogManager::closelog() {
    closelog_internal();
    mIdent = "syslog-zq";
    mSockType = SOCK_DGRAM;
    mBatchLen = 0;
    mIovCount = 0;
}

void SysLogManager::syslog(int priority, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    syslog_internal(priority, format, ap);
    va_end(ap);
}

int SysLogManager::sendmsg() {
    if (mBatchLen == 0 || mIovCount < 1) return 0;
    int result = 0;
    if (mFd >= 0)
        result = sendQueued();
    else
        mDropped += static_cast<unsigned long>(mIovCount);
    mBatchLen = 0;
    mIovCount = 0;
    return result;
}

// ---- connection ---------------------------------------------------------------

bool SysLogManager::fillAddress() {
    std::string path = Fs::path(kLogPath);
    if (path.size() >= sizeof mAddr.sun_path) return false;
    std::memset(&mAddr, 0, sizeof mAddr);
    mAddr.sun_family = AF_UNIX;
    std::memcpy(mAddr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A stream connect waits while the listener's backlog is full; the socket
// is non-blocking for the connect only, because the standard descriptors
// of the process and its children may share it.
bool SysLogManager::connectSocket() {
    NonBlockMode(mFd);
    bool ok = ::connect(mFd, reinterpret_cast<const sockaddr*>(&mAddr), sizeof mAddr) == 0;
    int err = errno;
    BlockMode(mFd);
    errno = err;
    return ok;
}

void SysLogManager::openlog_internal(const char* ident, int options, int facility) {
    if (ident) mIdent = ident;
    mOptions = options;
    if (facility != 0 && (facility & ~LOG_FACMASK) == 0) mFacility = facility;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (mFd < 0) {
            if (!fillAddress() || !(mOptions & LOG_NDELAY)) return;
            mFd = ::socket(AF_UNIX, mSockType | SOCK_CLOEXEC, 0);
            if (mFd < 0) return;
        }
        if (mConnected) return;
        if (connectSocket()) {
            mConnected = true;
            return;
        }
        int err = errno;
        ::close(mFd);
        mFd = -1;
        if (err != EPROTOTYPE) return;
        mSockType = mSockType == SOCK_DGRAM ? SOCK_STREAM : SOCK_DGRAM;
    }
}

void SysLogManager::closelog_internal() {
    if (!mConnected) return;
    ::close(mFd);
    mFd = -1;
    mConnected = false;
}

// ---- records ------------------------------------------------------------------

// "<priority>Mmm dd hh:mm:ss ident: text", cut to fit the record buffer.
// Returns the length; `textStart` is where the part after the time stamp
// begins.
int SysLogManager::formatRecord(int priority, const char* format, va_list ap, int& textStart) {
    const int last = kRecordSize - 1;
    int pos = 0;
    auto advance = [&](int n) { pos = n < 0 ? pos : std::min(last, pos + n); };
    advance(std::snprintf(mRecord, kRecordSize, "<%d>", priority));
    time_t now = Mux::seconds();
    struct tm local;
    localtime_r(&now, &local);
    advance(static_cast<int>(std::strftime(mRecord + pos, kRecordSize - pos, "%h %e %T ", &local)));
    textStart = pos;
    if (*mIdent) advance(std::snprintf(mRecord + pos, kRecordSize - pos, "%s", mIdent));
    if (mOptions & LOG_PID)
        advance(std::snprintf(mRecord + pos, kRecordSize - pos, "[%d]", getpid()));
    if (*mIdent) advance(std::snprintf(mRecord + pos, kRecordSize - pos, ": "));
    advance(std::vsnprintf(mRecord + pos, kRecordSize - pos, format, ap));
    mRecord[pos] = '\0';
    return pos;
}

void SysLogManager::syslog_internal(int priority, const char* format, va_list ap) {
    if (!(mMask & (1 << (priority & LOG_PRIMASK)))) return;
    if ((priority & LOG_FACMASK) == 0) priority |= mFacility;
    int textStart = 0;
    int length = formatRecord(priority, format, ap, textStart);
    if (mOptions & LOG_PERROR) writeToStderr(textStart, length);
    if (!mConnected) openlog_internal(mIdent, mOptions | LOG_NDELAY, 0);
    bool counted = false;
    if (mConnected) {
        if (sendmsg_internal(mRecord, length + 1) >= 0) return;
        counted = true;  // the failed send counted it
        closelog_internal();
        openlog_internal(mIdent, mOptions | LOG_NDELAY, 0);
        if (mConnected) {
            --mDropped;  // it gets a second chance
            if (sendmsg_internal(mRecord, length + 1) >= 0) return;
        }
    }
    closelog_internal();
    if (!counted) ++mDropped;
    if (mOptions & LOG_CONS) writeToConsole(textStart, length);
}

// Queues one record; returns the result of the send that took it, or 0
// while it waits in the queue.
int SysLogManager::sendmsg_internal(const char* record, int length) {
    if (!record || length <= 0) return 0;
    if (mBatchLen + length >= kBatchSize || mIovCount >= kMaxRecords) sendmsg();
    char* copy = mBatch + mBatchLen;
    std::memcpy(copy, record, static_cast<size_t>(length));
    mIov[mIovCount] = iovec{copy, static_cast<size_t>(length)};
    mMsgs[mIovCount].msg_hdr.msg_iov = &mIov[mIovCount];
    mMsgs[mIovCount].msg_hdr.msg_iovlen = 1;
    mBatchLen += length;
    ++mIovCount;
    if (mIovCount >= kMaxRecords || mBatchLen >= kBatchSendMark) return sendmsg();
    return 0;
}

// Sends the records from `next` on, one message each; returns the index of
// the first one that was not wholly sent, errno telling why.
int SysLogManager::sendAll(int next) {
    // A connected stream socket refuses a destination address.
    bool datagram = mSockType == SOCK_DGRAM;
    for (int i = next; i < mIovCount; ++i) {
        mMsgs[i].msg_hdr.msg_name = datagram ? &mAddr : nullptr;
        mMsgs[i].msg_hdr.msg_namelen = datagram ? sizeof mAddr : 0;
    }
    while (next < mIovCount) {
        int n = ::sendmmsg(mFd, mMsgs + next, static_cast<unsigned>(mIovCount - next),
                           MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EAGAIN;
            return next;
        }
        for (int end = next + n; next < end; ++next) {
            if (mMsgs[next].msg_len == mIov[next].iov_len) continue;
            // Part of a record on a stream: closing makes the reader drop
            // the fragment instead of joining it to the next record.
            closelog_internal();
            errno = EAGAIN;
            return next;
        }
    }
    return next;
}

// A stalled log daemon loses the rest of the queue; a lost connection (the
// log daemon restarted) is made again once for the rest.
int SysLogManager::sendQueued() {
    int sent = sendAll(0);
    if (sent < mIovCount && !stalled(errno)) {
        closelog_internal();
        openlog_internal(mIdent, mOptions | LOG_NDELAY, 0);
        if (!mConnected) {
            mDropped += static_cast<unsigned long>(mIovCount - sent);
            return -1;
        }
        sent = sendAll(sent);
    }
    if (sent == mIovCount) return 0;
    bool lost = !stalled(errno);
    mDropped += static_cast<unsigned long>(mIovCount - sent);
    return lost ? -1 : 0;
}

// ---- other outlets ------------------------------------------------------------

void SysLogManager::writeToStderr(int textStart, int length) const {
    iovec parts[2] = {
        {const_cast<char*>(mRecord + textStart), static_cast<size_t>(length - textStart)},
        {const_cast<char*>("\n"), 1}};
    bool endsInLine = length > textStart && mRecord[length - 1] == '\n';
    if (::writev(2, parts, endsInLine ? 1 : 2) < 0) {
        // Nothing else to tell it to.
    }
}

void SysLogManager::writeToConsole(int textStart, int length) const {
    int fd = ::open(Fs::path(kConsolePath).c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    iovec parts[2] = {
        {const_cast<char*>(mRecord + textStart), static_cast<size_t>(length - textStart)},
        {const_cast<char*>("\r\n"), 2}};
    if (::writev(fd, parts, 2) < 0) {
        // The console is the last resort.
    }
    ::close(fd);
}
