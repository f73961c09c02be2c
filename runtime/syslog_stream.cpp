#include "runtime/syslog_stream.h"

#include <syslog.h>

#include "runtime/syslog_manager.h"

namespace {
const int kBaseBufferSize = 1024;
}

SysLogStreamBuf::SysLogStreamBuf(int facility, int level) : mPriority(facility | level) {
    setbuf(new char[kBaseBufferSize], kBaseBufferSize);
}

SysLogStreamBuf::~SysLogStreamBuf() {
    delete[] mArray;
}

std::streambuf* SysLogStreamBuf::setbuf(char* buffer, std::streamsize n) {
    if (n < 2) return this;
    sync();
    delete[] mArray;
    mArray = buffer;
    setp(buffer, buffer + n - 1);
    return this;
}

int SysLogStreamBuf::sync() {
    cut([this](const char* line) { ::syslog(mPriority, "%s", line); });
    return 0;
}

SysLogStreamBuf::int_type SysLogStreamBuf::overflow(int_type c) {
    sync();
    if (traits_type::eq_int_type(c, traits_type::eof())) return 0;
    if (!pbase() || pptr() == epptr()) return traits_type::eof();
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

ManagedSysLogStreamBuf::ManagedSysLogStreamBuf(int facility, int level)
    : SysLogStreamBuf(facility, level) {
    setbuf(new char[kBufferSize], kBufferSize);
}

int ManagedSysLogStreamBuf::sync() {
    cut([this](const char* line) { syslogManager.syslog(mPriority, "%s", line); });
    syslogManager.sendmsg();
    return 0;
}
