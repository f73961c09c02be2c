// Cost of the status files under "/var/monitoring/": rewriting every board
// and telephone-set file of a board with 16 expansion boards and 32
// telephone sets, each through its display report, and one display report
// with all of them stored. Argument: where the private root lies, 0 on the
// disk's file system (/tmp), 1 in memory (/dev/shm, as a board's /var).

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <vector>

#include "bench/daemon_root.h"
#include "bench/monitoring_reports.h"
#include "monitoring/monitoring_data_holder.h"

namespace {

const int kBoards = 16;
const int kPhones = 32;

// The store in a private root, with every board and telephone set reported once.
struct Fixture {
    explicit Fixture(int64_t inMemory) : root(inMemory ? "/dev/shm" : "/tmp") {
        ::mkdir((root.path + "/var/monitoring").c_str(), 0755);
        ::setenv("KORVAND_ROOT", root.path.c_str(), 1);
        store.reset(new MonitoringDataHolder);
        for (const LGCP::DisplayParams& d : all) store->setDisplayStatus(d);
    }
    ~Fixture() {
        store.reset();
        ::unsetenv("KORVAND_ROOT");
    }
    DaemonRoot root;
    std::vector<LGCP::DisplayParams> all = boardAndPhoneReports(kBoards, kPhones);
    std::unique_ptr<MonitoringDataHolder> store;
};

void BM_RewriteEveryReportFile(benchmark::State& state) {
    Fixture f(state.range(0));
    for (auto _ : state)
        for (const LGCP::DisplayParams& d : f.all) f.store->setDisplayStatus(d);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(f.all.size()));
}
BENCHMARK(BM_RewriteEveryReportFile)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_OneDisplayReport(benchmark::State& state) {
    Fixture f(state.range(0));
    const LGCP::DisplayParams& last = f.all.back();
    for (auto _ : state) f.store->setDisplayStatus(last);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OneDisplayReport)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
BENCHMARK_MAIN();
