#ifndef KORVAND_BOARD_DSP_DATA_DRIVER_H
#define KORVAND_BOARD_DSP_DATA_DRIVER_H

#include <cstddef>
#include <cstdint>

#include "board/ioctl_code.h"

// Requests and records of the DSP data device "/dev/dsp-data", which runs
// the signalling channel of an ATS Q.SIG interface: each open is one
// interface, on which one write sends one frame and one read returns one
// received frame; its bearer (B) channels are added and removed by request.
namespace DspData {

const char* const kDevice = "/dev/dsp-data";

// A bearer channel: its number on the interface (0 to 2) and its TDM
// channel (-1 when asking for one).
struct BChannel {
    int32_t number;
    int32_t tdm;
};

static_assert(sizeof(BChannel) == 8 && offsetof(BChannel, tdm) == 4, "B channel record");

// The signalling channel's TDM channel, as the request's result.
const unsigned long DSPDATA_SIGNALLING = 0x40044211UL;
// Adds B channel `number`; its TDM channel comes back in `tdm`.
const unsigned long DSPDATA_ADD_B = 0x8008420FUL;
// Removes B channel `number`, which must be on `tdm`.
const unsigned long DSPDATA_REMOVE_B = 0x80084210UL;

static_assert(DSPDATA_SIGNALLING == BoardIoctl::code(BoardIoctl::Read, 4, 'B', 0x11), "signalling");
static_assert(DSPDATA_ADD_B == BoardIoctl::code(BoardIoctl::Write, sizeof(BChannel), 'B', 0x0F), "add");
static_assert(DSPDATA_REMOVE_B == BoardIoctl::code(BoardIoctl::Write, sizeof(BChannel), 'B', 0x10), "remove");

}  // namespace DspData

#endif
