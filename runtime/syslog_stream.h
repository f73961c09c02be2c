#ifndef KORVAND_RUNTIME_SYSLOG_STREAM_H
#define KORVAND_RUNTIME_SYSLOG_STREAM_H

#include <cstring>
#include <streambuf>

// A stream buffer that turns every line of stream text into one syslog
// record of a fixed priority. A flush passes each complete line; text after
// the last line end is passed as a record of its own, and a partial line
// waits for more text unless it fills the buffer. SysLogStreamBuf hands the
// records to the system library's syslog.
class SysLogStreamBuf : public std::streambuf {
public:
    SysLogStreamBuf(int facility, int level);
    ~SysLogStreamBuf() override;
    SysLogStreamBuf(const SysLogStreamBuf&) = delete;
    SysLogStreamBuf& operator=(const SysLogStreamBuf&) = delete;

    int priority() const { return mPriority; }

protected:
    // Adopts `buffer` (allocated with new[]); one byte stays outside the
    // put area for the terminating NUL.
    std::streambuf* setbuf(char* buffer, std::streamsize n) override;
    int sync() override;
    int_type overflow(int_type c) override;

    // Cuts the pending text into records and passes each to `emit`.
    template <class Emit>
    void cut(Emit emit);

    int mPriority;
    char* mArray = nullptr;
};

// The same with a 16 KiB buffer; the records of one flush go to the
// syslog manager and leave in one send.
class ManagedSysLogStreamBuf : public SysLogStreamBuf {
public:
    static const int kBufferSize = 16384;

    ManagedSysLogStreamBuf(int facility, int level);

protected:
    int sync() override;
};

template <class Emit>
void SysLogStreamBuf::cut(Emit emit) {
    char* begin = pbase();
    char* end = pptr();
    if (!begin) return;
    *end = '\0';
    if (std::memchr(begin, '\n', static_cast<size_t>(end - begin))) {
        char* line = begin;
        for (char* p = begin; p < end; ++p) {
            if (*p != '\n') continue;
            *p = '\0';
            emit(line);
            line = p + 1;
        }
        if (line < end) emit(line);
    } else if (end == epptr()) {
        emit(begin);
    } else {
        return;
    }
    setp(begin, epptr());
}

#endif
