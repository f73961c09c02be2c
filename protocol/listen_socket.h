#ifndef KORVAND_PROTOCOL_LISTEN_SOCKET_H
#define KORVAND_PROTOCOL_LISTEN_SOCKET_H

#include "protocol/sock_addr.h"
#include "runtime/event.h"
#include "runtime/fd.h"
#include "runtime/timer.h"

namespace Control {

class Service;

// The listening end of the TCP and local acceptors. It admits one client at
// a time into its service and refuses the others while one is connected.
// What may pass is retried every 5000 ms: creating the socket, binding a
// busy address, and accepting when the process is out of descriptors (the
// listener leaves the loop meanwhile rather than find the same pending
// client every pass). A client that knocks while the service is still
// winding down its last connection waits in the backlog, and so does one
// that knocks after the connected peer hung up, before the loss is seen:
// it is that peer's successor, not a second client to refuse.
class ListenSocket {
public:
    static const unsigned retry_ms = 5000;
    static const int backlog = 1;

    ListenSocket(Service& service, const char* event_name);
    ~ListenSocket() { Close(); }
    ListenSocket(const ListenSocket&) = delete;
    ListenSocket& operator=(const ListenSocket&) = delete;

    // Closes what is open and starts listening on `address`.
    void Open(const SockAddr& address);
    void Close();
    // Registered with the loop for new clients.
    bool listening() const { return ready && event.fd; }

    void OnSocketEvent(int fd, short revents);
    void OnTimeout(Timer*);
    // The service's connection is released: a client waiting for that is
    // taken now.
    void Resume();

private:
    void Attempt();
    bool CreateSocket();
    bool BindSocket();
    bool Listen();
    void Pause(int error);
    void Take(Fd client, const SockAddr& peer);

    Service& service;
    SockAddr address;
    Fd sock;
    bool bound = false;
    bool ready = false;  // listen() and non-blocking mode done
    bool awaiting_release = false;  // out of the loop until Resume()
    Timer retry;
    Event event;
};

// A message connection of family `Base` (ServiceNet or ServiceUnix) that
// listens for its connections; the subclass opens the listener with its
// address when activated.
template <class Base>
class Accepting : public Base {
public:
    bool Listening() const { return listener.listening(); }

protected:
    Accepting(bool trace, const char* event_name) : Base(trace), listener(*this, event_name) {}
    void ImplDeactivate() override { listener.Close(); }
    void ImplOnDisconnect() override { listener.Resume(); }

    ListenSocket listener;
};

// Removes the file at `path` when it is a socket (a stale one, left by an
// earlier run); any other file stays.
void RemoveStaleSocket(const std::string& path);

}  // namespace Control

#endif
