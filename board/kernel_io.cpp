#include "board/kernel_io.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "board/fs_root.h"

int KernelIo::open(const char* path, int flags) {
    return ::open(Fs::path(path).c_str(), flags);
}

int KernelIo::close(int fd) { return ::close(fd); }

int KernelIo::dup(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); }

int KernelIo::ioctl(int fd, unsigned long request, void* arg) {
    return ::ioctl(fd, request, arg);
}

int KernelIo::ioctl(int fd, unsigned long request, long arg) {
    return ::ioctl(fd, request, arg);
}

ssize_t KernelIo::read(int fd, void* buf, size_t len) {
    return ::read(fd, buf, len);
}

ssize_t KernelIo::write(int fd, const void* buf, size_t len) {
    return ::write(fd, buf, len);
}
