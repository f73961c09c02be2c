#include "slots/record_slot.h"

#include <errno.h>
#include <sys/socket.h>

#include <iostream>

#include "hardware/mcc_channel.h"
#include "runtime/stream_items.h"

namespace {

// The socket is only written: no flush wait after the last write.
ASync::Copy::EventsParams RecordEvents() {
    ASync::Copy::EventsParams e;
    e.flush = 0;
    return e;
}

// What the peer may send is read and dropped, this much per event.
const int kPeerReadsPerEvent = 16;

}  // namespace

RecordSlot::RecordSlot(VoiceFactory& factory, const std::string& host, int timeslot, Fd channel)
    : factory(factory), host(host), timeslot(timeslot), fd(channel.dup()) {
    connector.Bind(this, &RecordSlot::OnConnect);
    copier.Bind(this, &RecordSlot::OnCopy);
    copier.set_events(RecordEvents());
    copier.set_io(&Mcc::ChannelIo(), nullptr);
    peer.Bind("RecordSlot::OnPeerEvent", &RecordSlot::OnPeerEvent, this);
}

RecordSlot::~RecordSlot() {
    factory.OnDestroy(this);
    fd.close();
}

void RecordSlot::PutHeader(std::ostream& os) const {
    os << "recorder[" << timeslot << "]: ";
}

void RecordSlot::IAfterCreate() {
    OnChangeInputStream(true);
}

bool RecordSlot::IBeforeDestroy() {
    factory.OnDestroy(this);
    return true;
}

// A connect still running is replaced (its Stopped completion is ignored).
bool RecordSlot::IOnInputStream() {
    connector.Start(host, VoiceFactory::kConnectTimeoutMs);
    return true;
}

void RecordSlot::OnConnect(ASync::Connect::Status::Type status, Fd socket) {
    if (status == ASync::Connect::Status::Stopped) return;
    if (status != ASync::Connect::Status::Connected) {
        std::clog << ext::header(*this) << "connection to " << host << " fail." << std::endl;
        Stop(LGCP::StopRecordingCause::connectionFail);
        return;
    }
    std::clog << ext::header(*this) << "connected to " << host << "." << std::endl;
    // A recording still running from an earlier connection gives way.
    copier.set_events(RecordEvents());
    peer.Schedule(socket, POLLIN);
    copier.Start(fd, socket);
}

void RecordSlot::OnCopy(ASync::Copy::Status::Type status) {
    if (status == ASync::Copy::Status::Stopped) return;
    if (status == ASync::Copy::Status::Completed || PeerClosed()) {
        std::clog << ext::header(*this) << "connection to " << host << " closed." << std::endl;
        Stop(LGCP::StopRecordingCause::userRequest);
    } else {
        std::cerr << ext::header(*this) << "record aborted" << std::endl;
        Stop(LGCP::StopRecordingCause::connectionAborted);
    }
}

// An orderly close reads as the end of the stream, also after the
// connection was reset by a write that followed it.
bool RecordSlot::PeerClosed() const {
    char byte;
    return peer.fd && ::recv(peer.fd.get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

void RecordSlot::OnPeerEvent(int socket, short) {
    char buf[1024];
    for (int i = 0; i < kPeerReadsPerEvent; ++i) {
        ssize_t n = ::recv(socket, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n == 0) {
            std::clog << ext::header(*this) << "connection to " << host << " closed." << std::endl;
            Stop(LGCP::StopRecordingCause::userRequest);
        } else {
            std::cerr << ext::header(*this) << "record aborted" << std::endl;
            Stop(LGCP::StopRecordingCause::connectionAborted);
        }
        return;
    }
}

void RecordSlot::Stop(LGCP::StopRecordingCause::NamedNumber cause) {
    copier.set_events(RecordEvents());  // ends a copy still running
    connector.Stop();
    peer.Release();
    LGCP::IoctlResponse r;
    r.set_stopRecording(cause);
    OnIoctlResponse(r);
}
