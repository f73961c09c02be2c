// Slot cycles through the running daemon over loopback: two E1 trunk slots
// created, connected through the time-slot switch, disconnected and
// destroyed by a controller, each answer checked octet for octet.
// Arg 0: one command at a time, each waiting for its answers (as a
// controller does); 1: the whole cycle written at once, then every answer
// read. items_per_second is cycles per second; daemon_cpu_us_per_cycle the
// processor time the daemon spent on each, most of it the simulated board's
// switch refresh, which runs on every loop pass.
//
// The same cycle in process, each command handed to the control server as
// its payload, on a board that answers every request at once: the slot
// table's own work with decoding and encoding, without sockets or driver.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "bench/daemon.h"
#include "bench/daemon_lgcp.h"
#include "bench/instant_board.h"
#include "core/ctrl_server.h"
#include "core/heart_beat.h"
#include "core/slot_table.h"
#include "hardware/hw_mux.h"
#include "slots/trunk_slot.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// One command and the answers it brings, as aligned PER payloads.
struct Step {
    Bytes command;
    std::vector<Bytes> answers;
};

const Step cycle[] = {
    // slot 1 create trunk {0, 1}: success, transmitter and receiver on channel 1
    {{0x40, 0x00, 0x01, 0x08, 0x38, 0x00, 0x08},
     {{0x40, 0x00, 0x01, 0x40}, {0x40, 0x00, 0x01, 0x8a, 0x80, 0x01, 0x01}, {0x40, 0x00, 0x01, 0x89, 0x80, 0x01, 0x01}}},
    // slot 2 create trunk {0, 2}
    {{0x40, 0x00, 0x02, 0x08, 0x38, 0x00, 0x10},
     {{0x40, 0x00, 0x02, 0x40}, {0x40, 0x00, 0x02, 0x8a, 0x80, 0x01, 0x02}, {0x40, 0x00, 0x02, 0x89, 0x80, 0x01, 0x02}}},
    // slot 1 connect 2
    {{0x40, 0x00, 0x01, 0x04, 0x00, 0x02}, {{0x40, 0x00, 0x01, 0x40}}},
    // slot 2 disconnect
    {{0x40, 0x00, 0x02, 0x06}, {{0x40, 0x00, 0x02, 0x40}}},
    // slot 1 destroy: the completion (seq 0), then the command's success
    {{0x40, 0x00, 0x01, 0x0a}, {{0xc0, 0x01, 0x00, 0x00, 0x01, 0x40}, {0x40, 0x00, 0x01, 0x40}}},
    // slot 2 destroy
    {{0x40, 0x00, 0x02, 0x0a}, {{0xc0, 0x01, 0x00, 0x00, 0x02, 0x40}, {0x40, 0x00, 0x02, 0x40}}},
};

// Appends `payload` framed in TPKT to `out`.
void Frame(const Bytes& payload, Bytes& out) {
    size_t len = payload.size() + 4;
    size_t at = out.size();
    out.resize(at + len);
    out[at] = 3;
    out[at + 1] = 0;
    out[at + 2] = uint8_t(len >> 8);
    out[at + 3] = uint8_t(len);
    std::copy(payload.begin(), payload.end(), out.begin() + long(at + 4));
}

Bytes Frame(const Bytes& payload) {
    Bytes frame;
    Frame(payload, frame);
    return frame;
}

bool Write(int fd, const Bytes& bytes) {
    return ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

// Reads the answers of `step`; false when one differs or the connection fails.
bool Answers(int fd, const Step& step) {
    static Bytes frame;
    for (const Bytes& expected : step.answers)
        if (!ReadAnswerFrame(fd, frame) || Bytes(frame.begin() + 4, frame.end()) != expected) return false;
    return true;
}

bool OneAtATime(int fd) {
    for (const Step& step : cycle)
        if (!Write(fd, Frame(step.command)) || !Answers(fd, step)) return false;
    return true;
}

bool Pipelined(int fd) {
    static Bytes all;
    if (all.empty())
        for (const Step& step : cycle) Frame(step.command, all);
    if (!Write(fd, all)) return false;
    for (const Step& step : cycle)
        if (!Answers(fd, step)) return false;
    return true;
}

void BM_SlotCycle(benchmark::State& state) {
    static PinnedDaemon daemon;
    bool (*run)(int) = state.range(0) ? Pipelined : OneAtATime;
    double cpu = daemon.CpuNs();
    for (auto _ : state) {
        if (!run(daemon.fd)) {
            state.SkipWithError("an answer differed or the connection failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    if (state.iterations() > 0)
        state.counters["daemon_cpu_us_per_cycle"] =
            (daemon.CpuNs() - cpu) / 1000.0 / double(state.iterations());
}
BENCHMARK(BM_SlotCycle)->Arg(0)->Arg(1)->UseRealTime();

struct Silent : std::streambuf {
    int overflow(int c) override { return c; }
};

void BM_SlotCycleInProcess(benchmark::State& state) {
    // The answers go nowhere: no connection service is attached.
    Silent silent;
    std::streambuf* err = std::cerr.rdbuf(&silent);
    std::streambuf* log = std::clog.rdbuf(&silent);
    InstantBoard board;
    setBoardIo(&board);
    HwMux::instance();
    ctrlServer.Bind(HeartBeatCtl::instance());
    ctrlServer.Bind(Slots::instance());
    if (firstFactory != &trunk_bri7) state.SkipWithError("the trunk factories are missing");
    for (auto _ : state) {
        for (const Step& step : cycle) {
            std::vector<char> payload(step.command.begin(), step.command.end());
            ctrlServer.OnMessage(payload.data(), int(payload.size()));
        }
    }
    if (!Slots::instance()->Live().empty()) state.SkipWithError("slots are left over");
    state.SetItemsProcessed(state.iterations());
    std::cerr.rdbuf(err);
    std::clog.rdbuf(log);
}
BENCHMARK(BM_SlotCycleInProcess);

}  // namespace

BENCHMARK_MAIN();
