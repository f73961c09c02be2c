// The daemon at rest on the simulated board with a controller connected:
// its resident memory and the processor time it spends in a quiet period.
//
// The daemon is started as the board would run it, a controller connects
// and reads the trunk statuses that come every second (four framers, eight
// BRI lines), and nothing else happens. Counters, from /proc/<pid>/status
// and /proc/<pid>/stat:
//   rss_kB            resident set at the end of the quiet period
//   rss_anon_kB       its anonymous part (heap, static data, stacks)
//   rss_peak_kB       the high-water mark over the whole run
//   vm_kB             the address space, which holds the 64 MiB packet pool:
//                     reserved, but resident only as far as packets were used
//   cpu_percent       processor time (user + system) over the period's wall time
//   cpu_ms_per_minute the same as milliseconds of processor per minute
//   frames            the frames the controller received during the period
// The argument is the length of the quiet period in seconds.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/daemon.h"
#include "bench/proc_status.h"

namespace {

void BM_IdleDaemon(benchmark::State& state) {
    const int seconds = int(state.range(0));
    for (auto _ : state) {
        DaemonRoot root;
        int port = FreePort();
        pid_t pid = StartDaemon(port, root.path, -1);
        int fd = Connect(port);
        // The first round of statuses proves the services saw the controller.
        if (fd < 0 || DrainFor(fd, 1500) <= 0) {
            state.SkipWithError("no controller connection");
            StopDaemon(pid);
            break;
        }
        double cpuBefore = CpuSeconds(pid);
        auto begin = std::chrono::steady_clock::now();
        long frames = DrainFor(fd, seconds * 1000);
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        double cpu = CpuSeconds(pid) - cpuBefore;
        state.counters["rss_kB"] = StatusKb(pid, "VmRSS");
        state.counters["rss_anon_kB"] = StatusKb(pid, "RssAnon");
        state.counters["rss_peak_kB"] = StatusKb(pid, "VmHWM");
        state.counters["vm_kB"] = StatusKb(pid, "VmSize");
        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["cpu_ms_per_minute"] = 1000.0 * cpu * 60.0 / wall;
        state.counters["frames"] = double(frames);
        if (frames < 0) state.SkipWithError("the controller connection ended");
        ::close(fd);
        StopDaemon(pid);
    }
}
BENCHMARK(BM_IdleDaemon)->Arg(60)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
