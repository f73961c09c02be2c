#ifndef KORVAND_BOARD_HAL_DRIVER_H
#define KORVAND_BOARD_HAL_DRIVER_H

#include <cstddef>
#include <cstdint>

#include "board/ioctl_code.h"

// Requests and records of the switch driver "/dev/hal". Records are laid out
// as the board lays them out: 32-bit words in the processor's byte order.
namespace Hal {

const char* const kDevice = "/dev/hal";

// ---- time-slot switch (type letter 'M') ------------------------------------

// {channel}: the switch stops driving the output.
struct MuxChannel {
    int32_t channel;
};

// {output, source}: the output copies the source's byte stream.
struct MuxConnect {
    int32_t output;
    int32_t source;
};

// {channel, value}: write makes the channel carry the byte `value`; read
// passes 255 and gets the channel's current byte back in the low 8 bits.
struct MuxByte {
    int32_t channel;
    int32_t value;
};

static_assert(sizeof(MuxChannel) == 4, "disable record");
static_assert(sizeof(MuxConnect) == 8 && offsetof(MuxConnect, source) == 4, "connect record");
static_assert(sizeof(MuxByte) == 8 && offsetof(MuxByte, value) == 4, "byte record");

const unsigned long kMuxConnect = 0x80084D02UL;
const unsigned long kMuxDisable = 0x80044D03UL;
const unsigned long kMuxWrite = 0xC0084D04UL;
const unsigned long kMuxRead = 0xC0084D05UL;

static_assert(kMuxConnect == BoardIoctl::code(BoardIoctl::Write, sizeof(MuxConnect), 'M', 2),
              "connect");
static_assert(kMuxDisable == BoardIoctl::code(BoardIoctl::Write, sizeof(MuxChannel), 'M', 3),
              "disable");
static_assert(kMuxWrite == BoardIoctl::code(BoardIoctl::ReadWrite, sizeof(MuxByte), 'M', 4),
              "write byte");
static_assert(kMuxRead == BoardIoctl::code(BoardIoctl::ReadWrite, sizeof(MuxByte), 'M', 5),
              "read byte");

}  // namespace Hal

#endif
