#ifndef KORVAND_PROTOCOL_CONTROL_SERVICE_H
#define KORVAND_PROTOCOL_CONTROL_SERVICE_H

#include <cstdint>
#include <string>

#include "protocol/protocol.h"
#include "protocol/sock_addr.h"
#include "runtime/dpc.h"
#include "runtime/fd.h"
#include "runtime/inet4_addr.h"
#include "runtime/measure.h"

class StrmProtocol;
class Tpkt_protocol;

namespace Control {

// What a message connection tells its owner.
class Notify {
public:
    virtual ~Notify() = default;
    // A connection is up and its stack active.
    virtual void OnConnect() = 0;
    // The connection is gone: once per lost connection, from a deferred
    // call on the loop pass after the loss, never from inside the stack.
    virtual void OnDisconnect() = 0;
    // One whole TPKT payload; the bytes are valid during the call only.
    virtual void OnMessage(const char* data, int len) = 0;
};

// "Idle", "Connecting", "Deactivating", "Connected"; "Unknown" otherwise.
const char* GetTextNotation(int state);

class ListenSocket;
class ConnectSocket;

// One message connection: a stream socket with TPKT framing, seen by its
// owner as whole messages. The subclasses say how the socket is obtained
// (accepted or connected, TCP or local).
//
// Owners: construct, service_name, Bind, Activate; then Send and Disconnect
// at will; at the end Deactivate, UnBind and destroy. The callbacks may
// call Send, Disconnect, Activate and Deactivate, but must not destroy the
// service (OnDisconnect, which comes last in its deferred call, may).
class Service : private ProtocolsFamily {
public:
    enum State { Idle = 0, Connecting = 1, Deactivating = 2, Connected = 3 };

    explicit Service(bool trace = true);
    ~Service() override;

    void Bind(Notify* n) { listener = n; }
    void UnBind() { listener = nullptr; }
    void service_name(const std::string& name);
    const std::string& service_name() const;

    // Deactivate(), then Connecting and the subclass's activation. False,
    // and Idle, when the subclass could not start.
    bool Activate();
    // Stops listening or connecting, then Idle. It neither closes an
    // accepted connection nor calls the listener.
    void Deactivate();
    // Closes the current connection; the listener hears of it through
    // OnDisconnect. Nothing happens without a connection.
    void Disconnect();
    // Frames and writes one message. False when it was not sent: no
    // connection (a line while Idle or Connecting), no free packet, a
    // message longer than a frame carries, or a write that failed (the
    // connection is then lost).
    bool Send(const char* data, int len);
    // Drops the socket at once, without the loss path or the listener, and
    // what was received from it but not yet handed up.
    void Release();

    uint32_t GetOverflowCounter() const;
    const Measure& get_read_measure() const;
    const Measure& get_write_measure() const;

    int GetState() const { return state; }
    // The peer's text form while a connection is attached.
    const std::string& GetConnectionName() const { return name; }
    bool GetTrace() const { return trace; }

protected:
    virtual bool ImplActivate() = 0;
    virtual void ImplDeactivate() = 0;
    // Runs from the deferred call after a lost connection, while the
    // service is still active.
    virtual void ImplOnDisconnect() = 0;
    // Acceptor hooks: a client was refused; a client was attached.
    virtual void ImplRefuseConnection() {}
    virtual void ImplConnected(Fd) {}
    // Attaches an accepted or connected socket of the subclass's family.
    virtual void Admit(Fd fd, const SockAddr& peer) = 0;

    // Only Idle and Connecting take a new socket.
    bool Attachable() const { return state == Idle || state == Connecting; }
    // Names the connection, attaches a duplicate of `fd` to the stream
    // layer, activates the stack and tells the listener.
    void Attach(Fd fd, const std::string& connection);

private:
    friend class ListenSocket;
    friend class ConnectSocket;

    void on_message(Packet& p) override;
    void on_activated(Protocol* reporter) override;
    void on_deactivated(Protocol* reporter, Protocol_status_ptr s) override;
    void OnDeactivateDPC();
    bool PeerClosed() const;

    std::string name;
    bool trace;
    int state = Idle;
    Notify* listener = nullptr;
    StrmProtocol* strm;
    Tpkt_protocol* tpkt;
    Dpc dpc;
    bool linked = false;  // a socket is attached whose loss is still to be told
};

// A TCP message connection.
class ServiceNet : public Service {
public:
    explicit ServiceNet(bool trace = true) : Service(trace) {}

    // Attaches an accepted or connected TCP socket: keep-alive on, Nagle
    // off, the peer's address as connection name. The caller keeps and
    // closes its own descriptor.
    void Connected(Fd fd, const INet4::Addr& peer);
    const INet4::Addr& GetPeerAddress() const { return peer; }

protected:
    void Admit(Fd fd, const SockAddr& address) override { Connected(fd, address.inet4()); }

private:
    INet4::Addr peer;
};

// A message connection on a local stream socket.
class ServiceUnix : public Service {
public:
    explicit ServiceUnix(bool trace = true) : Service(trace) {}

    void Connected(Fd fd, const std::string& connection);

protected:
    void Admit(Fd fd, const SockAddr& address) override { Connected(fd, address.text()); }
};

}  // namespace Control

#endif
