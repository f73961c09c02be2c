#ifndef KORVAND_HARDWARE_MCC_CHANNEL_H
#define KORVAND_HARDWARE_MCC_CHANNEL_H

#include <fcntl.h>

#include "board/mcc_driver.h"
#include "protocol/async_copy.h"

// The two steps that make a controller channel, shared by every user of
// one (the HDLC channel and the slots that read and write a channel
// themselves), each failing with errno set.
namespace Mcc {

// Opens "/dev/mcc/ctl" non-blocking and close-on-exec, for reading and
// writing unless another access mode is given; the descriptor, or -1.
int OpenDevice(int accessMode = O_RDWR);

// Makes the open descriptor one channel with the allocation `record`.
bool AllocateChannel(int fd, const Allocate& record);

// Reads and writes a channel through the board, for copies to and from it.
ASync::CopyIo& ChannelIo();

}  // namespace Mcc

#endif
