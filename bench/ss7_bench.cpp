// MSUs through two SS7 links in service, back to back, on the test clock
// (timers expire at once, nothing waits): MSUs per second, and processor
// time per MSU sent, carried, delivered and acknowledged.
//
//   BM_Ss7Pair/ways   through the link test kit's pair, one way or both
//   BM_Ss7Links/ways  through a bare queue of packet handles, which leaves
//                     the links' own work (the kit copies every frame
//                     and runs a timer per delivery)

#include <deque>
#include <iostream>
#include <streambuf>

#include <benchmark/benchmark.h>

#include "links/ss7_slc.h"
#include "tests/links/hdlc_pair.h"
#include "tests/links/ss7_unit_harness.h"
#include "tests/support/test_clock.h"

namespace {

using SS7::SLC;

const Bytes kMsu = {0x83, 0x01, 0x80, 0x00, 0x10, 0x01, 0x00, 0x12, 0x00, 0x00, 0x00, 0x00};
const unsigned kBatch = 2000;  // MSUs each way per iteration

struct Silent : std::streambuf {
    int overflow(int c) override { return c; }
};

// Standard streams muted while it lives.
struct Quiet {
    Quiet() : log(std::clog.rdbuf(&silent)), err(std::cerr.rdbuf(&silent)) {}
    ~Quiet() {
        std::clog.rdbuf(log);
        std::cerr.rdbuf(err);
    }
    Silent silent;
    std::streambuf* log;
    std::streambuf* err;
};

class Counting : public LinkFamily {
public:
    void on_message(Packet&) override { ++delivered; }
    uint64_t delivered = 0;
};

void send(LinkFamily& f) {
    Packet p;
    f.prepare_head(p);
    p.put(kMsu.data(), unsigned(kMsu.size()));
    f.message(p);
}

// Sends `n` MSUs from each of `from` as the TB takes them, until all have
// arrived and been acknowledged; `pump` runs the line.
template <class Pump>
bool transfer(std::initializer_list<Counting*> from, std::initializer_list<Counting*> to, unsigned n, Pump pump) {
    std::vector<unsigned> left(from.size(), n);
    std::vector<uint64_t> target;
    for (Counting* t : to) target.push_back(t->delivered + n);
    return pump([&] {
        bool done = true;
        size_t i = 0;
        for (Counting* f : from) {
            while (left[i] > 0 && f->link->tb_count() < 100) {
                send(*f);
                --left[i];
            }
            done = done && left[i] == 0 && f->link->rtb_count() == 0 && f->link->tb_count() == 0;
            ++i;
        }
        i = 0;
        for (Counting* t : to) done = done && t->delivered == target[i++];
        return done;
    });
}

// Once both links are in service, moves batches of MSUs one way or, with
// the argument 2, both ways.
template <class Pump>
void measure(benchmark::State& state, Counting& a, Counting& b, Pump pump) {
    auto in_service = [](Counting& f) { return f.link->get_state_id() == SLC::State::worked; };
    if (!pump([&] { return in_service(a) && in_service(b); })) state.SkipWithError("not in service");
    bool both = state.range(0) == 2;
    for (auto _ : state) {
        bool ok = both ? transfer({&a, &b}, {&b, &a}, kBatch, pump) : transfer({&a}, {&b}, kBatch, pump);
        if (!ok) state.SkipWithError("stalled");
    }
    double msus = double(state.iterations()) * kBatch * (both ? 2 : 1);
    state.SetItemsProcessed(int64_t(msus));
    state.counters["cpu_per_msu"] = benchmark::Counter(msus, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Ss7Pair(benchmark::State& state) {
    Quiet quiet;
    TestClock clock;
    HdlcPair pair;
    Counting a, b;
    a.link->hdlc = &pair.a;
    b.link->hdlc = &pair.b;
    pair.a.bind(*a.link);
    pair.b.bind(*b.link);
    pair.open();
    a.link->local_activate();
    b.link->local_activate();
    auto pump = [&](const std::function<bool()>& done) { return runUntil(clock, done); };
    measure(state, a, b, pump);
}
BENCHMARK(BM_Ss7Pair)->Arg(1)->Arg(2);

// A line without copies or timers: what one end takes waits in a queue of
// handles until the pump hands it to the other end.
class Queue : public GenericHDLC {
public:
    bool hdlc_transmit(Packet& p) override {
        if (p.length()) frames.push_back(p);
        return true;
    }
    bool is_open() const override { return true; }
    bool is_ready() const override { return true; }
    std::deque<Packet> frames;
};

void BM_Ss7Links(benchmark::State& state) {
    Quiet quiet;
    TestClock clock;
    Queue to_b, to_a;
    Counting a, b;
    a.link->hdlc = &to_b;
    b.link->hdlc = &to_a;
    auto pump = [&](const std::function<bool()>& done) {
        while (!done()) {
            if (to_b.frames.empty() && to_a.frames.empty()) return false;
            for (Queue* q : {&to_b, &to_a}) {
                SLC& far = *(q == &to_b ? b.link : a.link);
                for (size_t n = q->frames.size(); n > 0; --n) {
                    Packet p = q->frames.front();
                    q->frames.pop_front();
                    far.receive(p);
                }
            }
        }
        return true;
    };
    a.link->local_activate();
    b.link->local_activate();
    pump([&] { return b.link->get_state_id() == SLC::State::proving; });
    clock.advance(SLC::T4n.ms);
    multiplexer.runOnce(0);  // proving over: both send a FISU
    measure(state, a, b, pump);
}
BENCHMARK(BM_Ss7Links)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
