// The monitoring controller and the SNMP agent link on a fully equipped
// board: 16 network interfaces, 4 E1 framers, 32 telephone sets, 16
// expansion boards and 200 stored set commands, one agent connected (a
// plain socket that the benchmark drains), the simulated board, and the
// loop's clock held still so that only the work measured runs.
//
// - BM_FullResend: one full resend, from OnDpcSend to the frames written;
//   counters: the octets and frames of one resend.
// - BM_ResendEncode: the aligned PER encoding and splitting of that
//   resend's set commands alone.
// - BM_CheckPass/0,1,2: the loop pass of the background, power and
//   controller checks (nothing changed, so nothing pushed; the controller
//   check walks the process table, as it does without a controller).
// - BM_TrapBuild: one SNMPv2c trap of 10 bindings.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "asn1/coder_env.h"
#include "bench/daemon_root.h"
#include "bench/monitoring_reports.h"
#include "board/board_io.h"
#include "board/sim_board.h"
#include "monitoring/mon_frames.h"
#include "monitoring/monitoring_ctl.h"
#include "monitoring/net_if_probe.h"
#include "monitoring/snmp_trap.h"
#include "runtime/mux_clock.h"

namespace {

const int kInterfaces = 16;
const int kBoards = 16;
const int kPhones = 32;
const int kCommands = 200;

uint64_t stillClock() {
    return 1000000;
}

// Sixteen running interfaces, answered without the kernel.
struct BenchProbe : NetIfProbe {
    int open() override { return ::dup(0); }
    int ioctl(int, unsigned long request, ifreq& req) override {
        if (req.ifr_ifindex >= kInterfaces && request == kGetName) {
            errno = ENODEV;
            return -1;
        }
        if (request == kGetName) std::snprintf(req.ifr_name, IFNAMSIZ, "eth%d", req.ifr_ifindex);
        if (request == kGetFlags) req.ifr_flags = short(kRunning);
        return 0;
    }
};

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

struct Board {
    Board() {
        for (const char* d : {"/var/monitoring", "/usr", "/usr/local", "/usr/local/etc", "/proc", "/proc/driver",
                              "/proc/driver/hdlc", "/proc/driver/hdlc/peb22554", "/proc/voice"})
            ::mkdir((root.path + d).c_str(), 0755);
        for (int n = 0; n < 4; ++n)
            writeFile(root.path + "/proc/driver/hdlc/peb22554/" + std::to_string(n),
                      "Current state           : Synchronized\nLoss of Signal          : no\n");
        writeFile(root.path + "/proc/voice/version", "voice 2.1 2024-05-01 10:00\n");
        writeFile(root.path + "/proc/temperature", "45 C\n");
        writeFile(root.path + "/var/version", "4.2.1\n");
        writeFile(root.path + "/usr/local/etc/config.0000001a-00000000000000ff", "");
        ::setenv("KORVAND_ROOT", root.path.c_str(), 1);
        Mux::setClockSource(&stillClock);
        setNetIfProbe(&probe);
        setBoardIo(sim.get());
        std::clog.rdbuf(quiet.rdbuf());
        std::cerr.rdbuf(quiet.rdbuf());
        listenForAgent();
        ctl.reset(new MonitoringCtl);
        std::istringstream in("[snmpagent]\nhost = 127.0.0.1:" + std::to_string(port) + "\nname = qorb\n");
        cfg.IntOpenStream(in);
        ctl->Configure(cfg);
        while (agent < 0) {
            multiplexer.runOnce(10);
            agent = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
        }
        report();
        for (int k = 0; k < 3; ++k) pass();  // the first samples and pushes
        drain();
    }
    void listenForAgent() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener, 1);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    void report() {
        for (const LGCP::DisplayParams& d : boardAndPhoneReports(kBoards, kPhones)) ctl->OnDisplayCMD(d);
        LGCP::DisplayParams d;
        for (int k = 0; k < kCommands; ++k) {
            MON::SnmpSetCommand c;
            c.set_uniq(k + 1);
            MON::IniName& id = c.set_id().set_name();
            id.set_section("radio");
            id.set_name("parameter" + std::to_string(k % 20));
            id.set_index(k / 20);
            c.set_value("value of parameter " + std::to_string(k));
            d.set_snmp_set().set_commands().push_back(c);
        }
        ctl->OnDisplayCMD(d);
    }
    void pass() { multiplexer.runOnce(0); }
    // Reads what the agent was sent; the set commands go to `commands`.
    void drain(ASN1::SEQUENCE_OF<MON::SnmpSetCommand>* commands = nullptr) {
        char buf[65536];
        for (ssize_t n; (n = ::recv(agent, buf, sizeof buf, MSG_DONTWAIT)) > 0;) {
            input.append(buf, size_t(n));
            octets += size_t(n);
        }
        while (input.size() >= 4) {
            size_t length = uint8_t(input[2]) << 8 | uint8_t(input[3]);
            if (input.size() < length) break;
            ++frames;
            if (commands) {
                MON::Message m;
                ASN1::CoderEnv env;
                env.decode(input.data() + 4, input.data() + length, m, false);
                if (m.get_pdu().get_command().is_snmp_set())
                    for (const MON::SnmpSetCommand& c : m.get_pdu().get_command().get_snmp_set().get_commands())
                        commands->push_back(c);
            }
            input.erase(0, length);
        }
    }

    DaemonRoot root;
    BenchProbe probe;
    std::unique_ptr<SimBoard> sim = SimBoard::makeStandard();
    std::ostringstream quiet;
    int listener = -1;
    int agent = -1;
    int port = 0;
    IniFile::File cfg;
    std::unique_ptr<MonitoringCtl> ctl;
    std::string input;
    size_t octets = 0;
    size_t frames = 0;
};

Board& board() {
    static Board b;
    return b;
}

void BM_FullResend(benchmark::State& state) {
    Board& b = board();
    b.octets = b.frames = 0;
    for (auto _ : state) {
        b.ctl->OnDpcSend();
        b.pass();
        state.PauseTiming();
        b.drain();
        state.ResumeTiming();
    }
    state.counters["octets"] = double(b.octets) / double(state.iterations());
    state.counters["frames"] = double(b.frames) / double(state.iterations());
}
BENCHMARK(BM_FullResend)->Unit(benchmark::kMicrosecond);

void BM_ResendEncode(benchmark::State& state) {
    Board& b = board();
    ASN1::SEQUENCE_OF<MON::SnmpSetCommand> commands;
    b.ctl->OnDpcSend();
    b.pass();
    b.drain(&commands);
    size_t octets = 0;
    for (auto _ : state) {
        std::vector<MonFrames::Frame> frames;
        MonFrames::encodeSetCommands(commands, frames, "bench", std::clog);
        octets = 0;
        for (const MonFrames::Frame& f : frames) octets += f.size();
        benchmark::DoNotOptimize(frames.data());
    }
    state.counters["commands"] = double(commands.size());
    state.counters["octets"] = double(octets);
}
BENCHMARK(BM_ResendEncode)->Unit(benchmark::kMicrosecond);

void BM_CheckPass(benchmark::State& state) {
    Board& b = board();
    for (auto _ : state) {
        switch (state.range(0)) {
            case 0:
                b.ctl->onBkgCheckTimer(nullptr);
                break;
            case 1:
                b.ctl->onPowerCheckTimer(nullptr);
                break;
            default:
                b.ctl->onControllerCheckTimer(nullptr);
                break;
        }
        b.pass();
    }
    b.drain();
}
BENCHMARK(BM_CheckPass)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_TrapBuild(benchmark::State& state) {
    using namespace Snmp;
    const oid heartbeat[] = {1, 3, 6, 1, 4, 1, 8072, 2, 3, 0, 1};
    const char text[] = "korvand monitoring";
    TrapContext ctx{};
    for (auto _ : state) {
        trap_init(&ctx, nullptr);
        trap_pack_begin(&ctx);
        uint32_t ticks = 12345;
        trap_pack_add(&ctx, objid_sysuptime, 9, kTimeTicks, &ticks, 4);
        trap_pack_add(&ctx, objid_snmptrap, 11, kObjectId, heartbeat, int(sizeof heartbeat));
        for (oid k = 1; k <= 8; ++k) {
            oid name[] = {1, 3, 6, 1, 4, 1, 8072, 2, 3, 2, k};
            if (k % 2)
                trap_pack_add(&ctx, name, 11, kInteger, &ticks, 4);
            else
                trap_pack_add(&ctx, name, 11, kOctetString, text, int(sizeof text - 1));
        }
        trap_pack_end(&ctx);
        benchmark::DoNotOptimize(ctx.length);
    }
    state.counters["octets"] = ctx.length;
}
BENCHMARK(BM_TrapBuild);

}  // namespace
BENCHMARK_MAIN();
