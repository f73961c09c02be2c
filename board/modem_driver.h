#ifndef KORVAND_BOARD_MODEM_DRIVER_H
#define KORVAND_BOARD_MODEM_DRIVER_H

#include <cstddef>
#include <cstdint>

// Requests and records of the DSP modem driver "/dev/mctl". Unlike the
// board's other drivers its request numbers are plain numbers, without
// size or direction bits. An open that allocates a modem holds it until it
// is closed; the modem's data path is the tty "/dev/mdm<n>", which the
// programs run on the modem open themselves. Records are 32-bit words in
// the processor's byte order.
namespace Mdm {

constexpr const char* kDevice = "/dev/mctl";
const char* const kTtyPrefix = "/dev/mdm";

// The argument is the previous modem number as a plain integer (-1 first);
// the result the next one. Fails with ENODEV after the last.
const unsigned long MDM_ENUM = 0xBB0CUL;
// Argument 0. The result: the allocated modem number.
const unsigned long MDM_ALLOCATE = 0xBB0BUL;
// Argument 0. The result: the allocated modem's TDM channel.
const unsigned long MDM_TIMESLOT = 0xBB15UL;
// ModemWord {modem, mask}: the digital data modes, ddmMask bits.
const unsigned long MDM_SET_DDM = 0xBB16UL;
// ModemWord {modem, -1}.
const unsigned long MDM_RESET_DMP = 0xBB3AUL;
// DmpParameter.
const unsigned long MDM_SET_DMP = 0xBB38UL;
// ModemWord {modem, -1} each: answer an incoming call, originate a data
// call, originate a fax call.
const unsigned long MDM_ANSWER = 0xBB03UL;
const unsigned long MDM_ORIGINATE = 0xBB04UL;
const unsigned long MDM_FAX_ORIGINATE = 0xBB40UL;

// The digital data mode bits of MDM_SET_DDM (V.120 sets none).
enum DdmBit : uint32_t { kDdmV110 = 1, kDdm8Bit = 2, kDdm7Bit = 4 };

// A modem number and one word.
struct ModemWord {
    int32_t modem;
    int32_t value;
};

static_assert(sizeof(ModemWord) == 8 && offsetof(ModemWord, value) == 4, "modem word record");

// One DMP parameter of a modem.
struct DmpParameter {
    int32_t modem;
    int32_t index;
    int32_t value;
};

static_assert(sizeof(DmpParameter) == 12 && offsetof(DmpParameter, index) == 4 &&
                  offsetof(DmpParameter, value) == 8,
              "DMP record");

}  // namespace Mdm

#endif
