#ifndef KORVAND_BOARD_MIXER_DRIVER_H
#define KORVAND_BOARD_MIXER_DRIVER_H

#include <cstddef>
#include <cstdint>

#include "board/ioctl_code.h"

// Requests and records of the mixer driver "/dev/mixer". One device holds
// several mixers, each addressed by its unit number and each with a fixed
// number of TDM channels; a channel receives the sum of the channels added
// into it, each with its own gain. Records are laid out as the board lays
// them out: 32-bit fields in the processor's byte order.

// A channel of a mixer.
struct mix_slot {
    int32_t dev_no;  // the mixer unit
    int32_t type;    // Mix::kTdm, the only kind the daemon names
    int32_t number;  // the channel inside the mixer
};

// One term of a sum: `tx` added into `rx` with `gain`.
struct mix_rx {
    mix_slot rx;
    mix_slot tx;
    int32_t gain;
};

// One step of the enumeration: `unit` goes in as the unit of the previous
// answer (-1 first) and comes back as the next mixer's unit, with its sizes.
struct mix_info {
    int32_t unit;
    int32_t tdm;       // TDM channels of that mixer
    int32_t reserved;  // the driver's own; passed on unread
    int32_t inputs;    // mixer inputs of that mixer
};

static_assert(sizeof(mix_slot) == 12 && offsetof(mix_slot, type) == 4 && offsetof(mix_slot, number) == 8,
              "mixer channel record");
static_assert(sizeof(mix_rx) == 28 && offsetof(mix_rx, tx) == 12 && offsetof(mix_rx, gain) == 24,
              "sum record");
static_assert(sizeof(mix_info) == 16 && offsetof(mix_info, tdm) == 4 && offsetof(mix_info, inputs) == 12,
              "enumeration record");

namespace Mix {

const char* const kDevice = "/dev/mixer";

const int32_t kTdm = 0;
// The gain that adds a channel unchanged.
const int32_t kUnityGain = 32767;

const unsigned long MIX_RX_CLEAR = 0x800c4d02UL;   // mix_slot: remove every term of the sum
const unsigned long MIX_RX_ADD = 0x801c4d03UL;     // mix_rx
const unsigned long MIX_RX_REMOVE = 0x801c4d04UL;  // mix_rx
const unsigned long MIX_TDM = 0x800c4d06UL;        // mix_slot; the result is its board TDM channel
const unsigned long MIX_ENUM = 0x80104d07UL;       // mix_info; fails after the last mixer

using BoardIoctl::code;
static_assert(MIX_RX_CLEAR == code(BoardIoctl::Write, sizeof(mix_slot), 'M', 2), "clear");
static_assert(MIX_RX_ADD == code(BoardIoctl::Write, sizeof(mix_rx), 'M', 3), "add");
static_assert(MIX_RX_REMOVE == code(BoardIoctl::Write, sizeof(mix_rx), 'M', 4), "remove");
static_assert(MIX_TDM == code(BoardIoctl::Write, sizeof(mix_slot), 'M', 6), "tdm channel");
static_assert(MIX_ENUM == code(BoardIoctl::Write, sizeof(mix_info), 'M', 7), "enumeration");

}  // namespace Mix

#endif
