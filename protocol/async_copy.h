#ifndef KORVAND_PROTOCOL_ASYNC_COPY_H
#define KORVAND_PROTOCOL_ASYNC_COPY_H

#include <poll.h>
#include <sys/types.h>

#include <cstdint>
#include <vector>

#include "protocol/async_handler.h"
#include "runtime/event.h"
#include "runtime/fd.h"

namespace ASync {

// How a copy stands, and how it ended.
struct CopyStatus {
    enum Type {
        NotStarted = 0,
        Copying = 1,
        Draining = 2,  // the source ended; the last bytes are being written
        Flushing = 3,  // all written; waiting for the flush events
        Failed = 4,    // read failure before any byte was written, write failure,
                       // zero-length write, or error/hang-up on the destination
        Completed = 5,
        Stopped = 6,  // the events or the buffer size changed, or a new Start
    };
};

// How one side of a copy is read or written. Without one, a copy uses the
// system calls; the descriptor of a board driver is read and written
// through the board's seam, which the owner of the copy supplies.
class CopyIo {
public:
    virtual ~CopyIo() = default;
    virtual ssize_t read(int fd, void* buf, size_t len) = 0;
    virtual ssize_t write(int fd, const void* buf, size_t len) = 0;
};

// Moves a byte stream from one descriptor to another through one buffer,
// reading only when the source is readable and writing only when the
// destination is writable, and reports once when it ends. A read is
// written out completely before the next read. Sockets are read and
// written without blocking whatever their mode; other descriptors are
// expected to be non-blocking (or, like regular files, always ready).
class Copy : public Completion<CopyStatus::Type> {
public:
    typedef CopyStatus Status;

    struct EventsParams {
        uint32_t src = POLLIN;        // what makes the source readable
        uint32_t dst = POLLOUT;       // what makes the destination writable
        uint32_t flush = POLLWRNORM;  // awaited after the last write; 0: none
    };

    static const unsigned default_bufsize = 1024;
    // Buffers moved per readiness event, so a source and a destination that
    // are always ready (a file into a fast socket) share the loop.
    static const unsigned rounds_per_event = 64;

    Copy();
    // Closes both descriptors without calling the handler.
    ~Copy();
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;

    // Both stop a running copy (status Stopped).
    void set_events(const EventsParams& e);
    void set_bufsize(unsigned n);

    // The reads of the source and the writes of the destination go through
    // these (not owned; null: the system calls). Set before Start.
    void set_io(CopyIo* source_io, CopyIo* destination_io) {
        src_io = source_io;
        dst_io = destination_io;
    }

    // Copies from duplicates of both descriptors; the caller keeps its own.
    // A copy still running is first completed with Stopped (should its
    // handler start another copy from there, that one stands).
    void Start(Fd source, Fd destination);
    // Ends reading as if the source had ended: what was read is still
    // written and the flush awaited. Only while copying.
    void Stop();

    Status::Type state() const { return status; }
    unsigned bytes_written() const { return written; }
    // The errno of a failed write; 0 otherwise.
    int last_error() const { return error; }

    void OnSrcEvent(int fd, short revents);
    void OnDstEvent(int fd, short revents);

private:
    typedef bool (Copy::*Step)();

    bool NotReady() { return false; }
    bool SrcReady();
    bool DstReady();
    bool GoFlush();
    bool GoFlushDst();
    void Progress();
    void Complete(Status::Type s);
    void Masks(uint32_t src_mask, uint32_t dst_mask);
    bool running() const { return status >= Status::Copying && status <= Status::Flushing; }

    Fd source;
    Fd destination;
    EventsParams events;
    int error = 0;
    Step step = &Copy::NotReady;
    Event src_event;
    Event dst_event;
    unsigned written = 0;
    unsigned write_pos = 0;
    unsigned data_end = 0;
    Status::Type status = Status::NotStarted;
    std::vector<uint8_t> buffer;
    bool src_socket = false;
    bool dst_socket = false;
    CopyIo* src_io = nullptr;
    CopyIo* dst_io = nullptr;
};

}  // namespace ASync

#endif
