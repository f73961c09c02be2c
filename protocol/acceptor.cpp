#include "protocol/acceptor.h"

#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstring>
#include <iostream>

namespace Control {

// ---- AcceptorNet --------------------------------------------------------------------

bool AcceptorNet::ImplActivate() {
    INet4::Addr any;
    any.setPort(port);
    listener.Open(SockAddr(any));
    return true;
}

// ---- AcceptorNetCheckConnection -----------------------------------------------------

AcceptorNetCheckConnection::~AcceptorNetCheckConnection() {
    watched.close();
}

bool AcceptorNetCheckConnection::ImplActivate() {
    AcceptorNet::ImplActivate();
    CheckConnection();
    return true;
}

void AcceptorNetCheckConnection::ImplDeactivate() {
    check.reset();
    watched.close();
    check_state = CheckState::Idle;
    AcceptorNet::ImplDeactivate();
}

// A watch belongs to the connection it was started for: the next
// controller starts unwatched.
void AcceptorNetCheckConnection::ImplConnected(Fd fd) {
    watched.close();
    watched = fd.dup();
    if (check_state != CheckState::Idle) EndWatch();
}

void AcceptorNetCheckConnection::ImplOnDisconnect() {
    if (check_state != CheckState::Idle) EndWatch();
    watched.close();
    AcceptorNet::ImplOnDisconnect();
}

void AcceptorNetCheckConnection::EndWatch() {
    check_state = CheckState::Idle;
    counter = 0;
    SetupKeepAlive(false);
}

void AcceptorNetCheckConnection::ImplRefuseConnection() {
    if (check_state != CheckState::Idle) return;
    check_state = CheckState::CheckConnection;
    counter = close_watch_checks;
    SetupKeepAlive(true);
    if (GetTrace()) std::cerr << "CheckConnectionState CheckConnection" << std::endl;
}

void AcceptorNetCheckConnection::CheckConnection() {
    if (GetState() == Service::Connected && Examine()) {
        EndWatch();
        Disconnect();
        if (GetTrace()) std::cerr << "CheckConnectionState Idle" << std::endl;
    }
    check.set(check_period_ms, &AcceptorNetCheckConnection::OnCheckConnectionTimeout, this);
}

// One pass of the tests; true when the connection is to be dropped. Every
// test runs before the one close.
bool AcceptorNetCheckConnection::Examine() {
    bool drop = false;
    TcpInfo info;
    if (QueryTcpInfo(watched, info)) {
        if (info.state != 1) {
            Report("tcp socket change state.");
            drop = true;
        }
        if (check_state == CheckState::CheckConnection) {
            if (info.ca_state != 0) {
                if (counter > 0) --counter;
                if (counter <= 0) {
                    Report("tcp socket change ca_state.");
                    drop = true;
                }
            } else {
                EndWatch();
                if (GetTrace()) std::cerr << "CheckConnectionState Idle" << std::endl;
            }
        }
    }
    int pending = 0;
    socklen_t len = sizeof pending;
    if (::getsockopt(watched.get(), SOL_SOCKET, SO_ERROR, &pending, &len) != 0) pending = errno;
    if (pending != 0) {
        Report(std::strerror(pending));
        drop = true;
    }
    return drop;
}

void AcceptorNetCheckConnection::Report(const std::string& reason) {
    if (GetTrace())
        std::cerr << "connection from " << GetConnectionName() << " closed: " << reason
                  << std::endl;
}

bool AcceptorNetCheckConnection::QueryTcpInfo(Fd fd, TcpInfo& info) {
    // The record as the board's kernel knows it; a newer kernel fills in
    // only what fits.
    uint8_t record[92];
    socklen_t len = sizeof record;
    if (::getsockopt(fd.get(), IPPROTO_TCP, TCP_INFO, record, &len) != 0 || len < 2) return false;
    info.state = record[0];
    info.ca_state = record[1];
    return true;
}

void AcceptorNetCheckConnection::SetupKeepAlive(bool fast) {
    // Failures leave the previous values, which is all one can do.
    const int values[][2] = {{SOL_SOCKET, SO_KEEPALIVE},
                             {IPPROTO_TCP, TCP_KEEPIDLE},
                             {IPPROTO_TCP, TCP_KEEPINTVL},
                             {IPPROTO_TCP, TCP_KEEPCNT}};
    const int normal[] = {1, 7200, 75, 9};
    const int quick[] = {1, 1, 1, 3};
    for (int i = 0; i < 4; ++i) {
        int v = fast ? quick[i] : normal[i];
        (void)::setsockopt(watched.get(), values[i][0], values[i][1], &v, sizeof v);
    }
}

// ---- AcceptorUnix -------------------------------------------------------------------

bool AcceptorUnix::ImplActivate() {
    SockAddr local;
    if (!local.set_local(path)) {
        if (GetTrace()) std::cerr << "bad socket path: \"" << path << "\"" << std::endl;
        return false;
    }
    listener.Open(local);
    return true;
}

}  // namespace Control
