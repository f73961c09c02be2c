#include "runtime/log_file_stream_buf.h"

#include <time.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "board/fs_root.h"
#include "runtime/mux_clock.h"

namespace {

const int kPutAreaSize = 16;

// The loop's clock as local time, with its microseconds.
struct tm localNow(long& microseconds) {
    Mux::timeval tv;
    Mux::gettimeval(tv);
    time_t seconds = tv.tv_sec;
    struct tm local;
    localtime_r(&seconds, &local);
    microseconds = tv.tv_usec;
    return local;
}

// The date and hour that name a log file: "%Y_%m_%d-%H".
std::string fileStamp(const struct tm& local) {
    char stamp[128];
    std::strftime(stamp, sizeof stamp, "%Y_%m_%d-%H", &local);
    return stamp;
}

}  // namespace

LogFileStreamBuf::LogFileStreamBuf(const std::string& dir) : mFile(new std::filebuf), mDir(dir) {
    setbuf(new char[kPutAreaSize], kPutAreaSize);
    NewFile();
    mMidLine = false;
}

LogFileStreamBuf::~LogFileStreamBuf() {
    sync();  // what waits in the put area is not lost
    delete[] mArray;
    delete mFile;
}

void LogFileStreamBuf::NewFile() {
    long microseconds = 0;
    openFile(fileStamp(localNow(microseconds)));
}

// Appends: a restart within the hour keeps what the hour logged so far.
void LogFileStreamBuf::openFile(const std::string& stamp) {
    mFile->close();
    mStamp = stamp;
    mPath = Fs::path(mDir) + "/" + mStamp + ".log";
    mFile->open(mPath, std::ios::out | std::ios::app | std::ios::binary);
}

std::streambuf* LogFileStreamBuf::setbuf(char* buffer, std::streamsize n) {
    if (n < 2) return this;
    sync();
    delete[] mArray;
    mArray = buffer;
    setp(buffer, buffer + n);
    return this;
}

int LogFileStreamBuf::sync() {
    const char* p = pbase();
    const char* end = pptr();
    if (!p) return 0;
    setp(pbase(), epptr());
    if (mMidLine) {
        // The continuation of a line gets no prefix and waits for its end
        // before the hour is looked at.
        const char* lf =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        write(p, lf ? lf + 1 : end);
        if (!lf) {
            mFile->pubsync();
            return 0;
        }
        mMidLine = false;
        p = lf + 1;
    }
    long microseconds = 0;
    struct tm local = localNow(microseconds);
    std::string stamp = fileStamp(local);
    if (stamp != mStamp) openFile(stamp);
    char prefix[32];
    int prefixLen = std::snprintf(prefix, sizeof prefix, "%02d:%02d:%05ld: ", local.tm_min,
                                  local.tm_sec, microseconds);
    while (p < end) {
        write(prefix, prefix + prefixLen);
        const char* lf =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!lf) {
            write(p, end);
            mMidLine = true;
            break;
        }
        write(p, lf + 1);
        p = lf + 1;
    }
    mFile->pubsync();
    return 0;
}

LogFileStreamBuf::int_type LogFileStreamBuf::overflow(int_type c) {
    sync();
    if (traits_type::eq_int_type(c, traits_type::eof())) return 0;
    if (!pbase()) return traits_type::eof();
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}
