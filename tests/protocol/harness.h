#ifndef KORVAND_TESTS_PROTOCOL_HARNESS_H
#define KORVAND_TESTS_PROTOCOL_HARNESS_H

#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/packet.h"
#include "protocol/protocol.h"
#include "runtime/fd.h"

typedef std::vector<uint8_t> Bytes;

inline Bytes bytes(const Packet& p) { return Bytes(p.data(), p.data() + p.length()); }

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Packet make_packet(const Bytes& content, unsigned head = 0) {
    Packet p;
    EXPECT_TRUE(p.reserve_head(head));
    p.put(content.data(), unsigned(content.size()));
    return p;
}

// Every test ends with the whole pool free.
class PoolTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(packet_pool_blocks, Packet::free_blocks()) << "blocks leaked"; }
};

// Holds blocks until only `leave` are free.
struct PoolDrain {
    explicit PoolDrain(unsigned leave = 0) {
        while (Packet::free_blocks() > leave) held.push_back(make_packet({}));
    }
    std::vector<Packet> held;
};

// The owner of a stack: records what reaches it from the top and the bottom.
struct Owner : ProtocolsFamily {
    struct Report {
        Protocol* reporter;
        Protocol_status_ptr status;
        std::string text() const { return status->message(); }
    };
    void on_message(Packet& p) override {
        messages.push_back(bytes(p));
        if (onMessage) onMessage();
    }
    void on_activated(Protocol* reporter) override { activated.push_back(reporter); }
    void on_deactivated(Protocol* r, Protocol_status_ptr s) override { reports.push_back({r, s}); }

    std::function<void()> onMessage;
    std::vector<Bytes> messages;
    std::vector<Protocol*> activated;
    std::vector<Report> reports;
};

// A bottom layer that keeps what it is asked to send.
struct Sink : Protocol {
    bool message(Packet& p) override {
        sent.push_back(bytes(p));
        return accept;
    }
    void hold_receive(bool hold) override { held = hold; }
    std::vector<Bytes> sent;
    bool accept = true;
    bool held = false;
};

// Local stream sockets: ours non-blocking, the peer's blocking.
struct SocketPair {
    SocketPair() {
        int fds[2];
        EXPECT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds));
        ours = fds[0];
        peer = fds[1];
        ours.NonBlock();
    }
    ~SocketPair() {
        ours.close();
        peer.close();
    }
    void write_peer(const Bytes& b) const { ASSERT_EQ(ssize_t(b.size()), ::write(peer.get(), b.data(), b.size())); }
    Bytes read_peer(size_t n) const {
        Bytes b(n);
        size_t got = 0;
        for (ssize_t r; got < n && (r = ::read(peer.get(), b.data() + got, n - got)) > 0;) got += size_t(r);
        b.resize(got);
        return b;
    }
    Fd ours;
    Fd peer;
};

#endif
