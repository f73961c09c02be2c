#ifndef KORVAND_HARDWARE_HW_MUX_H
#define KORVAND_HARDWARE_HW_MUX_H

#include <cstdint>

#include "core/slot_switch.h"
#include "runtime/dpc.h"
#include "runtime/fd.h"

// The board's time-slot switch on "/dev/hal". Channels are the driver's TDM
// channel numbers; the switch's bus outputs are the 2048 channels from 8192
// (8192 + bus * 128 + time slot). The device is opened at first use, every
// bus output is disabled then, and a deferred call keeps re-disabling the
// outputs that should be disabled, a slice per run, in case the hardware or
// another user drove them meanwhile. The process's switch is the one the
// slots' default links go through.
class HwMux : public SlotSwitch {
public:
    static constexpr int kBusFirst = 8192;
    static constexpr unsigned kBusOutputs = 2048;
    // Outputs refreshed per run of the deferred call.
    static constexpr unsigned kRefreshSlice = 128;
    // The byte a released output carries.
    static constexpr unsigned char kIdleByte = 0xD5;

    // The one switch of the process, created on first use and installed
    // as the slots' switch.
    static HwMux& instance();

    HwMux();
    ~HwMux() override;
    HwMux(const HwMux&) = delete;
    HwMux& operator=(const HwMux&) = delete;

    // Opens the device unless it is open; true when it is. A failed open is
    // tried again at the next operation.
    bool IsOpened();

    // The output takes its byte stream from the source.
    bool Connect(int source, int output) override;
    // Releases an output: it carries the idle byte.
    bool Disconnect(int output) override;
    // The switch drives nothing onto the output.
    bool Disable(int output);
    // The channel carries a constant byte.
    bool Write(int channel, unsigned char value);
    // The byte the channel carries; 255 when it cannot be read.
    unsigned Read(int channel);

    // The refresh step, run by the loop twice per pass once the device is open.
    void OnDPC();

private:
    // Cache entries besides source channel numbers.
    static constexpr uint16_t kDriven = 65534;  // written, or a source too large to keep
    static constexpr uint16_t kDisabled = 65535;

    void Cache(int output, uint16_t entry);
    // Issues a request on the open device: 0, or the error number.
    int Request(unsigned long request, void* record);
    int DisableRequest(int output);

    Fd fd;
    uint16_t cache[kBusOutputs] = {};
    uint32_t cursor = 0;
    Dpc dpc;
};

// Fixed paths of the other board drivers.
const char* GetVoiceDevName();
const char* GetMixerDevName();
const char* GetDTMFDevName();
const char* GetDSPDevName();
const char* GetRtpDevName();
const char* GetRtpExtDevName();
const char* GetModemDevName();
const char* GetMaintenance();
const char* GetSpiTdmDevName();
const char* GetUsbTdmDevName();

// Prints the caller's stack, up to 10 frames, on the standard output.
void print_trace();

#endif
