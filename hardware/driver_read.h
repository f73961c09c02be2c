#ifndef KORVAND_HARDWARE_DRIVER_READ_H
#define KORVAND_HARDWARE_DRIVER_READ_H

#include <poll.h>
#include <sys/types.h>

#include <string>

// How a read from a non-blocking driver descriptor ended, given what the
// read returned (`n`, and `err` = errno when it failed) and the poll events
// that made the daemon read.
enum class DriverRead {
    kData,    // n > 0
    kLater,   // nothing yet: interrupted, or it would block
    kFailed,  // an error, end of file, or poll reported a failure and the
              // read found nothing: the descriptor must be closed, or the
              // loop would keep calling for it
};

// The poll events that call for a read: data, or a failure to detect.
const short kDriverReadEvents = POLLIN | POLLERR | POLLHUP | POLLNVAL;

DriverRead driverRead(ssize_t n, int err, short revents);

// What went wrong in a failed read: "end of file", the failure poll
// reported, or the error text.
std::string driverReadFailure(ssize_t n, int err, short revents);

#endif
