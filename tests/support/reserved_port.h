#ifndef KORVAND_TESTS_SUPPORT_RESERVED_PORT_H
#define KORVAND_TESTS_SUPPORT_RESERVED_PORT_H

#include <sys/types.h>

#include <string>
#include <vector>

// Consecutive port numbers, `first` to `last`.
struct PortSpan {
    int first, last;
    bool operator==(const PortSpan& o) const { return first == o.first && last == o.last; }
};

// The range the kernel picks local ports from (ip_local_port_range).
PortSpan kernelLocalPorts();
// Where a test's ports lie, given the kernel's range: the numbers just
// below it, from 1024 on, and every number above it. Empty when the
// kernel's range leaves none.
std::vector<PortSpan> reservableSpans(const PortSpan& kernel);

// A port number of this host reserved for one test while the object lives.
// No other test process is handed it meanwhile: each reservation holds an
// abstract local socket named after the number, which, like the port, is
// one to a network namespace. Nor does the kernel hand it out to a bind of
// port 0 or a client's connect: it lies outside the range of ports the
// kernel picks from. So the test, the daemon or the peer it starts binds it
// later without a race, and a test that needs a port where nothing listens
// has one. It is chosen free for TCP and UDP, IPv4 and IPv6 alike; `count`
// reserves as many consecutive numbers from number() on (an RTP port and
// its RTCP).
//
// When no number is free the constructor throws std::runtime_error, which
// names where it looked: the test ends there, failed, and nothing runs on
// a port it did not get.
class ReservedPort {
public:
    explicit ReservedPort(int count = 1);
    // Reserves from `spans` only.
    ReservedPort(int count, const std::vector<PortSpan>& spans);
    ~ReservedPort();
    ReservedPort(const ReservedPort&) = delete;
    ReservedPort& operator=(const ReservedPort&) = delete;

    int number() const { return number_; }
    operator int() const { return number_; }

private:
    // Reserves from `spans`, or throws naming `where`.
    void reserve(int count, const std::vector<PortSpan>& spans, const std::string& where);
    // Claims `count` numbers from `first` on, or none.
    bool claim(int first, int count);
    void release();

    int number_ = 0;
    std::vector<int> claims_;
};

// A TCP socket of this host as /proc/net/tcp and tcp6 show it: its state
// ("0A" listening, "01" established), its queues ("tx:rx" in hexadecimal)
// and its inode.
struct TcpSocket {
    std::string state, queues, inode;
};
// The TCP sockets of this host on the local `port`.
std::vector<TcpSocket> tcpSocketsAt(int port);

// Whether process `pid` itself holds a TCP socket listening on `port` (of
// any address): a client of that port reaches it and no other process.
bool listensOn(pid_t pid, int port);

#endif
