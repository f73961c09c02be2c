#ifndef KORVAND_BOARD_KERNEL_IO_H
#define KORVAND_BOARD_KERNEL_IO_H

#include "board/board_io.h"

// Passes every call straight to the system call. Device paths are absolute
// paths under the filesystem root.
class KernelIo : public BoardIo {
public:
    int open(const char* path, int flags) override;
    int close(int fd) override;
    int dup(int fd) override;
    int ioctl(int fd, unsigned long request, void* arg) override;
    int ioctl(int fd, unsigned long request, long arg) override;
    ssize_t read(int fd, void* buf, size_t len) override;
    ssize_t write(int fd, const void* buf, size_t len) override;
};

#endif
