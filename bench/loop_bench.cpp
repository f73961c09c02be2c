// Cost of one loop pass against the number of registered events, and of
// arming and cancelling a timer against the number already pending.

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "runtime/event.h"
#include "runtime/multiplexer.h"
#include "runtime/timer.h"

namespace {

struct Idle {
    int p[2];
    Event event;
    Idle() {
        if (pipe2(p, O_CLOEXEC) != 0) abort();
        event.Bind("idle", &Idle::On, this);
        event.Schedule(p[0], POLLIN);
    }
    ~Idle() {
        close(p[0]);
        close(p[1]);
    }
    void On(int, short) {}
};

void BM_LoopPass(benchmark::State& state) {
    std::vector<std::unique_ptr<Idle>> events;
    for (int i = 0; i < state.range(0); ++i) events.emplace_back(new Idle);
    // One ready descriptor, so every pass services every handler.
    events[0]->event.Schedule(events[0]->p[1], POLLOUT);
    for (auto _ : state) multiplexer.runOnce(0);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoopPass)->Arg(16)->Arg(128)->Arg(1024);

void BM_LoopPassIdle(benchmark::State& state) {
    std::vector<std::unique_ptr<Idle>> events;
    for (int i = 0; i < state.range(0); ++i) events.emplace_back(new Idle);
    for (auto _ : state) multiplexer.runOnce(0);
}
BENCHMARK(BM_LoopPassIdle)->Arg(16)->Arg(128)->Arg(1024);

struct Owner {
    Timer timer;
    void On() {}
};

void BM_TimerArmCancel(benchmark::State& state) {
    std::vector<std::unique_ptr<Owner>> pending;
    for (int i = 0; i < state.range(0); ++i) {
        pending.emplace_back(new Owner);
        pending.back()->timer.set(60000 + static_cast<unsigned>(i % 1000), &Owner::On, pending.back().get());
    }
    Owner probe;
    for (auto _ : state) {
        probe.timer.set(30000, &Owner::On, &probe);  // lands in the middle of the list
        probe.timer.reset();
    }
}
BENCHMARK(BM_TimerArmCancel)->Arg(10)->Arg(1000)->Arg(100000);

void BM_TimerArmCancelLatest(benchmark::State& state) {
    std::vector<std::unique_ptr<Owner>> pending;
    for (int i = 0; i < state.range(0); ++i) {
        pending.emplace_back(new Owner);
        pending.back()->timer.set(1000, &Owner::On, pending.back().get());
    }
    Owner probe;
    for (auto _ : state) {
        probe.timer.set(120000, &Owner::On, &probe);  // the usual case: latest expiry
        probe.timer.reset();
    }
}
BENCHMARK(BM_TimerArmCancelLatest)->Arg(10)->Arg(1000)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();
