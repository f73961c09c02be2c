#include "hardware/driver_read.h"

#include <errno.h>

#include <cstring>

#include "runtime/multiplexer.h"

namespace {

const short kBrokenEvents = POLLERR | POLLHUP | POLLNVAL;

bool wouldBlock(ssize_t n, int err) {
    return n < 0 && (err == EAGAIN || err == EWOULDBLOCK);
}

}  // namespace

DriverRead driverRead(ssize_t n, int err, short revents) {
    if (n > 0) return DriverRead::kData;
    if (n < 0 && err == EINTR) return DriverRead::kLater;
    if (wouldBlock(n, err) && !(revents & kBrokenEvents)) return DriverRead::kLater;
    return DriverRead::kFailed;
}

std::string driverReadFailure(ssize_t n, int err, short revents) {
    if (n == 0) return "end of file";
    if (wouldBlock(n, err)) return PollEventAsText(revents & kBrokenEvents);
    return std::strerror(err);
}
