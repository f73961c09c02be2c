#include "hardware/hw_mux.h"

#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "board/hal_driver.h"
#include "runtime/hex_out.h"
#include "runtime/singleton.h"

HwMux& HwMux::instance() {
    return Singleton<HwMux>::get([] {
        HwMux* created = new HwMux;
        SlotSwitch::Install(created);
        return created;
    });
}

HwMux::HwMux() {
    std::clog << "hwMux: init" << std::endl;
    // Bound before the open activates it, so the loop never sees it unbound.
    dpc.Bind(this, &HwMux::OnDPC);
    IsOpened();
}

HwMux::~HwMux() {
    if (fd) fd.close();
}

bool HwMux::IsOpened() {
    if (fd) return true;
    int d = boardIo().open(Hal::kDevice, O_RDWR | O_CLOEXEC);
    if (d < 0) {
        std::clog << "hwMux: can't open device: " << std::strerror(errno) << std::endl;
        return false;
    }
    fd = d;
    std::clog << "hwMux: device opened" << std::endl;
    // Whatever an earlier process left behind, every bus output starts disabled.
    for (unsigned i = 0; i < kBusOutputs; ++i) {
        DisableRequest(kBusFirst + static_cast<int>(i));
        cache[i] = kDisabled;
    }
    cursor = 0;
    dpc.Activate();
    ::usleep(500);
    return true;
}

void HwMux::Cache(int output, uint16_t entry) {
    if (output >= kBusFirst && output < kBusFirst + static_cast<int>(kBusOutputs))
        cache[output - kBusFirst] = entry;
}

int HwMux::Request(unsigned long request, void* record) {
    if (boardIo().ioctl(fd.get(), request, record) >= 0) return 0;
    return errno != 0 ? errno : EIO;  // a failure is never taken for success
}

int HwMux::DisableRequest(int output) {
    Hal::MuxChannel r{output};
    return Request(Hal::kMuxDisable, &r);
}

bool HwMux::Connect(int source, int output) {
    if (!IsOpened() || source < 0 || output < 0) {
        std::clog << "hwMux: ERROR not opened" << std::endl;
        return false;
    }
    // A source number that would read as one of the markers is not kept: the
    // refresh must never disable a connected output.
    Cache(output, source < kDriven ? static_cast<uint16_t>(source) : kDriven);
    Hal::MuxConnect r{output, source};
    int err = Request(Hal::kMuxConnect, &r);
    if (err == 0) return true;
    std::clog << "hwMux: connect " << source << " -> " << output
              << " failed: " << std::strerror(err) << std::endl;
    return false;
}

bool HwMux::Disconnect(int output) {
    if (!IsOpened() || output < 0) return false;
    Cache(output, kDriven);
    Hal::MuxByte r{output, kIdleByte};
    int err = Request(Hal::kMuxWrite, &r);
    if (err == 0) return true;
    std::clog << "hwMux: disconnect failed " << output << " : " << std::strerror(err) << std::endl;
    return false;
}

bool HwMux::Disable(int output) {
    if (!IsOpened() || output < 0) return false;
    Cache(output, kDisabled);
    int err = DisableRequest(output);
    if (err == 0) return true;
    std::clog << "hwMux: disable failed " << output << " : " << std::strerror(err) << std::endl;
    return false;
}

bool HwMux::Write(int channel, unsigned char value) {
    if (!IsOpened() || channel < 0) return false;
    Cache(channel, kDriven);
    Hal::MuxByte r{channel, value};
    int err = Request(Hal::kMuxWrite, &r);
    if (err == 0) return true;
    std::clog << "hwMux: write failed " << channel << " <- " << ext::OutUnsignedInHex(value)
              << " : " << std::strerror(err) << std::endl;
    return false;
}

unsigned HwMux::Read(int channel) {
    if (!IsOpened() || channel < 0) return 255;
    Hal::MuxByte r{channel, 255};
    int err = Request(Hal::kMuxRead, &r);
    if (err == 0) return static_cast<unsigned>(r.value) & 0xFF;
    std::clog << "hwMux: read failed " << channel << " -> "
              << ext::OutUnsignedInHex(static_cast<unsigned>(r.value)) << " : "
              << std::strerror(err) << std::endl;
    return 255;
}

void HwMux::OnDPC() {
    if (!fd) return;
    for (unsigned n = 0; n < kRefreshSlice; ++n) {
        cursor = (cursor + 1) % kBusOutputs;
        if (cache[cursor] == kDisabled) DisableRequest(kBusFirst + static_cast<int>(cursor));
    }
}

const char* GetVoiceDevName() {
    return "/dev/voice";
}
const char* GetMixerDevName() {
    return "/dev/mixer";
}
const char* GetDTMFDevName() {
    return "/dev/dtmf";
}
const char* GetDSPDevName() {
    return "/dev/dsp";
}
const char* GetRtpDevName() {
    return "/dev/rtp";
}
const char* GetRtpExtDevName() {
    return "/dev/rtp_ext";
}
const char* GetModemDevName() {
    return "/dev/mctl";
}
const char* GetMaintenance() {
    return "/dev/maintenance";
}
const char* GetSpiTdmDevName() {
    return "/dev/spi_tdm";
}
const char* GetUsbTdmDevName() {
    return "/dev/usb_tdm";
}

void print_trace() {
    void* frames[10];
    int count = ::backtrace(frames, 10);
    char** symbols = ::backtrace_symbols(frames, count);
    std::cout << "Obtained " << count << " stack frames.\n";
    for (int i = 0; symbols && i < count; ++i) std::cout << symbols[i] << '\n';
    std::cout << std::flush;
    std::free(symbols);
}
