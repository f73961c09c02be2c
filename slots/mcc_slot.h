#ifndef KORVAND_SLOTS_MCC_SLOT_H
#define KORVAND_SLOTS_MCC_SLOT_H

#include <deque>
#include <string>
#include <vector>

#include "core/slot.h"
#include "core/slot_factory.h"
#include "runtime/event.h"
#include "runtime/fd.h"

// A byte channel of the board's MCC controller that the controller uses
// directly: user data is written to the channel, what the channel receives
// comes back as `userData` signals, and the channel's TDM channel is
// connected to other slots through the switch.
//
// User data is never dropped quietly: what the channel cannot take at once
// waits in a bounded queue until the channel is writable again; a command
// that would overflow the queue, or that the channel refuses, is answered
// as a failure. A channel that hangs up, fails or ends is closed and
// reported with `deactivated`.
class MccSlot : public Slot {
public:
    // The most one read takes.
    static const size_t kReadSize = 1024;
    // The user data that may wait for the channel; a command that would
    // queue more is refused whole. One command carries less than 16 KiB.
    static const size_t kPendingLimit = 64 * 1024;

    // Takes a duplicate of an allocated channel's descriptor and reads its
    // TDM channel (a failure's negative result is kept as it is).
    explicit MccSlot(Fd fd);

    bool IUserData(const std::vector<char>& data) override;
    bool IOnOutputStream() override { return true; }
    bool IOnInputStream() override { return true; }
    int IGetTransmitChannel() const override { return channel; }
    int IGetReceiveChannel() const override { return channel; }
    const char* GetName() const override { return "MCC"; }

    // The poll callback: received data, then the writable queue.
    void OnEvent(int fd, short revents);
    // Reads until the channel is empty, each read one `userData` signal.
    void DoRead(short revents);

    bool IsOpen() const { return bool(m_event.fd); }
    // User data accepted and not yet written.
    size_t Pending() const { return pendingBytes; }

private:
    // Writes what the channel takes now: the count, or -1 on a failure.
    ssize_t WriteSome(const char* data, size_t len);
    void Queue(const std::vector<char>& data, size_t written);
    // Writes from the queue while the channel takes it.
    void Flush();
    // Closes the channel and reports it lost.
    void Fail(const std::string& why);

    int channel;
    Event m_event;
    std::deque<std::vector<char>> pending;
    size_t pendingOffset = 0;  // of the first queued command, already written
    size_t pendingBytes = 0;
};

// Builds MCC slots (`mcc` parameters): each allocates one channel of the
// requested type, or of the SS7 kind in `ss7` mode.
class MccFactory : public SlotFactory {
public:
    MccFactory() = default;

    const char* GetName() const override { return "MCC"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override;
    // The driver's channel counts for data, BRI and transparent use; 0 when
    // the driver does not answer.
    void Query(LGCP::Resources& resources) override;
};

#endif
