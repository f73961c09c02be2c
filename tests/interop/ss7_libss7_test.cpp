// The SS7 link against an independent MTP2: Debian's libss7 (its MTP2 and
// MTP3) at the far end of an in-process channel. Both sides align and go
// in service, libss7's signalling link test message reaches our side, and
// messages pass both ways: our answer to its test, our own test that it
// answers, and the traffic restart it brings its link up with.
//
// libss7 runs on the real clock (its timers read the time of day) and
// sends a unit whenever it is asked to write, so the peer paces its
// writes as a 64 kbit/s line would.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "links/ss7_slc.h"
#include "protocol/protocol.h"
#include "runtime/event.h"
#include "runtime/multiplexer.h"
#include "tests/links/hdlc_pair.h"
#include "tests/support/capture.h"

extern "C" {
#include <libss7.h>
}

// libss7 does not free its links when it is destroyed.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libss7.so\n";
}

namespace {

typedef std::vector<uint8_t> Bytes;

// Our point code and the peer's, the link's code, national network.
const unsigned kOurPc = 0x101;
const unsigned kPeerPc = 0x202;
const unsigned kSlc = 0;
const uint8_t kNi = SS7_NI_NAT;
// The circuits the peer resets start above this.
const unsigned kPeerCics = 1000;
const Bytes kTestPattern = {0xA5, 0x5A, 0x0F, 0xF0};

// libss7 reads and writes each unit with room for the two check octets
// that a D-channel device adds; the channel takes them off and puts
// them on.
const unsigned kCheckOctets = 2;

// One end of a datagram socket pair as the link's HDLC channel.
class SocketChannel : public GenericHDLC {
  public:
    SocketChannel(int fd, HDLC::Notify& listener) : listener(listener) {
        event.Bind("ss7-peer-channel", &SocketChannel::on_event, this);
        event.Schedule(fd, POLLIN);
    }
    bool hdlc_transmit(Packet& unit) override {
        Bytes b(unit.data(), unit.data() + unit.length());
        b.resize(b.size() + kCheckOctets);
        if (::send(event.fd.get(), b.data(), b.size(), MSG_DONTWAIT) >= 0) return true;
        event.events = POLLIN | POLLOUT;
        return false;
    }
    bool is_open() const override { return true; }
    bool is_ready() const override { return true; }

  private:
    void on_event(int fd, short revents) {
        if (revents & POLLOUT) {
            event.events = POLLIN;
            listener.on_hdlc_ready();
        }
        if (!(revents & POLLIN)) return;
        uint8_t buf[512];
        ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n < ssize_t(kCheckOctets)) return;
        Packet p = makePacket(Bytes(buf, buf + n - kCheckOctets));
        listener.on_hdlc_receive(p);
    }

    HDLC::Notify& listener;
    Event event;
};

// An MSU to the peer: service information octet (national network and
// service indicator `si`), the routing label of ITU (DPC and OPC of 14
// bits, link selection `sls`), then `rest`.
Bytes msu(uint8_t si, unsigned sls, const Bytes& rest) {
    return joined({uint8_t(kNi << 6 | si), uint8_t(kPeerPc),
                   uint8_t((kPeerPc >> 8 & 0x3F) | (kOurPc << 6 & 0xC0)), uint8_t(kOurPc >> 2),
                   uint8_t((kOurPc >> 10 & 0x0F) | sls << 4)},
                  rest);
}

// A message of the test user part (H0 1): H1 1 is a link test, 2 its
// acknowledgement.
Bytes link_test(unsigned h1, const Bytes& pattern) {
    return msu(1, kSlc, joined({uint8_t(h1 << 4 | 1), uint8_t(pattern.size() << 4)}, pattern));
}

// Our side's level 3, as far as the link test needs it.
class OurSide : public OneLink<SS7::SLC> {
  public:
    void on_activated(Protocol* p) override {
        OneLink::on_activated(p);
        send(link_test(1, kTestPattern));
    }
    void on_message(Packet& p) override {
        Bytes m = bytesOf(p);
        if (m.size() == 8 && (m[0] & 0x0F) == 5 && m[7] == 0x12) resets.push_back(m[5] | m[6] << 8);
        if (m.size() < 7 || (m[0] & 0x0F) != 1 || (m[5] & 0x0F) != 1) return;
        Bytes pattern(m.begin() + 7, m.end());
        if (m[5] >> 4 == 1) {
            ++tests_received;
            send(link_test(2, pattern));
        } else if (m[5] >> 4 == 2 && pattern == kTestPattern) {
            ++tests_answered;
            send(msu(0, kSlc, {0x17}));  // traffic restart allowed: H0 7, H1 1
        }
    }
    int tests_received = 0;
    int tests_answered = 0;
    std::vector<unsigned> resets;  // circuits the peer reset, in order
};

std::string peer_log;

void peer_message(struct ss7*, char* text) {
    peer_log += text;
}
// The application's side of libss7's call handling: nothing to do here.
void peer_call_null(struct ss7*, struct isup_call*, int) {}
int peer_hangup(struct ss7*, int, unsigned int, int, int) {
    return SS7_CIC_IDLE;
}
void peer_not_in_service(struct ss7*, int, unsigned int) {}

// libss7 on its end of the pair, driven between our loop's passes.
class Peer {
  public:
    explicit Peer(int fd) : fd(fd), ss7(ss7_new(SS7_ITU)) {
        ss7_set_message(peer_message);
        ss7_set_error(peer_message);
        ss7_set_call_null(peer_call_null);
        ss7_set_hangup(peer_hangup);
        ss7_set_notinservice(peer_not_in_service);
        ss7_set_network_ind(ss7, SS7_NI_NAT);
        ss7_set_pc(ss7, kPeerPc);
        ss7_add_link(ss7, SS7_TRANSPORT_DAHDIDCHAN, fd, kSlc, kOurPc);
        ss7_set_debug(ss7, SS7_DEBUG_MTP2 | SS7_DEBUG_MTP3);
    }
    ~Peer() { ss7_destroy(ss7); }

    void start() { ss7_start(ss7); }

    // Reads what arrived, writes one unit when the line is free, runs the
    // due timers and collects the events.
    void serve() {
        pollfd p{fd, short(ss7_pollflags(ss7, fd)), 0};
        if (::poll(&p, 1, 0) > 0) {
            if (p.revents & POLLIN) ss7_read(ss7, fd);
            if ((p.revents & POLLOUT) && line_free()) ss7_write(ss7, fd);
        }
        ss7_schedule_run(ss7);
        while (ss7_event* e = ss7_check_event(ss7)) {
            events.push_back(e->e);
            if (e->e == ISUP_EVENT_RSC) resets.push_back(unsigned(e->rsc.cic));
        }
    }
    void reset_circuit(unsigned cic) { isup_rsc(ss7, isup_new_call(ss7, int(cic), kOurPc, 1)); }
    bool saw(int event) const {
        for (int e : events)
            if (e == event) return true;
        return false;
    }

    std::vector<unsigned> resets;  // circuits we reset, in the order they arrived

  private:
    // A unit of a few octets takes about half a millisecond at 64 kbit/s.
    bool line_free() {
        auto now = std::chrono::steady_clock::now();
        if (now < next_write) return false;
        next_write = now + std::chrono::microseconds(500);
        return true;
    }

    int fd;
    struct ss7* ss7;
    std::chrono::steady_clock::time_point next_write{};
    std::vector<int> events;
};

class Libss7Interop : public ::testing::TestWithParam<bool> {
  protected:
    Libss7Interop() {
        int fds[2];
        EXPECT_EQ(0, ::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds));
        peer_fd = fds[1];
        ::fcntl(peer_fd, F_SETFL, O_NONBLOCK);
        channel = new SocketChannel(fds[0], *ours.link);
        ::close(fds[0]);
        ours.link->hdlc = channel;
        ours.link->slc = kSlc;
        ours.link->dpc = kPeerPc;
        ours.link->opc = kOurPc;
        peer = new Peer(peer_fd);
        peer_log.clear();
    }
    ~Libss7Interop() override {
        delete peer;
        delete channel;
        ::close(peer_fd);
    }

    // Runs both sides until `done` holds, or ten seconds have passed.
    bool run_until(const std::function<bool()>& done) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            multiplexer.runOnce(0);
            peer->serve();
            ::usleep(100);
        }
        return true;
    }

    StreamCapture quiet_log{std::clog};
    StreamCapture quiet_err{std::cerr};
    OurSide ours;
    int peer_fd = -1;
    SocketChannel* channel = nullptr;
    Peer* peer = nullptr;
};

// Both align and go in service, exchange link tests and the traffic
// restart, then circuit resets both ways, more than the sequence numbers
// can count: each reaches the other side's user part once and in order.
TEST_P(Libss7Interop, AlignsAndCarriesLinkTestsAndIsupBothWays) {
    ours.link->emergency = GetParam();
    peer->start();
    ours.link->local_activate();
    ASSERT_TRUE(run_until([&] { return ours.up && peer->saw(MTP2_LINK_UP); })) << peer_log;
    EXPECT_EQ(SS7::SLC::State::worked, ours.link->get_state_id());
    ASSERT_TRUE(run_until([&] { return ours.tests_received > 0 && ours.tests_answered > 0; }))
        << peer_log;
    ASSERT_TRUE(run_until([&] { return peer->saw(SS7_EVENT_UP); })) << peer_log;
    SS7::SLC::Statistics s = ours.link->statistics();
    EXPECT_EQ(0u, s.badSeqCntr);
    EXPECT_EQ(0u, s.repeatCntr);
    const unsigned n = 300;
    // Distinct circuits each way: a reset crossing one for the same
    // circuit is answered by libss7 without an event.
    for (unsigned cic = 1; cic <= n; ++cic) {
        ours.send(
            msu(5, cic & 0x0F, {uint8_t(cic), uint8_t(cic >> 8), 0x12}));  // ISUP reset circuit
        peer->reset_circuit(kPeerCics + cic);
    }
    ASSERT_TRUE(run_until([&] { return peer->resets.size() == n && ours.resets.size() == n; }))
        << peer->resets.size() << " " << ours.resets.size();
    for (unsigned i = 0; i < n; ++i) {
        EXPECT_EQ(i + 1, peer->resets[i]);
        EXPECT_EQ(kPeerCics + i + 1, ours.resets[i]);
    }
    EXPECT_EQ(SS7::SLC::State::worked, ours.link->get_state_id());
}

INSTANTIATE_TEST_SUITE_P(NormalAndEmergency, Libss7Interop, ::testing::Bool());

}  // namespace
