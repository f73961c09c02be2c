#ifndef KORVAND_BOARD_E1_DRIVER_H
#define KORVAND_BOARD_E1_DRIVER_H

#include <cstddef>
#include <cstdint>

#include "board/ioctl_code.h"

// Requests and records of the two E1 drivers: the maintenance device (framer
// status, transmit-clock mask, clock source) and the CAS device (channel-
// associated signalling bits of single time slots). Records are laid out as
// the board lays them out: fixed-width words in the processor's byte order.
namespace E1 {

const unsigned kTrunks = 4;
const unsigned kTimeslots = 32;

// ---- maintenance device (type letter 'M') ----------------------------------

constexpr const char* kMaintenanceDevice = "/dev/maintenance";

// Framer states as the driver reports them in TrunkStatusRecord::state; the
// numbers are those of ACP::TrunkState.
enum TrunkState : int32_t {
    kStateNormal = 0,
    kStateLossBF = 1,
    kStateLossCarrier = 2,
    kStateAis = 3,
    kStateRai = 4,
    kStateUnknown = 5,
    kStateDisabled = 6,
};

// The trunk status record. The caller zeroes it and puts the trunk number
// (0 to 3) in `trunk`; the driver fills the rest. `reserved` words carry
// nothing the daemon reads and come back zero.
struct TrunkStatusRecord {
    int32_t trunk;
    uint32_t reserved1[8];
    uint32_t slips;
    uint32_t lossBF;
    uint32_t lossCarrier;
    uint32_t lossAIS;
    uint32_t lossRAI;
    uint32_t reserved2[5];
    int32_t state;  // a TrunkState, as the framer reports it
};

static_assert(sizeof(TrunkStatusRecord) == 80, "trunk status record");
static_assert(offsetof(TrunkStatusRecord, slips) == 36, "slips");
static_assert(offsetof(TrunkStatusRecord, lossBF) == 40, "lossBF");
static_assert(offsetof(TrunkStatusRecord, lossCarrier) == 44, "lossCarrier");
static_assert(offsetof(TrunkStatusRecord, lossAIS) == 48, "lossAIS");
static_assert(offsetof(TrunkStatusRecord, lossRAI) == 52, "lossRAI");
static_assert(offsetof(TrunkStatusRecord, state) == 76, "state");

// Pointer to a TrunkStatusRecord.
const unsigned long kTrunkStatus = 0xC0504D03UL;
// Plain integer argument: the transmit-clock mask, bit n set when trunk n
// takes its transmit clock from its receive side (clock slave). Bits above
// the four trunks are refused.
const unsigned long kTransmitClockMask = 0xC0044D0BUL;
// Plain integer argument: the trunk (0 to 3) whose receive clock the framers
// follow.
const unsigned long kClockSource = 0xC0044D0AUL;

static_assert(kTrunkStatus ==
                  BoardIoctl::code(BoardIoctl::ReadWrite, sizeof(TrunkStatusRecord), 'M', 3),
              "trunk status");
static_assert(kTransmitClockMask == BoardIoctl::code(BoardIoctl::ReadWrite, 4, 'M', 11),
              "transmit-clock mask");
static_assert(kClockSource == BoardIoctl::code(BoardIoctl::ReadWrite, 4, 'M', 10), "clock source");

// ---- CAS device (type letter 'C') ------------------------------------------

constexpr const char* kCasDevice = "/dev/e1-cas";

// Time slots 0 (framing) and 16 (the signalling multiframe itself) carry no
// CAS channel; the others do. Signalling bits are the four bits ABCD.
const uint8_t kCasBitsMask = 0x0F;

// One channel's signalling bits: the unit of the set and get requests and
// the event record read from the device. `rx` is what the line delivers,
// `tx` what the board sends.
struct CasRecord {
    uint32_t trunk;
    uint32_t timeslot;
    uint8_t rx;
    uint8_t tx;
    uint8_t reserved[2];
};

// The channel enable record: `disable` 0 enables the channel and sends
// `cas.tx`, 1 disables it.
struct CasChannelRecord {
    CasRecord cas;
    uint32_t disable;
};

static_assert(sizeof(CasRecord) == 12, "CAS record");
static_assert(offsetof(CasRecord, timeslot) == 4 && offsetof(CasRecord, rx) == 8 &&
                  offsetof(CasRecord, tx) == 9,
              "CAS record fields");
static_assert(sizeof(CasChannelRecord) == 16 && offsetof(CasChannelRecord, disable) == 12,
              "channel record");

// Plain integer argument: the trunk number.
const unsigned long kCasOpen = 0x80044300UL;
const unsigned long kCasClose = 0x80044301UL;
// Pointer to a CasRecord: set sends `tx`; get fills in `rx` and `tx`.
const unsigned long kCasSet = 0xC00C4302UL;
const unsigned long kCasGet = 0xC00C4303UL;
// Pointer to a CasChannelRecord.
const unsigned long kCasEnable = 0xC0104304UL;

static_assert(kCasOpen == BoardIoctl::code(BoardIoctl::Write, 4, 'C', 0), "open trunk");
static_assert(kCasClose == BoardIoctl::code(BoardIoctl::Write, 4, 'C', 1), "close trunk");
static_assert(kCasSet == BoardIoctl::code(BoardIoctl::ReadWrite, sizeof(CasRecord), 'C', 2),
              "set bits");
static_assert(kCasGet == BoardIoctl::code(BoardIoctl::ReadWrite, sizeof(CasRecord), 'C', 3),
              "get bits");
static_assert(kCasEnable ==
                  BoardIoctl::code(BoardIoctl::ReadWrite, sizeof(CasChannelRecord), 'C', 4),
              "channel enable");

}  // namespace E1

#endif
