#include "hardware/mcc_channel.h"

#include <errno.h>
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

DriverRead ReadFrame(int fd, short revents, Packet& frame, std::string& failure) {
    frame = Packet();
    uint8_t spill;
    bool pooled = frame.reserve_head(0);
    ssize_t n = pooled ? boardIo().read(fd, frame.tail_space(), frame.tail_room()) : boardIo().read(fd, &spill, 1);
    int err = errno;
    DriverRead outcome = driverRead(n, err, revents);
    if (outcome == DriverRead::kFailed) failure = driverReadFailure(n, err, revents);
    if (outcome != DriverRead::kData || !pooled)
        frame = Packet();
    else
        frame.put_tail(unsigned(n));
    return outcome;
}

FrameWrite WriteFrame(int fd, const Packet& frame) {
    for (;;) {
        if (boardIo().write(fd, frame.data(), frame.length()) >= 0) return FrameWrite::kSent;
        if (errno != EINTR) return errno == EAGAIN || errno == EWOULDBLOCK ? FrameWrite::kFull : FrameWrite::kFailed;
    }
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
