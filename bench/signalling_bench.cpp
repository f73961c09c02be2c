// The daemon's processor time with signalling links in service at line
// rate, on the simulated board with a controller over loopback.
//
// BM_Ss7LinksAtLineRate/<load>: PSTN slots in SS7 mode on time slots 1 to 31 of
// E1 trunk 0. The MCC channel of each is attached to this program, which
// runs the far end of every link (SS7::SLC) on the channel's socket and
// loads its line to the daemon: MSUs of 20 octets offered at <load> percent
// of 64 kbit/s (with the header, the check octets and a flag, 26 octets a
// frame; 0: the links only in service), while
// the daemon's links answer each with a FISU and pass each MSU to the
// controller as a `userData` signal, which this program reads.
// BM_LapdLinksAtLineRate/<load>: the same with LAPD links on 30 time slots
// (primary rate; the daemon's user side against network sides here) and
// Q.931 messages of 22 octets (29 a frame) as I frames.
//
// cpu_share_percent: the daemon's processor time over the wall time;
// messages_per_second: the messages the far ends had acknowledged.

#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "bench/daemon.h"
#include "bench/daemon_lgcp.h"
#include "links/lapd.h"
#include "links/ss7_slc.h"
#include "runtime/event.h"
#include "runtime/multiplexer.h"
#include "runtime/mux_clock.h"
#include "runtime/timer.h"

namespace {

const int kFirstChannel = 256;
const unsigned kTickMs = 10;
const unsigned kOctetsPerTick = 64000 / 8 * kTickMs / 1000;

struct Silent : std::streambuf {
    int overflow(int c) override { return c; }
};

uint64_t NowNs() {
    timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return uint64_t(t.tv_sec) * 1000000000u + uint64_t(t.tv_nsec);
}

// The far end of one link: the link on the socket of the attached channel,
// one datagram a frame.
template <class Link>
class FarEnd : public ProtocolsFamily, public GenericHDLC {
public:
    FarEnd(const std::string& path, Link* link) : link(link) {
        add_protocol_tail(link);
        link->hdlc = this;
        int s = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        path.copy(a.sun_path, sizeof a.sun_path - 1);
        if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
        event.Bind("far end", &FarEnd::OnEvent, this);
        event.Schedule(s, POLLIN);
        ::close(s);
    }
    ~FarEnd() override {
        while (Protocol* p = top()) delete p;
    }

    bool hdlc_transmit(Packet& frame) override {
        return frame.length() == 0 ||
               ::send(event.fd.get(), frame.data(), frame.length(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0;
    }
    bool is_open() const override { return bool(event.fd); }
    bool is_ready() const override { return true; }

    void OnEvent(int fd, short) {
        for (;;) {
            Packet p;
            p.reserve_head(0);
            ssize_t n = ::recv(fd, p.tail_space(), p.tail_room(), MSG_DONTWAIT);
            if (n <= 0) return;
            p.put_tail(unsigned(n));
            link->on_hdlc_receive(p);
        }
    }
    void on_activated(Protocol*) override { up = true; }
    void on_deactivated(Protocol*, Protocol_status_ptr) override { up = false; }

    // Offers the messages the line has room for in one tick, while fewer
    // than `backlog` wait for their acknowledgement: a line at 64 kbit/s
    // holds no more, and this program's packet pool is the daemon's size.
    template <class Waiting>
    void Tick(const std::vector<uint8_t>& m, unsigned frameOctets, unsigned loadPercent, Waiting waiting) {
        credit = std::min(credit + kOctetsPerTick * loadPercent, 4 * frameOctets * 100);
        frameOctets *= 100;
        for (; credit >= frameOctets && waiting(*link) < 16; credit -= frameOctets) {
            Packet p;
            prepare_head(p);
            p.put(m.data(), unsigned(m.size()));
            message(p);
        }
    }

    Link* link;
    Event event;
    bool up = false;
    unsigned credit = 0;
};

struct Ss7 {
    typedef SS7::SLC Link;
    static const int kLinks = 31;
    static Link* NewLink() {
        Link* l = new Link;
        l->emergency = true;
        return l;
    }
    static std::string Create(int ts) {
        return "pstn : ss7 : { trunk 1, slc " + std::to_string(ts) + ", dpc 1, opc 2, emergency TRUE }";
    }
    static bool InService(Link& l) { return l.get_state_id() == Link::State::worked; }
    static uint64_t Carried(Link& l) { return l.statistics().msuTxCount; }
    static unsigned Waiting(Link& l) { return l.tb_count() + l.rtb_count(); }
    static std::vector<uint8_t> Message() { return std::vector<uint8_t>(20, 0x83); }
    static const unsigned kFrameOctets = 26;
};

struct Lapd {
    typedef ISDN::LAPD Link;
    static const int kLinks = 30;
    static Link* NewLink() { return new Link(ISDN::Side::network, 0); }
    static std::string Create(int) { return "pstn : isdn : { type pri, trunk 1, log 0, side user : NULL }"; }
    static bool InService(Link& l) { return ISDN::isEstablished(l.fullState().state); }
    static uint64_t Carried(Link& l) { return l.stats.tx_count - Waiting(l); }
    static unsigned Waiting(Link& l) { return l.out_queue.count() + l.ack_queue.count(); }
    static std::vector<uint8_t> Message() { return std::vector<uint8_t>(22, 0x08); }
    static const unsigned kFrameOctets = 29;
};

template <class Kind>
struct Links {
    typedef FarEnd<typename Kind::Link> End;

    Links() {
        board.Run("/dev/mcc/ctl pool " + std::to_string(kFirstChannel) + " 32");
        board.Run("/dev/mcc/ctl counts 32 4 4");
        drain.Bind("controller", &Links::Drain, this);
        drain.Schedule(daemon.fd, POLLIN);
        for (int ts = 1; ts <= Kind::kLinks; ++ts) {
            std::string path = "/far-" + std::to_string(ts) + ".sock";
            if (board.Run("/dev/mcc/ctl attach " + std::to_string(kFirstChannel + ts - 1) + " " + path) != "ok")
                return;
            ends.emplace_back(new End(daemon.root.path + path, Kind::NewLink()));
            Send(100 + ts, "create : trunk : { trunk 0, timeslot " + std::to_string(ts) + " }");
            Send(ts, "create : " + Kind::Create(ts));
            Send(100 + ts, "connect : " + std::to_string(ts));
            ends.back()->link->local_activate();
        }
        ticks.set(kTickMs, &Links::Tick, this);
        ready = Run(30000, [&] {
            for (auto& e : ends)
                if (!Kind::InService(*e->link) || !e->up) return false;
            return true;
        });
    }
    void Send(int slot, const std::string& command) {
        std::vector<uint8_t> f =
            EncodeLgcp("{ seq 1, slot " + std::to_string(slot) + ", pdu command : " + command + " }");
        if (::write(daemon.fd, f.data(), f.size()) != ssize_t(f.size())) ready = false;
    }
    // Reads and drops what the daemon sends.
    void Drain(int fd, short) {
        char buf[65536];
        while (::recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
        }
    }
    void Tick() {
        ticks.set(kTickMs, &Links::Tick, this);
        for (auto& e : ends) e->Tick(message, Kind::kFrameOctets, loadPercent, &Kind::Waiting);
    }
    // Runs this program's loop for at most `ms`, until `done`.
    template <class Done>
    bool Run(unsigned ms, Done done) {
        uint64_t end = NowNs() + uint64_t(ms) * 1000000u;
        while (!done()) {
            if (NowNs() > end) return false;
            multiplexer.runOnce(int(kTickMs));
        }
        return true;
    }
    uint64_t Carried() {
        uint64_t n = 0;
        for (auto& e : ends) n += Kind::Carried(*e->link);
        return n;
    }

    PinnedDaemon daemon;
    BoardControl board{daemon.root.path};
    Event drain;
    std::vector<std::unique_ptr<End>> ends;
    Timer ticks;
    std::vector<uint8_t> message = Kind::Message();
    unsigned loadPercent = 0;  // of the line's rate, offered from the far ends
    bool ready = false;
};

template <class Kind>
void BM_LinksAtLineRate(benchmark::State& state) {
    Silent silent;
    std::streambuf* log = std::clog.rdbuf(&silent);
    std::streambuf* err = std::cerr.rdbuf(&silent);
    {
        Links<Kind> links;
        if (!links.ready) {
            state.SkipWithError("the links did not come into service");
            for (auto _ : state) {
            }
            std::clog.rdbuf(log);
            std::cerr.rdbuf(err);
            size_t up = 0;
            for (auto& e : links.ends) up += Kind::InService(*e->link) && e->up;
            std::cerr << "in service: " << up << " of " << links.ends.size() << std::endl;
            return;
        }
        links.loadPercent = unsigned(state.range(0));
        links.Run(1000, [] { return false; });  // the lines fill
        double cpu = links.daemon.CpuNs(), wall = 0;
        uint64_t carried = links.Carried();
        for (auto _ : state) {
            uint64_t start = NowNs();
            links.Run(2000, [] { return false; });
            wall += double(NowNs() - start);
        }
        state.counters["cpu_share_percent"] = 100.0 * (links.daemon.CpuNs() - cpu) / wall;
        state.counters["messages_per_second"] = double(links.Carried() - carried) * 1e9 / wall;
        state.counters["links"] = Kind::kLinks;
    }
    std::clog.rdbuf(log);
    std::cerr.rdbuf(err);
}
BENCHMARK_TEMPLATE(BM_LinksAtLineRate, Ss7)->Name("BM_Ss7LinksAtLineRate")->Arg(0)->Arg(10)->Arg(100)->Iterations(3)->UseRealTime();
BENCHMARK_TEMPLATE(BM_LinksAtLineRate, Lapd)->Name("BM_LapdLinksAtLineRate")->Arg(0)->Arg(10)->Arg(100)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
