#include "runtime/directory_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

DirectoryLock::DirectoryLock(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error_ = errno;
        return;
    }
    // flock belongs to the open, not to the process: a second open of the
    // same directory is refused even in this process, and a fork's copy
    // of the descriptor keeps the lock of the open it shares.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        error_ = errno;
        ::close(fd);
        return;
    }
    fd_ = fd;
}

DirectoryLock::~DirectoryLock() {
    if (fd_ >= 0) ::close(fd_);
}
