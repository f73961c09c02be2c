#include "protocol/async_copy.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ASync {

namespace {

bool IsSocket(Fd fd) {
    struct stat st;
    return ::fstat(fd.get(), &st) == 0 && S_ISSOCK(st.st_mode);
}

bool WouldBlock(int err) {
    return err == EAGAIN || err == EWOULDBLOCK;
}

}  // namespace

Copy::Copy() {
    src_event.Bind("Copy::OnSrcEvent", &Copy::OnSrcEvent, this);
    dst_event.Bind("Copy::OnDstEvent", &Copy::OnDstEvent, this);
}

Copy::~Copy() {
    src_event.Release();
    dst_event.Release();
    source.close();
    destination.close();
}

void Copy::set_events(const EventsParams& e) {
    events = e;
    Complete(Status::Stopped);
}

void Copy::set_bufsize(unsigned n) {
    buffer.assign(n, 0);
    write_pos = data_end = 0;
    Complete(Status::Stopped);
}

void Copy::Start(Fd src, Fd dst) {
    Complete(Status::Stopped);
    if (running()) return;  // the handler started another copy meanwhile
    status = Status::Copying;
    source = src.dup();
    destination = dst.dup();
    src_socket = IsSocket(source);
    dst_socket = IsSocket(destination);
    if (buffer.empty()) buffer.assign(default_bufsize, 0);
    src_event.Schedule(source, 0);
    dst_event.Schedule(destination, 0);
    error = 0;
    written = 0;
    write_pos = data_end = 0;
    step = &Copy::SrcReady;
    Progress();
}

void Copy::Stop() {
    if (status == Status::Copying) GoFlush();
}

// Runs the steps while they can go on at once. It does not touch the
// object once a step has completed the copy (the handler may destroy it).
void Copy::Progress() {
    for (unsigned round = 0; round < rounds_per_event * 2; ++round)
        if (!(this->*step)()) return;
}

void Copy::Masks(uint32_t src_mask, uint32_t dst_mask) {
    src_event.events = short(src_mask);
    dst_event.events = short(dst_mask);
}

bool Copy::SrcReady() {
    ssize_t n = src_io       ? src_io->read(source.get(), buffer.data(), buffer.size())
                : src_socket ? ::recv(source.get(), buffer.data(), buffer.size(), MSG_DONTWAIT)
                             : ::read(source.get(), buffer.data(), buffer.size());
    if (n > 0) {
        write_pos = 0;
        data_end = unsigned(n);
        Masks(0, events.dst);
        step = &Copy::DstReady;
        return true;
    }
    if (n == 0) return GoFlush();
    if (errno == EINTR) return true;
    if (WouldBlock(errno)) {
        Masks(events.src, 0);
        return false;
    }
    // A read failure after data has flowed ends the stream like its end.
    if (written == 0) {
        Complete(Status::Failed);
        return false;
    }
    return GoFlush();
}

bool Copy::DstReady() {
    const uint8_t* at = buffer.data() + write_pos;
    size_t left = data_end - write_pos;
    ssize_t n = dst_io       ? dst_io->write(destination.get(), at, left)
                : dst_socket ? ::send(destination.get(), at, left, MSG_DONTWAIT | MSG_NOSIGNAL)
                             : ::write(destination.get(), at, left);
    if (n < 0 && errno == EINTR) return true;
    if (n < 0 && WouldBlock(errno)) {
        Masks(0, events.dst);
        return false;
    }
    if (n <= 0) {
        error = n < 0 ? errno : 0;
        Complete(Status::Failed);
        return false;
    }
    written += unsigned(n);
    write_pos += unsigned(n);
    if (write_pos < data_end) return true;
    if (status == Status::Draining) return GoFlushDst();
    Masks(events.src, 0);
    step = &Copy::SrcReady;
    return true;
}

// The source has ended (or reading was stopped).
bool Copy::GoFlush() {
    src_event.Release();
    source.close();
    if (step == &Copy::DstReady) {
        status = Status::Draining;
        return true;
    }
    return GoFlushDst();
}

bool Copy::GoFlushDst() {
    if (events.flush == 0) {
        Complete(Status::Completed);
        return false;
    }
    Masks(0, events.flush);
    step = &Copy::NotReady;
    status = Status::Flushing;
    return true;
}

void Copy::OnSrcEvent(int, short revents) {
    if (revents & events.src) {
        Progress();
    } else if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
        // The read that follows sees the end or the failure.
        src_event.Release();
        Progress();
    }
}

void Copy::OnDstEvent(int, short revents) {
    if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
        error = 0;
        Complete(Status::Failed);
    } else if (status == Status::Flushing) {
        if (revents & events.flush) Complete(Status::Completed);
    } else if (running() && (revents & events.dst)) {
        Progress();
    }
}

void Copy::Complete(Status::Type s) {
    if (!running()) return;
    status = s;
    src_event.Release();
    dst_event.Release();
    source.close();
    destination.close();
    step = &Copy::NotReady;
    Notify(s);
}

}  // namespace ASync
