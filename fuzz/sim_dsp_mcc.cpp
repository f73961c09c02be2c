// The simulated board's tone DSP, voice DSP, MCC, mixer and voice driver
// models on arbitrary control commands, requests, writes and ticks of the
// board's clock. Besides memory faults it checks that every refused call
// leaves an errno and that a write either sends the whole frame or fails.

#include "board/sim_board.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/dsp_driver.h"
#include "board/dtmf_driver.h"
#include "board/mcc_driver.h"
#include "board/mixer_driver.h"
#include "board/voice_driver.h"
#include "fuzz/fuzz_input.h"

namespace {

const char* const kDevices[] = {Tonec::kDevice, DSProc::kDevice, Mcc::kDevice, Mix::kDevice, Voice::kDevice};
const int kDeviceCount = sizeof kDevices / sizeof kDevices[0];

const unsigned long kRequests[] = {Tonec::DTMF_CONFIGURE_DETECTOR,
                                   Tonec::DTMF_ENABLE_DETECTOR,
                                   Tonec::DTMF_DISABLE_DETECTOR,
                                   Tonec::DTMF_DIAL,
                                   Tonec::CHANNEL_LMS_ON,
                                   Tonec::DTMF_REJECTION_ENABLE,
                                   Tonec::IVA_DETECTOR_ENABLE,
                                   Tonec::IVA_CONFIGURE_DETECTOR,
                                   Tonec::SELCAL_DIAL,
                                   DSProc::DSPROC_CONFIGURE,
                                   DSProc::DSPROC_ENABLE,
                                   DSProc::DSPROC_DISABLE,
                                   DSProc::DSPROC_VERSION,
                                   Mcc::MCC_ALLOCATE,
                                   Mcc::MCC_TIMESLOT,
                                   Mcc::MCC_RESOURCES,
                                   Mix::MIX_RX_CLEAR,
                                   Mix::MIX_RX_ADD,
                                   Mix::MIX_RX_REMOVE,
                                   Mix::MIX_TDM,
                                   Mix::MIX_ENUM,
                                   Voice::VOICE_CAPACITY,
                                   Voice::VOICE_VERSION,
                                   0x40044208UL};

void check(bool ok) {
    if (!ok) std::abort();
}

void request(SimBoard& board, int fd, FuzzInput& in) {
    unsigned long code = kRequests[in.byte() % (sizeof kRequests / sizeof kRequests[0])];
    uint8_t form = in.byte() % 3;
    std::string record = in.bytes(28);
    record.resize(28, '\0');
    long value;
    std::memcpy(&value, record.data(), sizeof value);
    errno = 0;
    int r = form == 0   ? board.ioctl(fd, code, static_cast<void*>(&record[0]))
            : form == 1 ? board.ioctl(fd, code, value)
                        : board.ioctl(fd, code, static_cast<void*>(nullptr));
    check(r >= 0 || errno != 0);
}

// Reads what the models emitted, as the daemon would, so queues stay short.
void drain(int fd) {
    char buf[65536];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SimBoard board;
    installStandardDevices(board);
    int fds[kDeviceCount];
    for (int i = 0; i < kDeviceCount; ++i) fds[i] = board.open(kDevices[i], O_RDWR | O_NONBLOCK);
    Mcc::Allocate a{Mcc::kData, 512, 0, 1, 4};
    board.ioctl(fds[2], Mcc::MCC_ALLOCATE, &a);

    FuzzInput in(data, size);
    uint64_t now = 0;
    while (!in.empty()) {
        uint8_t op = in.byte();
        int device = op % kDeviceCount;
        switch ((op / kDeviceCount) % 5) {
            case 0:
            case 1:
                board.control(std::string(kDevices[device]) + " " + in.bytes(in.byte()));
                break;
            case 2:
                request(board, fds[device], in);
                break;
            case 3: {
                std::string frame = in.bytes(in.byte());
                errno = 0;
                ssize_t n = board.write(fds[device], frame.data(), frame.size());
                check(n == ssize_t(frame.size()) || (n == -1 && errno != 0));
                break;
            }
            case 4:
                // The paced line's time moves forward only.
                now += uint64_t(in.byte()) * 1000;
                for (int i = 0; i < kDeviceCount; ++i) {
                    SimDevice* d = board.device(kDevices[i]);
                    if (d->ticking()) d->tick(now);
                }
                break;
        }
        for (int fd : fds) drain(fd);
        board.collect();
    }
    for (int fd : fds) board.close(fd);
    return 0;
}
