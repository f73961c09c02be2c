#ifndef KORVAND_BOARD_DTMF_DRIVER_H
#define KORVAND_BOARD_DTMF_DRIVER_H

#include <cstddef>
#include <cstdint>

#include "board/ioctl_code.h"

// Requests and records of the tone DSP driver "/dev/dtmf": DTMF and IVA
// detection, the tone generator, the echo canceller (LMS), DTMF rejection
// and the SELCAL sender, each per TDM time slot. Records are laid out as the
// board lays them out: fields in the processor's byte order.
namespace Tonec {

const char* const kDevice = "/dev/dtmf";

// DTMF_CONFIGURE_DETECTOR: the DTMF detector's thresholds.
struct DetectorConfig {
    uint32_t timeslot;
    uint32_t twist;
    uint32_t ratio;
    uint32_t silence;
    uint32_t noise;
};

// DTMF_ENABLE_DETECTOR: the id comes back in the time slot's events.
struct DetectorEnable {
    uint32_t timeslot;
    uint32_t id;
};

// DTMF_DIAL: the generator plays the two frequencies (Hz) at the two
// levels; all four 0 turns it off.
struct Dial {
    uint32_t timeslot;
    uint16_t freq1;
    uint16_t freq2;
    uint16_t level1;
    uint16_t level2;
};

// IVA_CONFIGURE_DETECTOR: the IVA detection level in dB.
struct IvaConfig {
    uint32_t timeslot;
    int32_t det_lvl_dB;
};

// SELCAL_DIAL: sends the four SELCAL tones named by `signs`.
struct SelcalDial {
    uint32_t timeslot;
    uint16_t amplitude;
    char signs[4];
    uint8_t reserved[2];  // zero
};

// The record a read returns: what was detected on which time slot, the
// driver's timestamp, and the id of the time slot's last detector enable.
struct Event {
    uint32_t code;
    uint32_t timeslot;
    uint32_t timestamp;
    uint32_t id;
};

static_assert(sizeof(DetectorConfig) == 20 && offsetof(DetectorConfig, noise) == 16,
              "detector configuration record");
static_assert(sizeof(DetectorEnable) == 8 && offsetof(DetectorEnable, id) == 4, "enable record");
static_assert(sizeof(Dial) == 12 && offsetof(Dial, freq2) == 6 && offsetof(Dial, level2) == 10,
              "dial record");
static_assert(sizeof(IvaConfig) == 8 && offsetof(IvaConfig, det_lvl_dB) == 4, "IVA record");
static_assert(sizeof(SelcalDial) == 12 && offsetof(SelcalDial, amplitude) == 4 &&
                  offsetof(SelcalDial, signs) == 6 && offsetof(SelcalDial, reserved) == 10,
              "SELCAL record");
static_assert(sizeof(Event) == 16 && offsetof(Event, timeslot) == 4 &&
                  offsetof(Event, timestamp) == 8 && offsetof(Event, id) == 12,
              "event record");

// Event codes: 0 to 127 are DTMF digits (0-9, then * # A B C D as 10 to
// 15), except the fax tones; IVA codes 1 to 20 and the ring-off sit above
// bit 8.
const uint32_t kCodeCed = 17;
const uint32_t kCodeCng = 18;
const uint32_t kDtmfCodeLimit = 127;
const unsigned kIvaShift = 8;
const uint32_t kIvaFirst = 1;
const uint32_t kIvaLast = 20;
const uint32_t kIvaRingOff = 21;
const char* const kDtmfDigits = "0123456789*#ABCD";

const unsigned long DTMF_CONFIGURE_DETECTOR = 0x40144202UL;
const unsigned long DTMF_ENABLE_DETECTOR = 0x40084203UL;
const unsigned long DTMF_DISABLE_DETECTOR = 0x40044204UL;  // plain time slot
const unsigned long DTMF_DIAL = 0x400C4205UL;
const unsigned long CHANNEL_LMS_ON = 0x40044206UL;          // plain time slot
const unsigned long CHANNEL_LMS_OFF = 0x40044207UL;         // plain time slot
const unsigned long DTMF_REJECTION_ENABLE = 0x40044209UL;   // plain time slot
const unsigned long DTMF_REJECTION_DISABLE = 0x4004420AUL;  // plain time slot
const unsigned long IVA_DETECTOR_ENABLE = 0x4004420BUL;     // plain time slot
const unsigned long IVA_DETECTOR_DISABLE = 0x4004420CUL;    // plain time slot
const unsigned long IVA_CONFIGURE_DETECTOR = 0x4008420DUL;
const unsigned long SELCAL_DIAL = 0x400C420EUL;

using BoardIoctl::code;
using BoardIoctl::Read;
static_assert(DTMF_CONFIGURE_DETECTOR == code(Read, sizeof(DetectorConfig), 'B', 2), "configure");
static_assert(DTMF_ENABLE_DETECTOR == code(Read, sizeof(DetectorEnable), 'B', 3), "enable");
static_assert(DTMF_DISABLE_DETECTOR == code(Read, 4, 'B', 4), "disable");
static_assert(DTMF_DIAL == code(Read, sizeof(Dial), 'B', 5), "dial");
static_assert(CHANNEL_LMS_ON == code(Read, 4, 'B', 6), "LMS on");
static_assert(CHANNEL_LMS_OFF == code(Read, 4, 'B', 7), "LMS off");
static_assert(DTMF_REJECTION_ENABLE == code(Read, 4, 'B', 9), "rejection on");
static_assert(DTMF_REJECTION_DISABLE == code(Read, 4, 'B', 10), "rejection off");
static_assert(IVA_DETECTOR_ENABLE == code(Read, 4, 'B', 11), "IVA on");
static_assert(IVA_DETECTOR_DISABLE == code(Read, 4, 'B', 12), "IVA off");
static_assert(IVA_CONFIGURE_DETECTOR == code(Read, sizeof(IvaConfig), 'B', 13), "IVA configure");
static_assert(SELCAL_DIAL == code(Read, sizeof(SelcalDial), 'B', 14), "SELCAL");

}  // namespace Tonec

#endif
