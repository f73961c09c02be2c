#ifndef KORVAND_BOARD_DSP_DRIVER_H
#define KORVAND_BOARD_DSP_DRIVER_H

#include <cstddef>
#include <cstdint>

#include "board/ioctl_code.h"

// Requests and records of the voice-processing DSP driver "/dev/dsp". Its
// functions run per TDM time slot; one bit names each function in requests
// and the event type in records. Records are laid out as the board lays them
// out: fields in the processor's byte order.
namespace DSProc {

const char* const kDevice = "/dev/dsp";

enum Function : uint32_t {
    kVad = 0x1,           // voice activity detection: configure, enable, events
    kSd = 0x2,            // signal detection: configure, enable, events
    kMute1 = 0x4,         // mute, first flag: enable
    kMute2 = 0x8,         // mute, second flag: enable
    kBss = 0x10,          // BSS score detector: enable, events
    kDelays = 0x20,       // configure
    kRxGain = 0x40,       // configure
    kNg = 0x80,           // noise gate: enable
    kToneFilter = 0x100,  // configure, disable (every filter), events
    kFlags = 0x200,       // events
    kSelcalSh = 0x400,    // SELCAL shaper: enable
};

const uint32_t kMute = kMute1 | kMute2;
const uint32_t kEnableable = kVad | kSd | kMute | kBss | kNg | kSelcalSh;
const uint32_t kDisableable = kEnableable | kToneFilter;

// DSPROC_CONFIGURE: one function's parameters, zero where it has fewer.
struct Configure {
    uint32_t timeslot;
    uint32_t function;
    uint8_t params[12];
};

// VAD parameters on a DSP of interface version 2.
struct VadParamsV2 {
    uint16_t voice_th_msec;
    uint16_t silence_th_msec;
    int8_t e_th_dB;
    uint8_t reserved[7];
};

// VAD parameters on other versions: three words, the service sends 3, 127, 0.
struct VadParamsV1 {
    uint32_t word[3];
};

struct DelaysParams {
    uint32_t rx;
    uint32_t tx;
    uint32_t selcal;
};

struct RxGainParams {
    int8_t gain_dB;
    uint8_t reserved[11];
};

struct ToneFilterParams {
    uint16_t freq;
    uint8_t en;
    uint8_t reserved0;
    uint16_t dur_th_msec;
    int8_t det_lvl_dB;
    uint8_t reserved1[5];
};

// DSPROC_ENABLE and DSPROC_DISABLE (id 0): the functions named by the bits.
struct Enable {
    uint32_t timeslot;
    uint32_t id;
    uint32_t functions;
};

// The record a read returns. VAD: data[0] is the direction mask (kVadRx,
// kVadTx), data[1] vad_rx and data[2] vad_tx where the mask has them. SD:
// data[0] is sd_rx. BSS, tone filter and flags: the data words are
// dsproc_bss_event, dsproc_tone_event and dsproc_flags_event.
struct Event {
    uint32_t timeslot;
    uint32_t id;
    uint32_t type;
    uint32_t data[3];
};

const uint32_t kVadRx = 0x1;
const uint32_t kVadTx = 0x2;

// Bits of a flags event (in flags, and in the mask of valid flags).
const uint32_t kFlagVadRx = 1u << 29;
const uint32_t kFlagVadTx = 1u << 30;
const uint32_t kFlagSelcal = 1u << 31;

static_assert(sizeof(Configure) == 20 && offsetof(Configure, params) == 8, "configure record");
static_assert(sizeof(VadParamsV2) == 12 && offsetof(VadParamsV2, silence_th_msec) == 2 &&
                  offsetof(VadParamsV2, e_th_dB) == 4,
              "VAD v2 parameters at bytes 8, 10, 12");
static_assert(sizeof(VadParamsV1) == 12, "VAD parameters");
static_assert(sizeof(DelaysParams) == 12 && offsetof(DelaysParams, selcal) == 8, "delays");
static_assert(sizeof(RxGainParams) == 12, "receive gain");
static_assert(sizeof(ToneFilterParams) == 12 && offsetof(ToneFilterParams, en) == 2 &&
                  offsetof(ToneFilterParams, dur_th_msec) == 4 &&
                  offsetof(ToneFilterParams, det_lvl_dB) == 6,
              "tone filter parameters at bytes 8, 10, 12, 14");
static_assert(sizeof(Enable) == 12 && offsetof(Enable, functions) == 8, "enable record");
static_assert(sizeof(Event) == 24 && offsetof(Event, type) == 8 && offsetof(Event, data) == 12,
              "event record");

const unsigned long DSPROC_CONFIGURE = 0x40146401UL;
const unsigned long DSPROC_ENABLE = 0x400C6402UL;
const unsigned long DSPROC_DISABLE = 0x400C6403UL;
// The plain integer 0; the result is the DSP interface version.
const unsigned long DSPROC_VERSION = 0x40046404UL;

using BoardIoctl::code;
using BoardIoctl::Read;
static_assert(DSPROC_CONFIGURE == code(Read, sizeof(Configure), 'd', 1), "configure");
static_assert(DSPROC_ENABLE == code(Read, sizeof(Enable), 'd', 2), "enable");
static_assert(DSPROC_DISABLE == code(Read, sizeof(Enable), 'd', 3), "disable");
static_assert(DSPROC_VERSION == code(Read, 4, 'd', 4), "version");

}  // namespace DSProc

// The data words of BSS, tone-filter and flags events, as the receivers of
// the events get them.
struct dsproc_bss_event {
    float score;
    uint32_t reserved[2];
};

struct dsproc_tone_event {
    uint32_t freq;
    int32_t presence;
    uint32_t reserved;
};

struct dsproc_flags_event {
    uint32_t flags;
    uint32_t mask;
    uint32_t reserved;
};

static_assert(sizeof(float) == 4, "the BSS score is a 32-bit float");
static_assert(sizeof(dsproc_bss_event) == sizeof(DSProc::Event::data), "BSS data words");
static_assert(sizeof(dsproc_tone_event) == sizeof(DSProc::Event::data) &&
                  offsetof(dsproc_tone_event, presence) == 4,
              "tone data words");
static_assert(sizeof(dsproc_flags_event) == sizeof(DSProc::Event::data) &&
                  offsetof(dsproc_flags_event, mask) == 4,
              "flags data words");

#endif
