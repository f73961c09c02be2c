#ifndef KORVAND_PROTOCOL_ASYNC_CONNECT_H
#define KORVAND_PROTOCOL_ASYNC_CONNECT_H

#include <string>

#include "protocol/async_handler.h"
#include "runtime/event.h"
#include "runtime/fd.h"
#include "runtime/timer.h"

namespace ASync {

// How a connect stands, and how it ended.
struct ConnectStatus {
    enum Type { Idle = 0, Connecting = 1, Failed = 2, Connected = 3, Stopped = 4 };
};

// Opens a TCP connection without blocking, under a time-out, and reports
// exactly once per Start: connected, failed or stopped. The handler gets
// the connected socket for Connected, -1 otherwise; it is a duplicate closed
// when the call returns, so a handler that keeps the connection duplicates
// it.
class Connect : public Completion<ConnectStatus::Type, Fd> {
public:
    typedef ConnectStatus Status;

    Connect();
    // Closes the socket without calling the handler.
    ~Connect();
    Connect(const Connect&) = delete;
    Connect& operator=(const Connect&) = delete;

    // `address` is "a.b.c.d:port" (no name lookup); `timeout` in ms. An
    // attempt still in progress is first completed with Stopped.
    void Start(const std::string& address, unsigned timeout);
    // Completes an attempt in progress with Stopped.
    void Stop() { Complete(Status::Stopped); }

    Status::Type state() const { return status; }

    void OnSocketEvent(int fd, short revents);
    void OnTimeOut(Timer*) { Complete(Status::Failed); }

private:
    void Complete(Status::Type s);

    Status::Type status = Status::Idle;
    Fd sock;
    Event event;
    Timer timer;
};

}  // namespace ASync

#endif
