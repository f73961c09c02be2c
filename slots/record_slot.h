#ifndef KORVAND_SLOTS_RECORD_SLOT_H
#define KORVAND_SLOTS_RECORD_SLOT_H

#include <iosfwd>
#include <string>

#include "protocol/async_connect.h"
#include "protocol/async_copy.h"
#include "runtime/event.h"
#include "runtime/fd.h"
#include "slots/voice_slot.h"

// A recorder: copies what its MCC channel receives to a TCP peer, which it
// connects to each time it is connected anew as a receiver. The end is
// told with `stopRecording`: `connectionFail` when the connect fails,
// `userRequest` when the peer closes the connection in order (a FIN), and
// `connectionAborted` when the connection breaks (a reset, a failed
// write). The peer's side of the socket is watched while recording, so an
// orderly close is seen even while the channel is silent and is not
// mistaken for a break by a later write. Like the players, its engines are
// members that stop instead of going away, and Stopped completions are its
// own doing.
class RecordSlot : public VoiceSlot {
public:
    // Takes a duplicate of the allocated channel.
    RecordSlot(VoiceFactory& factory, const std::string& host, int timeslot, Fd channel);
    ~RecordSlot() override;

    void IAfterCreate() override;
    bool IBeforeDestroy() override;
    bool IOnInputStream() override;
    int IGetReceiveChannel() const override { return timeslot; }
    const char* GetName() const override { return "recorder"; }

    // "recorder[" timeslot "]: "
    void PutHeader(std::ostream& os) const;
    bool IsRecording() const { return copier.state() >= ASync::Copy::Status::Copying &&
                                      copier.state() <= ASync::Copy::Status::Flushing; }

    // What the peer sends or how it ends.
    void OnPeerEvent(int fd, short revents);

private:
    void OnConnect(ASync::Connect::Status::Type status, Fd socket);
    void OnCopy(ASync::Copy::Status::Type status);
    // True when the peer has closed its side in order.
    bool PeerClosed() const;
    void Stop(LGCP::StopRecordingCause::NamedNumber cause);

    VoiceFactory& factory;
    std::string host;
    int timeslot;
    Fd fd;
    ASync::Copy copier;
    ASync::Connect connector;
    Event peer;
};

#endif
