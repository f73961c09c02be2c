// File players of the running daemon on the simulated board, each feeding
// its own MCC channel, which the board paces at 8,000 bytes per second as
// a line would take G.711 samples.
//
// The argument is the number of players (each plays a 10-second phrase
// file endlessly into a map receiver of its own). After every player has
// started, the board's counts start again and the daemon is watched for
// a period of kSeconds. Counters:
//   cpu_percent        the daemon's processor time (user + system, the
//                      simulated board's work included, as it runs in the
//                      daemon's process) over the period's wall time
//   syscalls_per_audio_s  system calls the daemon made per second of audio
//                      the lines played, all channels together (perf's
//                      raw_syscalls:sys_enter count of the daemon; -1 when
//                      perf cannot count). Each loop pass carries the
//                      time-slot switch's refresh of its disabled outputs,
//                      and the board's 10 ms clock makes passes of its own.
//   longest_gap_ms     the longest time any channel's line ran dry while
//                      its player played
//   audio_s_per_s      seconds of audio played per second: the players
//                      when every line is fed in time
// The daemon runs pinned to one processor, the benchmark on another.

#include <benchmark/benchmark.h>
#include <stdio.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "bench/daemon.h"
#include "bench/daemon_lgcp.h"
#include "bench/proc_status.h"

namespace {

const int kSeconds = 10;
const int kRate = 8000;
const int kFirstChannel = 256;

// Reads messages until `answers` responses came; false when the link fails.
bool AwaitAnswers(int fd, int answers) {
    while (answers > 0) {
        LGCP::Message msg;
        if (!ReadLgcp(fd, msg)) return false;
        if (msg.get_pdu().is_response()) --answers;
    }
    return true;
}

// The system calls `pid` makes in the next `seconds`, counted by perf; -1
// when perf cannot count them.
double CountSyscalls(pid_t pid, int seconds) {
    std::string cmd = "perf stat -x, -e raw_syscalls:sys_enter -p " + std::to_string(pid) + " -- sleep " +
                      std::to_string(seconds) + " 2>&1";
    FILE* perf = ::popen(cmd.c_str(), "r");
    if (!perf) return -1;
    double count = -1;
    char line[512];
    while (::fgets(line, sizeof line, perf))
        if (std::strstr(line, "raw_syscalls:sys_enter") && line[0] >= '0' && line[0] <= '9') count = std::atof(line);
    ::pclose(perf);
    return count;
}

struct Lines {
    uint64_t played = 0;
    uint64_t longestGapUs = 0;
};

Lines ReadLines(BoardControl& board, int players) {
    Lines all;
    for (int c = kFirstChannel; c < kFirstChannel + players; ++c) {
        unsigned long long played = 0, gap = 0;
        std::sscanf(board.Run("/dev/mcc/ctl pace " + std::to_string(c)).c_str(), "pace=%*u played=%llu gap_us=%llu",
                    &played, &gap);
        all.played += played;
        all.longestGapUs = std::max<uint64_t>(all.longestGapUs, gap);
    }
    return all;
}

// The daemon with `players` file players started, each on a paced channel.
bool StartPlayers(PinnedDaemon& daemon, BoardControl& board, int players) {
    std::string phrase(size_t(kRate) * 10, '\0');
    for (size_t i = 0; i < phrase.size(); ++i) phrase[i] = char(0xD5 ^ (i % 97));
    std::string dir = daemon.root.path + "/usr/local/voice";
    if (std::system(("mkdir -p '" + dir + "'").c_str()) != 0) return false;
    std::ofstream(dir + "/phrase.raw", std::ios::binary) << phrase;
    if (board.Run("/dev/mcc/ctl counts 8 4 " + std::to_string(players)) != "ok" ||
        board.Run("/dev/mcc/ctl pool " + std::to_string(kFirstChannel) + " " + std::to_string(players)) != "ok" ||
        board.Run("/dev/mcc/ctl pace all " + std::to_string(kRate)) != "ok")
        return false;
    for (int i = 0; i < players; ++i) {
        std::string player = std::to_string(2 * i), sink = std::to_string(2 * i + 1);
        std::vector<uint8_t> frames = EncodeLgcp("{ seq 1, slot " + player +
                              ", pdu command : create : voice : player : file : { name { \"phrase.raw\" }, repeat 0 } }");
        std::vector<uint8_t> more = EncodeLgcp("{ seq 2, slot " + sink + ", pdu command : create : map : { receiver { bus " +
                            std::to_string(1 + i / 128) + ", channel " + std::to_string(i % 128) + " } } }");
        frames.insert(frames.end(), more.begin(), more.end());
        more = EncodeLgcp("{ seq 3, slot " + player + ", pdu command : connect : " + sink + " }");
        frames.insert(frames.end(), more.begin(), more.end());
        if (::write(daemon.fd, frames.data(), frames.size()) != ssize_t(frames.size()) || !AwaitAnswers(daemon.fd, 3))
            return false;
    }
    return true;
}

void BM_PacedFilePlayers(benchmark::State& state) {
    const int players = int(state.range(0));
    for (auto _ : state) {
        PinnedDaemon daemon;
        BoardControl board(daemon.root.path);
        if (daemon.fd < 0 || !StartPlayers(daemon, board, players)) {
            state.SkipWithError("the players did not start");
            break;
        }
        // Settled, the counts start again for the period.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        board.Run("/dev/mcc/ctl pace all " + std::to_string(kRate));
        double cpu = CpuSeconds(daemon.pid);
        auto begin = std::chrono::steady_clock::now();
        double calls = CountSyscalls(daemon.pid, kSeconds);
        if (calls < 0) std::this_thread::sleep_for(begin + std::chrono::seconds(kSeconds) - std::chrono::steady_clock::now());
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        cpu = CpuSeconds(daemon.pid) - cpu;
        Lines lines = ReadLines(board, players);
        double audio = double(lines.played) / kRate;
        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["syscalls_per_audio_s"] = calls < 0 || audio <= 0 ? -1 : calls / audio;
        state.counters["longest_gap_ms"] = double(lines.longestGapUs) / 1000.0;
        state.counters["audio_s_per_s"] = audio / wall;
    }
}
BENCHMARK(BM_PacedFilePlayers)->Arg(1)->Arg(32)->Arg(128)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
