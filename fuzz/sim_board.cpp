// The standard simulated board's E1, CAS, bus clock, SPI and switch models
// under arbitrary requests, records and control commands. Besides memory
// faults it checks that a refused request says why (errno set).

#include "board/sim_board.h"

#include <errno.h>
#include <fcntl.h>
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
            default: {
                char buf[64];
                while (board->read(fd, buf, sizeof buf) > 0) {
                }
            }
        }
    }
    for (int fd : fds) ::close(fd);
    return 0;
}
