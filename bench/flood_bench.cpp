// A controller that pipelines bus-test write commands (10-octet frames, each
// test writing and reading back the 127 time slots of a bus with its
// pauses) as fast as TCP takes them, against the control server on the
// simulated board. Reported: the longest loop pass while they are served
// (the time timers, driver events and the watchdog wait at worst), the mean
// time of one command, and the passes.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "asn1/coder_env.h"
#include "asn1/gen/lgcp.h"
#include "bench/loopback.h"
#include "board/board_io.h"
#include "board/sim_board.h"
#include "core/ctrl_server.h"
#include "hardware/hw_mux.h"
#include "hardware/hw_tests.h"
#include "protocol/acceptor.h"
#include "runtime/multiplexer.h"

namespace {

using Clock = std::chrono::steady_clock;

// One TPKT frame of a bus test that writes all of bus 3.
std::vector<uint8_t> busTestFrame() {
    LGCP::Message m;
    LGCP::BpcTestParams& p = m.set_pdu().set_command().set_testBpc();
    p.set_bus(3);
    p.set_seed(1);
    p.set_mode().set_write();
    p.set_timeslot_start(0);
    p.set_timeslot_length(127);
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    std::vector<char> payload;
    ASN1::encode(m, &env, std::back_inserter(payload));
    size_t n = payload.size() + 4;
    std::vector<uint8_t> frame = {3, 0, uint8_t(n >> 8), uint8_t(n)};
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

void writeAll(int fd, const std::vector<uint8_t>& bytes) {
    for (size_t at = 0; at < bytes.size();) {
        ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return;
        at += size_t(n);
    }
}

// Counts the answers' frames until `expected` have come or the stream ends.
void countAnswers(int fd, size_t expected, std::atomic<size_t>& answers) {
    std::vector<uint8_t> buf(65536);
    std::vector<uint8_t> pending;
    while (answers < expected) {
        ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
        if (n <= 0) return;
        pending.insert(pending.end(), buf.begin(), buf.begin() + n);
        size_t at = 0;
        while (pending.size() - at >= 4) {
            size_t len = size_t(pending[at + 2]) << 8 | pending[at + 3];
            if (len < 4 || pending.size() - at < len) break;
            at += len;
            ++answers;
        }
        pending.erase(pending.begin(), pending.begin() + long(at));
    }
}

// Bound before the bus tests: notes when each command reaches the services.
struct Stamps : CtrlSrv::Service {
    void OnConnect() override {}
    void OnDisconnect() override {}
    bool OnCommand(const LGCP::Command&) override {
        at.push_back(Clock::now());
        return false;
    }
    std::vector<Clock::time_point> at;
};

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// For each pass, its time beyond the longest command it served (a command
// lasts until the next one starts, the last one until the pass ends).
std::vector<double> beyondCommands(const std::vector<std::pair<Clock::time_point, Clock::time_point>>& passes,
                                   const std::vector<Clock::time_point>& starts) {
    std::vector<double> beyond;
    size_t next = 0;
    for (const auto& pass : passes) {
        while (next < starts.size() && starts[next] < pass.first) ++next;
        double longest = 0;
        for (; next < starts.size() && starts[next] < pass.second; ++next) {
            Clock::time_point end = next + 1 < starts.size() && starts[next + 1] < pass.second ? starts[next + 1]
                                                                                               : pass.second;
            longest = std::max(longest, ms(end - starts[next]));
        }
        beyond.push_back(ms(pass.second - pass.first) - longest);
    }
    std::sort(beyond.begin(), beyond.end());
    return beyond;
}

void BM_PipelinedBusTests(benchmark::State& state) {
    const size_t commands = size_t(state.range(0));
    std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
    setBoardIo(board.get());
    std::streambuf* log = std::clog.rdbuf(nullptr);
    {
        HwMux mux;
        HwTests tests(mux);
        Stamps stamps;
        ctrlServer.Bind(&stamps);
        ctrlServer.Bind(&tests);
        const int port = FreePort();
        ctrlServer.Activate(new Control::AcceptorNetCheckConnection(port, false));
        const std::vector<uint8_t> frame = busTestFrame();
        std::vector<uint8_t> flood;
        for (size_t i = 0; i < commands; ++i) flood.insert(flood.end(), frame.begin(), frame.end());
        double longest = 0, busy = 0;
        size_t passes = 0, over5 = 0;
        std::vector<double> all;
        std::vector<std::pair<Clock::time_point, Clock::time_point>> bounds;
        for (auto _ : state) {
            int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a = Loopback(port);
            ::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a);
            while (ctrlServer.GetService()->GetState() != Control::Service::Connected) multiplexer.runOnce(10);
            std::atomic<size_t> answers{0};
            std::thread writer(writeAll, client, std::cref(flood));
            std::thread reader(countAnswers, client, commands, std::ref(answers));
            auto start = Clock::now();
            while (answers < commands) {
                auto t0 = Clock::now();
                multiplexer.runOnce(10);
                auto t1 = Clock::now();
                double pass = ms(t1 - t0);
                longest = std::max(longest, pass);
                over5 += pass > 5.0;
                all.push_back(pass);
                bounds.emplace_back(t0, t1);
                ++passes;
            }
            busy += ms(Clock::now() - start);
            writer.join();
            reader.join();
            ::close(client);
            while (ctrlServer.GetService()->GetState() == Control::Service::Connected) multiplexer.runOnce(10);
            multiplexer.runOnce(10);
        }
        state.counters["longest_pass_ms"] = longest;
        state.counters["command_ms"] = busy / double(commands * state.iterations());
        state.counters["passes"] = double(passes);
        state.counters["passes_over_5ms"] = double(over5);
        std::sort(all.begin(), all.end());
        state.counters["p99_ms"] = all[all.size() * 99 / 100];
        state.counters["p50_ms"] = all[all.size() / 2];
        std::vector<double> beyond = beyondCommands(bounds, stamps.at);
        state.counters["beyond_longest_command_max_ms"] = beyond.back();
        state.counters["beyond_longest_command_p99_ms"] = beyond[beyond.size() * 99 / 100];
        state.counters["frame_octets"] = double(frame.size());
        ctrlServer.Deactivate();
        ctrlServer.Unbind(&tests);
        ctrlServer.Unbind(&stamps);
    }
    std::clog.rdbuf(log);
    setBoardIo(nullptr);
}
BENCHMARK(BM_PipelinedBusTests)->Arg(30000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
