#include "hardware/mcc_channel.h"

#include <fcntl.h>

#include "board/board_io.h"

namespace Mcc {

int OpenDevice(int accessMode) {
    return boardIo().open(kDevice, accessMode | O_NONBLOCK | O_CLOEXEC);
}

bool AllocateChannel(int fd, const Allocate& record) {
    Allocate r = record;
    return boardIo().ioctl(fd, MCC_ALLOCATE, static_cast<void*>(&r)) >= 0;
}

namespace {

class BoardChannelIo : public ASync::CopyIo {
public:
    ssize_t read(int fd, void* buf, size_t len) override { return boardIo().read(fd, buf, len); }
    ssize_t write(int fd, const void* buf, size_t len) override { return boardIo().write(fd, buf, len); }
};

}  // namespace

ASync::CopyIo& ChannelIo() {
    static BoardChannelIo io;
    return io;
}

}  // namespace Mcc
