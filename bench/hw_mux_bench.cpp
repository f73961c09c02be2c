// Cost of the time-slot switch's refresh per loop pass (two runs of its
// deferred call, 256 cache entries): on the simulated board, and with a board
// that answers every request at once, which leaves the switch's own work.
// Argument: 0 when every bus output is disabled (every entry is re-disabled,
// the worst case), 1 when every output is connected (no request at all).

#include <benchmark/benchmark.h>

#include <memory>

#include "bench/instant_board.h"
#include "board/board_io.h"
#include "board/sim_board.h"
#include "hardware/hw_mux.h"
#include "runtime/multiplexer.h"

namespace {

void connectAll(HwMux& mux) {
    for (unsigned i = 0; i < HwMux::kBusOutputs; ++i)
        mux.Connect(100, HwMux::kBusFirst + static_cast<int>(i));
}

template <class Pass>
void refresh(benchmark::State& state, BoardIo& board, Pass pass) {
    setBoardIo(&board);
    {
        HwMux mux;
        if (state.range(0) == 1) connectAll(mux);
        for (auto _ : state) pass(mux);
        state.SetItemsProcessed(state.iterations());
    }
    setBoardIo(nullptr);
}

void refreshPass(HwMux& mux) {
    mux.OnDPC();
    mux.OnDPC();
}

void BM_SwitchRefreshSimBoard(benchmark::State& state) {
    std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
    refresh(state, *board, refreshPass);
}
BENCHMARK(BM_SwitchRefreshSimBoard)->Arg(0)->Arg(1);

void BM_SwitchRefreshInstantBoard(benchmark::State& state) {
    InstantBoard board;
    refresh(state, board, refreshPass);
}
BENCHMARK(BM_SwitchRefreshInstantBoard)->Arg(0)->Arg(1);

// A whole loop pass with the switch open and nothing else registered.
void BM_LoopPassWithSwitchSimBoard(benchmark::State& state) {
    std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
    refresh(state, *board, [](HwMux&) { multiplexer.runOnce(0); });
}
BENCHMARK(BM_LoopPassWithSwitchSimBoard)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
