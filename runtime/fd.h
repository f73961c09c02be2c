#ifndef KORVAND_RUNTIME_FD_H
#define KORVAND_RUNTIME_FD_H

#include <cstddef>

// A descriptor handle passed by value. Copying does not duplicate the
// descriptor and nothing closes it implicitly: the holder calls close().
// Closes and duplicates go through the board in use, which must know when
// a number stops naming one of its devices; so no child between fork and
// exec calls them.
class Fd {
public:
    Fd() = default;
    Fd(int fd) : fd_(fd) {}  // NOLINT: descriptors convert freely

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    bool operator==(const Fd& o) const { return fd_ == o.fd_; }
    bool operator!=(const Fd& o) const { return fd_ != o.fd_; }

    // Closes the descriptor and forgets it; -1 with EBADF when there is none.
    int close();
    // A close-on-exec duplicate, or -1.
    Fd dup() const;
    bool NonBlock();

private:
    int fd_ = -1;
};

bool NonBlockMode(int fd);
bool BlockMode(int fd);
// True when the flag could not be changed.
bool SetCloexec(int fd, bool on);
// Writes all `size` bytes to a blocking descriptor, again after an
// interruption or a short write; false on an error. Only write() is called,
// so a child may use it between fork and exec.
bool WriteAll(int fd, const void* data, size_t size);

#endif
