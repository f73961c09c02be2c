#ifndef KORVAND_BOARD_VOICE_DRIVER_H
#define KORVAND_BOARD_VOICE_DRIVER_H

#include <cstdint>

#include "board/ioctl_code.h"

// The voice driver "/dev/voice": how many channels of a codec kind the
// board can run, and the driver's version record. The capacity request
// takes a pointer to a 32-bit code mask and answers the capacity as its
// result.
namespace Voice {

const char* const kDevice = "/dev/voice";

const unsigned long VOICE_CAPACITY = 0x40045602UL;
static_assert(VOICE_CAPACITY == BoardIoctl::code(BoardIoctl::Read, 4, 'V', 2), "capacity query");

// The code masks the RTP factories ask for.
const int kMaskG711 = 1;
const int kMaskG723 = 2;
const int kMaskG729 = 4;
const int kMaskG711Mcc = 8;
const int kMaskUniversal = 65;

// VOICE_VERSION fills in the driver's version record; its content is the
// driver's own, kept and passed on unread.
struct VersionRecord {
    uint8_t bytes[20];
};
static_assert(sizeof(VersionRecord) == 20, "version record");

const unsigned long VOICE_VERSION = 0x4014560aUL;
static_assert(VOICE_VERSION == BoardIoctl::code(BoardIoctl::Read, sizeof(VersionRecord), 'V', 10), "version");

}  // namespace Voice

#endif
