#ifndef KORVAND_PROTOCOL_CONNECTOR_H
#define KORVAND_PROTOCOL_CONNECTOR_H

#include <cstdint>
#include <string>

#include "protocol/control_service.h"
#include "protocol/sock_addr.h"
#include "runtime/event.h"
#include "runtime/fd.h"
#include "runtime/timer.h"

namespace Control {

// The connecting end shared by the TCP and local connectors. It connects
// without blocking and keeps trying: the first seven failures after Start
// are retried after 1000 ms each, later ones after a wait that depends on
// the cause (refused at once 20000 ms, error or hang-up while connecting
// 15000 ms, connection completed with an error 12000 ms). After a lost
// connection the next attempt follows 10000 ms later; the fast retries are
// given again only by Start. Its lines are printed whatever the service's
// trace flag.
class ConnectSocket {
public:
    // The lines that differ between the families.
    struct Texts {
        const char* create_failed;
        const char* non_block_failed;
        const char* connected_at_once;  // on the log stream
    };

    static const int fast_retries = 7;
    static const unsigned fast_retry_ms = 1000;
    static const unsigned refused_retry_ms = 20000;
    static const unsigned failed_retry_ms = 15000;
    static const unsigned completed_with_error_retry_ms = 12000;
    static const unsigned reconnect_ms = 10000;

    ConnectSocket(Service& service, const char* event_name, const Texts& texts);
    // A connect still in progress goes with it: the socket has no other
    // owner, and the peer would keep a half-open connection.
    ~ConnectSocket() { Stop(); }
    ConnectSocket(const ConnectSocket&) = delete;
    ConnectSocket& operator=(const ConnectSocket&) = delete;

    // `target` names the peer in the lines; `local`, when valid, is bound
    // first (local sockets only).
    void Start(const SockAddr& peer, const std::string& target, const SockAddr& local = SockAddr());
    // Stops the attempt in progress and any retry.
    void Stop();
    // Arms the attempt that follows a lost connection.
    void Reconnect();

    void TryConnect();
    void OnSocketEvent(int fd, short revents);
    void OnTimeout(Timer*) { TryConnect(); }

private:
    void BindLocal();
    void Retry(unsigned slow_ms);
    void Succeed(std::ostream& os, const char* text, const char* end);

    Service& service;
    const Texts& texts;
    SockAddr peer;
    SockAddr local;
    std::string target;
    Fd sock;
    Timer retry;
    Event event;
    int fast = 0;
};

// A message connection of family `Base` (ServiceNet or ServiceUnix) that
// connects out, and again after a loss, for as long as it is active; the
// subclass starts the link with its address when activated.
template <class Base>
class Connecting : public Base {
public:
    void TryConnect() { link.TryConnect(); }
    void OnSocketEvent(int fd, short revents) { link.OnSocketEvent(fd, revents); }

protected:
    Connecting(const char* event_name, const ConnectSocket::Texts& texts)
        : link(*this, event_name, texts) {}
    void ImplDeactivate() override {
        this->Release();
        link.Stop();
    }
    void ImplOnDisconnect() override { link.Reconnect(); }

    ConnectSocket link;
};

// A TCP message connection to a peer given by a dotted-quad address and a
// port (no name lookup).
class ConnectorNet : public Connecting<ServiceNet> {
public:
    static const ConnectSocket::Texts texts;

    ConnectorNet() : ConnectorNet(std::string(), 0) {}
    ConnectorNet(const std::string& host, unsigned short port);
    // "a.b.c.d:port".
    explicit ConnectorNet(const std::string& address);

    const std::string& GetHost() const { return host; }
    uint16_t GetPort() const { return port; }

protected:
    bool ImplActivate() override;

private:
    uint16_t port;
    std::string host;
};

// The same on a local stream socket, optionally bound to a local path.
class ConnectorUnix : public Connecting<ServiceUnix> {
public:
    static const ConnectSocket::Texts texts;

    ConnectorUnix() : ConnectorUnix(std::string()) {}
    explicit ConnectorUnix(const std::string& path, const std::string& local = std::string());

protected:
    // False for a path that does not fit a socket address.
    bool ImplActivate() override;

private:
    std::string path;
    std::string local;
};

}  // namespace Control

#endif
