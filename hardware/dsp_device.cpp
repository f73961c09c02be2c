#include "hardware/dsp_device.h"

#include <errno.h>
#include <fcntl.h>

#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "hardware/driver_read.h"

namespace Hardware {

DspDevice::DspDevice(const char* path, int flags, const char* openFail, const char* readFail)
    : path_(path), flags_(flags), openFail_(openFail), readFail_(readFail) {}

bool DspDevice::open() {
    if (isOpen()) return true;
    Fd fd = boardIo().open(path_, flags_ | O_NONBLOCK | O_CLOEXEC);
    if (!fd) {
        int err = errno;
        std::cerr << openFail_ << std::strerror(err) << std::endl;
        return false;
    }
    event.Schedule(fd, POLLIN);
    fd.close();
    return isOpen();
}

bool DspDevice::openFor(const char* notOpened, unsigned timeslot) {
    if (open()) return true;
    std::cerr << notOpened << " timeslot=" << timeslot << std::endl;
    return false;
}

namespace {

int result(int r) {
    if (r >= 0) return 0;
    return errno ? errno : EIO;
}

}  // namespace

int DspDevice::request(unsigned long code, void* record) {
    errno = 0;
    return result(boardIo().ioctl(event.fd.get(), code, record));
}

int DspDevice::request(unsigned long code, long value, int* answer) {
    errno = 0;
    int r = boardIo().ioctl(event.fd.get(), code, value);
    if (answer) *answer = r;
    return result(r);
}

uint32_t DspDevice::nextRequestId() {
    if (++requestId == 0) requestId = 1;
    return requestId;
}

DspDevice::ReadResult DspDevice::readRecord(void* record, size_t size, short revents) {
    if (!isOpen()) return kDone;
    ssize_t n = boardIo().read(event.fd.get(), record, size);
    int err = errno;
    switch (driverRead(n, err, revents)) {
        case DriverRead::kData:
            if (n == static_cast<ssize_t>(size)) return kRecord;
            std::cerr << readFail_ << "short record of " << n << " bytes dropped" << std::endl;
            return kDone;
        case DriverRead::kLater:
            return kDone;
        case DriverRead::kFailed:
            break;
    }
    std::cerr << readFail_ << driverReadFailure(n, err, revents) << std::endl;
    close();
    return kFailed;
}

std::ostream& operator<<(std::ostream& os, ErrnoText e) {
    return os << " errno=\"" << std::strerror(e.err) << "\"";
}

}  // namespace Hardware
