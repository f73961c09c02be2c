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

// The TDM bus outputs: channel = kBusFirst + bus * kBusTimeslots + time slot.
const int32_t kBusFirst = 8192;
const int32_t kBuses = 16;
const int32_t kBusTimeslots = 128;

// The echo-canceller buses: channel = bus * kEchoTimeslots + time slot, with
// no bus offset. A bus is fitted when an echo canceller drives its channels.
const int32_t kEchoBuses = 16;
const int32_t kEchoTimeslots = 32;

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

// ---- bus clock (type letter 'C') -------------------------------------------

// {source}: the TDM bus clock follows `source`, 0 to 7 (kClockSourceNames).
struct ClockSelect {
    int32_t source;
};

static_assert(sizeof(ClockSelect) == 4, "clock select record");

const unsigned long HW_CLOCK_SELECT = 0x80044301UL;

static_assert(HW_CLOCK_SELECT == BoardIoctl::code(BoardIoctl::Write, sizeof(ClockSelect), 'C', 1),
              "clock select");

const int32_t kClockSources = 8;
const int32_t kClockFreeRun = 4;
const char* const kClockSourceNames[kClockSources] = {"f0",      "f1", "f2", "f3",
                                                      "freerun", "X3", "?1", "?2"};

// ---- SPI line interface (type letter 'B') -----------------------------------

// Boards that carry it have eight BRI line channels, each with a bank of
// 8-bit registers; on other boards both requests fail with ENODEV.
const unsigned kSpiChannels = 8;

// {channel, register address, value}. A write stores `value`; a read passes
// 0xFF and gets the register's value as the request's result (low 8 bits).
struct SpiRegister {
    uint8_t channel;
    uint8_t address;
    uint8_t value;
};

static_assert(sizeof(SpiRegister) == 3 && offsetof(SpiRegister, value) == 2, "SPI record");

const unsigned long kSpiWrite = 0xC0034204UL;
const unsigned long kSpiRead = 0xC0034203UL;

static_assert(kSpiWrite == BoardIoctl::code(BoardIoctl::ReadWrite, sizeof(SpiRegister), 'B', 4),
              "SPI register write");
static_assert(kSpiRead == BoardIoctl::code(BoardIoctl::ReadWrite, sizeof(SpiRegister), 'B', 3),
              "SPI register read");

// Registers of a line channel and their values.
const uint8_t kSpiEnable = 50;  // 0 enabled, 128 disabled
const uint8_t kSpiStatus = 51;  // line status, read only
const uint8_t kSpiClock = 87;   // 56 clock master, 48 not
const uint8_t kSpiDisabled = 128;
const uint8_t kSpiClockMaster = 56;
const uint8_t kSpiClockSlave = 48;

// Line status bits: carrier (bit 0), frame alignment (bit 2), the two alarm
// bits 7..6 (11 normal, 10 remote alarm, else AIS) and the slip bit 5.
const uint8_t kSpiStatusCarrier = 0x01;
const uint8_t kSpiStatusAligned = 0x04;
const uint8_t kSpiStatusSlip = 0x20;
const uint8_t kSpiStatusAlarmBits = 0xC0;

// ---- board monitoring (type letter 'B') --------------------------------------

// Each passes one byte. The LED write sets the framer LEDs from the byte
// (framer n owns bit 2n, its link LED, and bit 2n+1, its line LED); the DIP
// and power reads return the DIP switch setting and the power supply state
// in it.
const unsigned long kLedWrite = 0xC0014207UL;
const unsigned long kDipRead = 0xC0014205UL;
const unsigned long kPowerRead = 0xC0014206UL;

static_assert(kLedWrite == BoardIoctl::code(BoardIoctl::ReadWrite, 1, 'B', 7), "LED write");
static_assert(kDipRead == BoardIoctl::code(BoardIoctl::ReadWrite, 1, 'B', 5), "DIP read");
static_assert(kPowerRead == BoardIoctl::code(BoardIoctl::ReadWrite, 1, 'B', 6), "power read");

}  // namespace Hal

#endif
