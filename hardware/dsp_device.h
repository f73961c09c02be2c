#ifndef KORVAND_HARDWARE_DSP_DEVICE_H
#define KORVAND_HARDWARE_DSP_DEVICE_H

#include <sys/types.h>

#include <cstdint>
#include <ostream>

#include "hardware/driver_read.h"
#include "runtime/dual_list.h"
#include "runtime/event.h"

namespace Hardware {

// One DSP driver device shared by the channels of the board: the tone DSP
// and the voice-processing DSP services each own one. It keeps the device
// open and polled, issues requests, hands out request ids and reads the
// device's fixed-size event records. A device that fails (an error or
// hang-up event, a failed or empty read) is closed, so it cannot keep the
// loop busy; the owner's configure operations open it again.
class DspDevice {
public:
    enum ReadResult {
        kRecord,  // one whole record was read
        kDone,    // nothing more this pass
        kFailed,  // the device failed and is closed now
    };

    // `openFail` and `readFail` start the lines that report a failed open
    // and a failed read; the owner binds `event` to its poll callback.
    DspDevice(const char* path, int flags, const char* openFail, const char* readFail);

    bool isOpen() const { return bool(event.fd); }
    // Opens the device unless it is open and polls it for POLLIN; a failure
    // is reported on the error stream. True when it is open.
    bool open();
    void close() { event.Release(); }
    // Opens the device when it is closed; when it stays closed, prints
    // `notOpened`, " timeslot=" and the time slot on the error stream.
    bool openFor(const char* notOpened, unsigned timeslot);

    // A request with a record or a plain integer: 0, or the error number
    // (EBADF while the device is closed). `answer` takes the result.
    int request(unsigned long code, void* record);
    int request(unsigned long code, long value, int* answer = nullptr);

    // The next request id; 0 is never used, so the counter skips it when it
    // wraps.
    uint32_t nextRequestId();

    // Reads one record of exactly `size` bytes. A shorter record is dropped
    // with a line and ends the pass; so does a read that would block, unless
    // `revents` reports an error or a hang-up.
    ReadResult readRecord(void* record, size_t size, short revents);
    // The poll callback's reading: whole records of type Record, each
    // handed to `handle`, until a read ends the pass.
    template <class Record, class Handle>
    void readRecords(short revents, Handle handle);

    Event event;
    uint32_t requestId = 0;  // the last id handed out

private:
    const char* path_;
    int flags_;
    const char* openFail_;
    const char* readFail_;
};

// Records read in one pass at most, so a device that always has more cannot
// hold the loop; the rest waits for the next pass.
const unsigned kRecordsPerPass = 256;

template <class Record, class Handle>
void DspDevice::readRecords(short revents, Handle handle) {
    if (!(revents & kDriverReadEvents)) return;
    Record r;
    for (unsigned n = 0; n < kRecordsPerPass && readRecord(&r, sizeof r, revents) == kRecord; ++n)
        handle(r);
}

// The first receiver in `list` whose time slot (`timeslotOf`) is
// `timeslot`, or null: the one that gets the time slot's events.
template <class Receiver>
Receiver* firstReceiver(const F_dual_list<Receiver>& list, uint32_t timeslot,
                        unsigned (Receiver::*timeslotOf)() const) {
    for (Receiver* r : list)
        if ((r->*timeslotOf)() == timeslot) return r;
    return nullptr;
}

// The end of a failed request's line: " errno=" and the error text in
// double quotes.
struct ErrnoText {
    int err;
};
std::ostream& operator<<(std::ostream& os, ErrnoText e);

}  // namespace Hardware

#endif
