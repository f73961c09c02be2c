// The standard simulated board's E1, CAS, bus clock, SPI and switch models
// under arbitrary requests, records and control commands, while the
// descriptors are closed, reopened and duplicated through the board. Besides
// memory faults it checks that a refused request says why (errno set), that
// a number closed through the board, or taken since by another socket,
// reaches no model, and that no descriptor counts as closed around the
// board.

#include "board/sim_board.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "board/e1_driver.h"
#include "board/hal_driver.h"

namespace {

const char* const kDevices[] = {E1::kMaintenanceDevice, E1::kCasDevice, Hal::kDevice};
const unsigned long kRequests[] = {
    E1::kTrunkStatus, E1::kTransmitClockMask, E1::kClockSource,
    E1::kCasOpen,     E1::kCasClose,          E1::kCasSet,
    E1::kCasGet,      E1::kCasEnable,         Hal::HW_CLOCK_SELECT,
    Hal::kSpiWrite,   Hal::kSpiRead,          Hal::kMuxConnect,
    Hal::kMuxDisable, Hal::kMuxWrite,         Hal::kMuxRead,
};
const size_t kRecordSize = 80;  // the largest record

struct Input {
    const uint8_t* data;
    size_t size;
    uint8_t byte() {
        if (!size) return 0;
        --size;
        return *data++;
    }
    size_t take(void* out, size_t n) {
        n = n < size ? n : size;
        std::memcpy(out, data, n);
        data += n;
        size -= n;
        return n;
    }
};

void check(int result) {
    if (result == -1 && errno == 0) abort();
}

// `fd` names none of the board's opens: the switch request, which the board
// routes by number, and `request` both fail (with `err`, when not 0), and
// the model of `path`, which the number named before, hears neither.
void checkNotRouted(SimBoard& board, const char* path, int fd, unsigned long request, int err) {
    SimDevice& model = *board.device(path);
    model.clearLog();
    Hal::MuxChannel output{Hal::kBusFirst};
    uint8_t record[kRecordSize] = {};
    errno = 0;
    if (board.ioctl(fd, Hal::kMuxDisable, &output) != -1 || (err && errno != err)) abort();
    errno = 0;
    if (board.ioctl(fd, request, record) != -1 || (err && errno != err)) abort();
    if (!model.log().empty()) abort();
}

// Closes the open of device `k` through the board, checks its number, then
// again while a socket holds it, and opens the device anew.
void reopen(SimBoard& board, int (&fds)[3], size_t k, unsigned long request) {
    int old = fds[k];
    if (old >= 0) {
        if (board.close(old) != 0) abort();
        checkNotRouted(board, kDevices[k], old, request, EBADF);
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) == 0) {
            if (ends[0] == old) checkNotRouted(board, kDevices[k], old, request, 0);
            ::close(ends[0]);
            ::close(ends[1]);
        }
    }
    fds[k] = board.open(kDevices[k], O_RDWR | O_NONBLOCK);
}

// Goes on with a duplicate of the open of device `k`, its original closed
// through the board.
void duplicate(SimBoard& board, int (&fds)[3], size_t k, unsigned long request) {
    int original = fds[k];
    int copy = board.dup(original);
    if (copy < 0) return;
    if (board.close(original) != 0) abort();
    checkNotRouted(board, kDevices[k], original, request, EBADF);
    fds[k] = copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
    int fds[3];
    for (size_t i = 0; i < 3; ++i) fds[i] = board->open(kDevices[i], O_RDWR | O_NONBLOCK);
    Input in{data, size};
    while (in.size) {
        uint8_t op = in.byte();
        int fd = fds[op % 3];
        unsigned long request = kRequests[in.byte() % (sizeof kRequests / sizeof kRequests[0])];
        errno = 0;
        switch ((op >> 2) % 4) {
            case 0: {
                // Records may arrive unaligned, or not at all.
                uint8_t buf[kRecordSize + 1] = {};
                uint8_t* record = buf + (op & 0x40 ? 1 : 0);
                in.take(record, in.byte() % (kRecordSize + 1));
                check(board->ioctl(fd, request, op & 0x80 ? nullptr : static_cast<void*>(record)));
                break;
            }
            case 1: {
                int64_t value = 0;
                in.take(&value, sizeof value);
                check(board->ioctl(fd, request, static_cast<long>(value)));
                break;
            }
            case 2: {
                char line[128];
                size_t n = in.take(line, in.byte() % sizeof line);
                board->control(std::string(kDevices[op % 3]) + " " + std::string(line, n));
                break;
            }
            default:
                switch ((op >> 4) % 4) {
                    case 1:
                        reopen(*board, fds, op % 3, request);
                        break;
                    case 2:
                        duplicate(*board, fds, op % 3, request);
                        break;
                    default: {
                        char buf[64];
                        while (board->read(fd, buf, sizeof buf) > 0) {
                        }
                    }
                }
        }
    }
    for (int fd : fds)
        if (fd >= 0) board->close(fd);
    board->collect();
    board->checkNumbers();
    if (board->closedAroundTheBoard() != 0) abort();
    return 0;
}
