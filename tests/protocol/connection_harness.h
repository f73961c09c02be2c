#ifndef KORVAND_TESTS_PROTOCOL_CONNECTION_HARNESS_H
#define KORVAND_TESTS_PROTOCOL_CONNECTION_HARNESS_H

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "protocol/control_service.h"
#include "runtime/fd.h"
#include "tests/protocol/harness.h"
#include "tests/support/pump.h"

inline Bytes frame(const Bytes& payload) {
    size_t n = payload.size() + 4;
    return Bytes{3, 0, uint8_t(n >> 8), uint8_t(n)} + payload;
}

inline size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

inline sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A listening TCP socket on 127.0.0.1, as the test's peer or blocker.
inline Fd listenOn(int port, int backlog = 8) {
    Fd s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(port);
    EXPECT_EQ(0, ::bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a)) << port;
    EXPECT_EQ(0, ::listen(s.get(), backlog));
    s.NonBlock();
    return s;
}

// One end of a stream connection held by the test: it writes whole,
// reads what has come and notices the peer's close.
struct Peer {
    Peer() = default;
    explicit Peer(Fd connected) : fd(connected) { fd.NonBlock(); }
    // A client of 127.0.0.1:port.
    static Peer tcp(int port) {
        Fd s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = loopback(port);
        EXPECT_EQ(0, ::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a)) << port;
        return Peer(s);
    }
    ~Peer() { fd.close(); }
    Peer(Peer&& o) noexcept : fd(o.fd), got(std::move(o.got)), eof(o.eof) { o.fd = Fd(); }

    void send(const Bytes& b) const {
        ASSERT_EQ(ssize_t(b.size()), ::send(fd.get(), b.data(), b.size(), MSG_NOSIGNAL))
            << "short write";
    }
    // Collects what has arrived; true once the peer closed.
    bool poll() {
        uint8_t buf[65536];
        for (ssize_t n; (n = ::recv(fd.get(), buf, sizeof buf, MSG_DONTWAIT)) != 0;) {
            if (n < 0) return eof = (errno != EAGAIN && errno != EWOULDBLOCK);
            got.insert(got.end(), buf, buf + n);
        }
        return eof = true;
    }
    // Runs the loop until `n` octets have come (or the peer closed).
    Bytes take(size_t n) {
        pumpUntil([&] { return poll() || got.size() >= n; });
        Bytes head(got.begin(), got.begin() + std::min(n, got.size()));
        got.erase(got.begin(), got.begin() + head.size());
        return head;
    }
    bool closedByPeer() {
        return pumpUntil([&] { return poll(); });
    }
    void close() { fd.close(); }

    Fd fd;
    Bytes got;
    bool eof = false;
};

// The owner of a connection: counts what it is told and keeps the messages.
struct Recorder : Control::Notify {
    void OnConnect() override { ++connects; }
    void OnDisconnect() override { ++disconnects; }
    void OnMessage(const char* data, int len) override {
        messages.emplace_back(data, data + len);
        if (onMessage) onMessage();
    }

    int connects = 0;
    int disconnects = 0;
    std::vector<Bytes> messages;
    std::function<void()> onMessage;
};

// Keeps the process from opening another descriptor while it lives.
struct DescriptorLimit {
    DescriptorLimit() {
        ::getrlimit(RLIMIT_NOFILE, &saved);
        int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(lowest);
        rlimit tight = saved;
        tight.rlim_cur = rlim_t(lowest);
        EXPECT_EQ(0, ::setrlimit(RLIMIT_NOFILE, &tight));
    }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved); }
    rlimit saved;
};

#endif
