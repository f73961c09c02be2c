#ifndef KORVAND_BOARD_BOARD_IO_H
#define KORVAND_BOARD_BOARD_IO_H

#include <sys/types.h>

// The one door to the board's kernel drivers. Every open, request, read and
// write of a driver device goes through the process-wide instance, so the
// daemon runs unchanged against the real drivers or the simulated board.
// The daemon's closes and duplicates of descriptors go through it too, so
// the simulated board knows which numbers still name its devices; poll
// stays an ordinary system call.
class BoardIo {
public:
    virtual ~BoardIo() = default;
    virtual int open(const char* path, int flags) = 0;
    virtual int close(int fd) = 0;
    // A close-on-exec duplicate on the lowest free number, or -1 with errno.
    virtual int dup(int fd) = 0;
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
    // Requests that pass a plain integer instead of a pointer.
    virtual int ioctl(int fd, unsigned long request, long arg) = 0;
    virtual ssize_t read(int fd, void* buf, size_t len) = 0;
    virtual ssize_t write(int fd, const void* buf, size_t len) = 0;
};

// The board in use: the kernel drivers unless another one was installed.
BoardIo& boardIo();

// Installs `io` as the board in use (null returns to the kernel drivers).
// The caller keeps ownership.
void setBoardIo(BoardIo* io);

// Whether KORVAND_BOARD asks for the simulated board ("sim").
bool simBoardInEnvironment();

// The simulated board of the process when KORVAND_BOARD is "sim", else
// null. Built at the first call and not yet in use; it lives until the
// process ends, so whatever is built after it goes before it: built first,
// its end is the last look at the descriptors of its devices.
class SimBoard;
SimBoard* simBoardFromEnvironment();

// Selects the simulated board when KORVAND_BOARD is "sim"; otherwise leaves
// the kernel drivers. Returns true when the simulated board was selected.
// KORVAND_SIM_COMMANDS may hold control commands, separated by ";", that the
// simulated board runs first (for example "/dev/hal fault open ENODEV").
bool selectBoardFromEnvironment();

// The simulated board selected from the environment, or null.
SimBoard* selectedSimBoard();

#endif
