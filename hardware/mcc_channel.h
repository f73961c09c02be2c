#ifndef KORVAND_HARDWARE_MCC_CHANNEL_H
#define KORVAND_HARDWARE_MCC_CHANNEL_H

#include <fcntl.h>

#include <string>

#include "board/mcc_driver.h"
#include "hardware/driver_read.h"
#include "protocol/async_copy.h"
#include "protocol/packet.h"

// The two steps that make a controller channel, shared by every user of
// one (the HDLC channel and the slots that read and write a channel
// themselves), each failing with errno set.
namespace Mcc {

// Opens "/dev/mcc/ctl" non-blocking and close-on-exec, for reading and
// writing unless another access mode is given; the descriptor, or -1.
int OpenDevice(int accessMode = O_RDWR);

// Makes the open descriptor one channel with the allocation `record`.
bool AllocateChannel(int fd, const Allocate& record);

// Reads one frame into a fresh pool packet, `frame`. Without a free
// packet the frame is still read, so that it does not keep the loop busy,
// and dropped: kData with a null `frame`. A failure's text goes to
// `failure`.
DriverRead ReadFrame(int fd, short revents, Packet& frame, std::string& failure);

enum class FrameWrite {
    kSent,
    kFull,    // the channel's transmit queue is full: wait for POLLOUT
    kFailed,  // errno tells
};

// Writes a frame to a channel in one call (again when interrupted): a
// frame channel takes it whole or not at all.
FrameWrite WriteFrame(int fd, const Packet& frame);

// Reads and writes a channel through the board, for copies to and from it.
ASync::CopyIo& ChannelIo();

}  // namespace Mcc

#endif
