#ifndef KORVAND_BOARD_MCC_DRIVER_H
#define KORVAND_BOARD_MCC_DRIVER_H

#include <cstddef>
#include <cstdint>

#include "board/ioctl_code.h"

// Requests and records of the multi-channel communication controller
// "/dev/mcc/ctl". Each open descriptor becomes one controller channel once
// allocated; then one write sends one frame and one read returns one
// received frame (a transparent channel carries a byte stream instead).
// Records are laid out as the board lays them out: fields in the processor's
// byte order.
namespace Mcc {

const char* const kDevice = "/dev/mcc/ctl";

enum Kind : uint32_t { kData = 0, kBri = 1, kTransparent = 2, kSs7 = 3 };

// MCC_ALLOCATE: turns the descriptor into a channel of the given kind.
struct Allocate {
    uint32_t kind;
    uint32_t rx_packet_size;  // octets
    uint32_t reserved;        // zero
    uint32_t rx_threshold;
    uint32_t tx_threshold;
};

static_assert(sizeof(Allocate) == 20 && offsetof(Allocate, rx_packet_size) == 4 &&
                  offsetof(Allocate, reserved) == 8 && offsetof(Allocate, rx_threshold) == 12 &&
                  offsetof(Allocate, tx_threshold) == 16,
              "allocation record");

// The record of a byte channel that the controller reads and writes
// directly (the MCC and ISDN slots): packets of 512 octets, each threshold 1.
inline Allocate byteChannel(uint32_t kind) {
    return Allocate{kind, 512, 0, 1, 1};
}

// The records of the voice channels, byte streams that the daemon copies:
// a player's channel sends in packets of 1024 octets (transmit threshold
// 5), a recorder's receives them (receive threshold 5).
inline Allocate playChannel() {
    return Allocate{kTransparent, 1024, 0, 0, 5};
}
inline Allocate recordChannel() {
    return Allocate{kTransparent, 1024, 0, 5, 0};
}

// MCC_RESOURCES: how many channels the driver offers for each use, on any
// open (allocated or not).
struct Resources {
    uint32_t data;
    uint32_t bri;
    uint32_t transparent;
    uint32_t in_use;  // channels allocated now
};

static_assert(sizeof(Resources) == 16 && offsetof(Resources, bri) == 4 &&
                  offsetof(Resources, transparent) == 8 && offsetof(Resources, in_use) == 12,
              "resource record");

const unsigned long MCC_ALLOCATE = 0x40144D00UL;
// No argument; the result is the channel's TDM channel number.
const unsigned long MCC_TIMESLOT = 0x20004D02UL;
const unsigned long MCC_RESOURCES = 0x80104D03UL;

static_assert(MCC_ALLOCATE == BoardIoctl::code(BoardIoctl::Read, sizeof(Allocate), 'M', 0),
              "allocate");
static_assert(MCC_TIMESLOT == BoardIoctl::code(BoardIoctl::None, 0, 'M', 2), "time slot");
static_assert(MCC_RESOURCES == BoardIoctl::code(BoardIoctl::Write, sizeof(Resources), 'M', 3),
              "resources");

}  // namespace Mcc

#endif
