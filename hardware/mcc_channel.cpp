#include "hardware/mcc_channel.h"

#include <fcntl.h>

#include "board/board_io.h"

namespace Mcc {

int OpenDevice() {
    return boardIo().open(kDevice, O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

bool AllocateChannel(int fd, const Allocate& record) {
    Allocate r = record;
    return boardIo().ioctl(fd, MCC_ALLOCATE, static_cast<void*>(&r)) >= 0;
}

}  // namespace Mcc
