#ifndef KORVAND_HARDWARE_MCC_CHANNEL_H
#define KORVAND_HARDWARE_MCC_CHANNEL_H

#include "board/mcc_driver.h"

// The two steps that make a controller channel, shared by every user of
// one (the HDLC channel and the slots that read and write a channel
// themselves), each failing with errno set.
namespace Mcc {

// Opens "/dev/mcc/ctl" for reading and writing, non-blocking and
// close-on-exec; the descriptor, or -1.
int OpenDevice();

// Makes the open descriptor one channel with the allocation `record`.
bool AllocateChannel(int fd, const Allocate& record);

}  // namespace Mcc

#endif
