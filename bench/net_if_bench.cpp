// The network-interface check of the monitoring on this host's own
// interfaces, through the kernel (a packet socket when the process may open
// one, as on the board, else the datagram socket of an unprivileged run).
//
// - BM_NetIfCheck: one run of the check, which the power timer makes every
//   two seconds; counters: the interfaces probed, the longest run seen
//   (longest_us; on a loaded host it is the scheduler's), the run that
//   999 of 1000 stay within (p999_us), and whether the probe socket is a
//   packet socket.
// - BM_ProbeSocketOpenClose: opening and closing one probe socket, the cost
//   the check would pay per interface if it did not keep its socket (the
//   close of a packet socket waits for the kernel's network grace period).

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "bench/daemon_root.h"
#include "monitoring/monitoring_ctl.h"
#include "monitoring/net_if_probe.h"

namespace {

bool packetSocket(int fd) {
    int domain = 0;
    socklen_t len = sizeof domain;
    return ::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &len) == 0 && domain == AF_PACKET;
}

void BM_NetIfCheck(benchmark::State& state) {
    DaemonRoot root;
    ::mkdir((root.path + "/var/monitoring").c_str(), 0755);
    ::setenv("KORVAND_ROOT", root.path.c_str(), 1);
    std::unique_ptr<MonitoringCtl> ctl(new MonitoringCtl);
    ctl->doNetIfCheck();  // the first samples
    std::vector<double> passes;
    passes.reserve(size_t(state.max_iterations));
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        ctl->doNetIfCheck();
        std::chrono::duration<double, std::micro> pass = std::chrono::steady_clock::now() - start;
        passes.push_back(pass.count());
    }
    std::sort(passes.begin(), passes.end());
    state.counters["interfaces"] = double(ctl->data().netIfList.size());
    state.counters["longest_us"] = passes.empty() ? 0 : passes.back();
    state.counters["p999_us"] = passes.empty() ? 0 : passes[passes.size() * 999 / 1000];
    state.counters["packet"] = packetSocket(ctl->data().netIfProbeSocket()) ? 1 : 0;
    ctl.reset();
    ::unsetenv("KORVAND_ROOT");
}
BENCHMARK(BM_NetIfCheck)->Unit(benchmark::kMicrosecond);

void BM_ProbeSocketOpenClose(benchmark::State& state) {
    bool packet = false;
    for (auto _ : state) {
        int fd = netIfProbe().open();
        if (fd < 0) {
            state.SkipWithError("no probe socket");
            break;
        }
        packet = packetSocket(fd);
        ::close(fd);
    }
    state.counters["packet"] = packet ? 1 : 0;
}
BENCHMARK(BM_ProbeSocketOpenClose)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
BENCHMARK_MAIN();
