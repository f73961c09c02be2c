#ifndef KORVAND_PROTOCOL_ACCEPTOR_H
#define KORVAND_PROTOCOL_ACCEPTOR_H

#include <cstdint>
#include <string>

#include "protocol/control_service.h"
#include "protocol/listen_socket.h"
#include "runtime/timer.h"

namespace Control {

// A TCP message connection that listens on a port (all addresses) and
// admits one client at a time; further clients are accepted and closed at
// once while one is connected.
class AcceptorNet : public Accepting<ServiceNet> {
public:
    AcceptorNet() : AcceptorNet(0) {}
    explicit AcceptorNet(int port) : AcceptorNet(port, true) {}
    AcceptorNet(int port, bool trace)
        : Accepting(trace, "AcceptorNet::OnSocketEvent"), port(uint16_t(port)) {}

    uint16_t GetPort() const { return port; }

protected:
    // Always true: a socket that cannot be had yet is retried every 5000 ms.
    bool ImplActivate() override;

private:
    uint16_t port;
};

// The control port's acceptor: it also checks the connected client's TCP
// socket every 1000 ms and drops a connection whose TCP state leaves
// established or that has a pending error. When a second client is
// refused, the connected one is watched closely: fast keep-alive, and it
// is dropped unless its congestion-avoidance state is back to open within
// two checks, so that a controller that restarted gets in.
class AcceptorNetCheckConnection : public AcceptorNet {
public:
    enum class CheckState { Idle = 0, CheckConnection = 1 };
    // The first two octets of the kernel's TCP_INFO record.
    struct TcpInfo {
        uint8_t state = 0;     // 1: established
        uint8_t ca_state = 0;  // 0: open
    };

    static const unsigned check_period_ms = 1000;
    static const int close_watch_checks = 2;

    AcceptorNetCheckConnection() : AcceptorNetCheckConnection(0) {}
    explicit AcceptorNetCheckConnection(int port) : AcceptorNetCheckConnection(port, true) {}
    AcceptorNetCheckConnection(int port, bool trace) : AcceptorNet(port, trace) {}
    ~AcceptorNetCheckConnection() override;

    void CheckConnection();
    void OnCheckConnectionTimeout(Timer*) { CheckConnection(); }
    // Keep-alive after 7200 s, every 75 s, 9 probes; fast: 1 s, 1 s, 3.
    void SetupKeepAlive(bool fast);
    CheckState GetCheckState() const { return check_state; }

protected:
    bool ImplActivate() override;
    void ImplDeactivate() override;
    // The watched duplicate goes with the connection, so the peer sees the
    // close; a watch that a refusal started ends with it.
    void ImplOnDisconnect() override;
    void ImplRefuseConnection() override;
    void ImplConnected(Fd fd) override;

    // Reads TCP_INFO of `fd`; false when the query fails.
    virtual bool QueryTcpInfo(Fd fd, TcpInfo& info);

private:
    bool Examine();
    void Report(const std::string& reason);
    // Back to Idle with the normal keep-alive on the watched socket.
    void EndWatch();

    Timer check;
    Fd watched;  // the acceptor's own duplicate of the connected socket
    CheckState check_state = CheckState::Idle;
    int counter = 0;
};

// A message connection listening on a local stream socket.
class AcceptorUnix : public Accepting<ServiceUnix> {
public:
    AcceptorUnix() : AcceptorUnix(std::string()) {}
    explicit AcceptorUnix(const std::string& path, bool trace = true)
        : Accepting(trace, "AcceptorUnix::OnSocketEvent"), path(path) {}

    const std::string& GetPath() const { return path; }

protected:
    // False for a path that does not fit a socket address.
    bool ImplActivate() override;

private:
    std::string path;
};

}  // namespace Control

#endif
