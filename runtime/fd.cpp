#include "runtime/fd.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "board/board_io.h"

int Fd::close() {
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    int r = boardIo().close(fd_);
    fd_ = -1;
    return r;
}

Fd Fd::dup() const {
    if (fd_ < 0) return Fd();
    return Fd(boardIo().dup(fd_));
}

bool Fd::NonBlock() { return fd_ >= 0 && NonBlockMode(fd_); }

bool NonBlockMode(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    return flags != -1 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != -1;
}

bool BlockMode(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    return flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != -1;
}

bool SetCloexec(int fd, bool on) {
    int flags = ::fcntl(fd, F_GETFD);
    if (flags == -1) return true;
    return ::fcntl(fd, F_SETFD, on ? (flags | FD_CLOEXEC) : (flags & ~FD_CLOEXEC)) == -1;
}

bool WriteAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}
