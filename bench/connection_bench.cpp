// A message round trip on loopback through two message connections (a
// connector sends, the acceptor's owner echoes it back, the connector's
// owner receives it), against a bare TCP echo of the same framed bytes
// between two sockets polled in the same thread. Both run in this one
// thread, as the daemon would.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "bench/loopback.h"
#include "protocol/acceptor.h"
#include "protocol/connector.h"
#include "runtime/multiplexer.h"

namespace {

// Sends every message it gets back where it came from.
struct Echo : Control::Notify {
    void OnConnect() override { connected = true; }
    void OnDisconnect() override { connected = false; }
    void OnMessage(const char* data, int len) override { service->Send(data, len); }
    Control::Service* service = nullptr;
    bool connected = false;
};

struct Counter : Control::Notify {
    void OnConnect() override { connected = true; }
    void OnDisconnect() override { connected = false; }
    void OnMessage(const char*, int len) override { received += size_t(len); }
    bool connected = false;
    size_t received = 0;
};

void BM_ServiceRoundTrip(benchmark::State& state) {
    int port = FreePort();
    Control::AcceptorNet server(port, false);
    Control::ConnectorNet client("127.0.0.1", uint16_t(port));
    Echo echo;
    Counter replies;
    echo.service = &server;
    server.Bind(&echo);
    client.Bind(&replies);
    server.Activate();
    client.Activate();
    while (!(echo.connected && replies.connected)) multiplexer.runOnce(10);

    std::vector<char> payload(size_t(state.range(0)), 'm');
    for (auto _ : state) {
        size_t expected = replies.received + payload.size();
        if (!client.Send(payload.data(), int(payload.size()))) state.SkipWithError("not sent");
        while (replies.received < expected) multiplexer.runOnce(100);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0) * 2);
    client.Deactivate();
    server.Deactivate();
}
BENCHMARK(BM_ServiceRoundTrip)->Arg(16)->Arg(256)->Arg(4096)->Arg(16384);

// Writes all of `data`, then reads it back whole from `to`, waiting in poll.
void Transfer(int from, int to, const std::vector<uint8_t>& data, std::vector<uint8_t>& buffer) {
    size_t sent = 0;
    size_t got = 0;
    while (got < data.size()) {
        if (sent < data.size()) {
            ssize_t n =
                ::send(from, data.data() + sent, data.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) sent += size_t(n);
        }
        pollfd p{to, POLLIN, 0};
        ::poll(&p, 1, 100);
        ssize_t n = ::recv(to, buffer.data() + got, buffer.size() - got, MSG_DONTWAIT);
        if (n > 0) got += size_t(n);
    }
}

void BM_TcpEcho(benchmark::State& state) {
    int port = FreePort();
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(port);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 1);
    int client = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int server = ::accept(listener, nullptr, nullptr);
    int one = 1;
    for (int fd : {client, server}) ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    // The same octets a message connection puts on the wire.
    std::vector<uint8_t> frame(size_t(state.range(0)) + 4, 'm');
    frame[0] = 3;
    frame[1] = 0;
    frame[2] = uint8_t(frame.size() >> 8);
    frame[3] = uint8_t(frame.size());
    std::vector<uint8_t> there(frame.size());
    std::vector<uint8_t> back(frame.size());
    for (auto _ : state) {
        Transfer(client, server, frame, there);
        Transfer(server, client, there, back);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0) * 2);
    ::close(client);
    ::close(server);
    ::close(listener);
}
BENCHMARK(BM_TcpEcho)->Arg(16)->Arg(256)->Arg(4096)->Arg(16384);

}  // namespace
BENCHMARK_MAIN();
