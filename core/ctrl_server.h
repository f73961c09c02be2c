#ifndef KORVAND_CORE_CTRL_SERVER_H
#define KORVAND_CORE_CTRL_SERVER_H

#include <iosfwd>
#include <memory>
#include <vector>

#include "asn1/gen/lgcp.h"
#include "protocol/control_service.h"
#include "runtime/timer.h"

namespace CtrlSrv {

class Server;

// Base of every control-side module bound to the control server. The
// server offers each command to the bound services in bind order until one
// takes it; the taker answers through Success, Error or delayResponse.
// Signals raised with SendSignal reach every other bound service first and
// then the controller. Destroying a service does not unbind it.
class Service {
public:
    Service() = default;
    virtual ~Service() = default;
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // A controller connected; the connection is lost (also at tear-down).
    virtual void OnConnect() = 0;
    virtual void OnDisconnect() = 0;
    // True when the service takes the command; it then owes one answer.
    virtual bool OnCommand(const LGCP::Command& command) = 0;
    // A signal that another service raised.
    virtual void OnSignal(const LGCP::Signal&) {}

    // Answers of the request being handled: the first Success or delay is
    // the answer; an Error is sent unless an error was sent already.
    void Success();
    void Error(LGCP::ErrorCause::NamedNumber cause);
    // Marks the request as answered later; returns its sequence number (0
    // when it had none), to be given back to delayedSuccess with the slot id.
    unsigned delayResponse();
    // A success for an earlier request, always with both numbers.
    void delayedSuccess(unsigned slot, unsigned seq);
    // Hands the signal to every other bound service, then sends it to the
    // controller: without a slot id outside request handling, with the
    // request's slot id during it; or with the given slot id.
    void SendSignal(const LGCP::Signal& signal);
    void SendSignal(unsigned slot, const LGCP::Signal& signal);
    // The slot id of the request being handled (-1 when none).
    int GetSlot() const;
    bool IsSlotPresent() const;
    // False when unbound or the server has no connection service; else
    // `connected` tells whether a controller is connected.
    bool CheckServerConnection(bool& connected) const;

protected:
    Server* BoundServer() const { return server; }

private:
    friend class Server;
    // Writes the unbound-service line when there is no server.
    bool Bound() const;

    Server* server = nullptr;
};

// The controller's end of the control link: the listener of the one
// control connection service. It decodes each message, dispatches
// commands, answers each request exactly once and carries signals.
class Server : public Control::Notify {
public:
    // Payload room reserved for an encoded message.
    static const size_t reserved_octets = 200;
    // The quiet time after a large message before the heap is trimmed.
    static const unsigned trim_delay_ms = 1000;

    Server() = default;
    // Drops the connection service without telling the services: at exit
    // they may be gone already (start-up deactivates before).
    ~Server() override;
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Appends the service; bind order is dispatch order.
    void Bind(Service* s);
    // Takes the service out of the dispatch list and unbinds it. A service
    // destroyed before the server must be unbound first; the daemon's stay
    // bound for its life, tests unbind theirs.
    void Unbind(Service* s);
    size_t BoundCount() const { return services.size(); }
    // Deactivate(), then owns `s`, names it "server", listens to it and
    // activates it; returns the activation's result. Not from inside the
    // connection service's own callbacks.
    bool Activate(Control::Service* s);
    // Stops and deletes the connection service; every bound service hears
    // OnDisconnect once more. A trim of the heap that is due is done now.
    void Deactivate();

    void OnConnect() override;
    void OnDisconnect() override;
    void OnMessage(const char* data, int len) override;
    // Closes the current controller connection.
    void OnHeartbeatTimeout();

    // "ctrl [peer]: ", "ctrl [not connected]: " or "ctrl [null]: ".
    void PutHeader(std::ostream& os) const;
    // Encodes and sends; the failure lines go to the error stream.
    void SendMsg(LGCP::Message& msg);
    Control::Service* GetService() const { return service.get(); }

private:
    friend class Service;
    enum AckState { nothingSent = 0, successSent = 1, errorSent = 2 };

    // Decodes the payload and handles the message.
    void Receive(const char* data, int len);
    // Gives the heap's free memory back to the system.
    void TrimHeap();
    void Handle(const LGCP::Message& msg);
    bool Dispatch(const LGCP::Command& command);
    void Success();
    void Error(LGCP::ErrorCause::NamedNumber cause);
    unsigned delayResponse();
    void delayedSuccess(unsigned slot, unsigned seq);
    void SendSignal(Service* from, const LGCP::Signal& signal, bool withSlot, unsigned id);
    // A message carrying the request's seq and slot ids, when present.
    void Answer(LGCP::Message& reply);

    std::vector<Service*> services;
    std::unique_ptr<Control::Service> service;
    bool hasSeq = false;
    int seq = 0;
    int slot = -1;
    int ackState = nothingSent;
    Timer trimTimer;
};

}  // namespace CtrlSrv

extern CtrlSrv::Server ctrlServer;

#endif
