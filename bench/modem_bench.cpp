// Modem and software T.38 slots in process, on the simulated board, with
// real child processes below a private root.
//
// BM_ModemCycle: a controller creates a DSP modem slot, connects it (the
// modem is allocated and its program started: /bin/sleep given as the
// slot's execfile, so no shell runs), and destroys it (SIGHUP, the child's
// end reaped through the loop, the destruction answered). Items per second
// are whole cycles.
//
// BM_T38CountLongestPass: the resource report while the T.38 program
// hangs on "--num-of-instances" (a script that sleeps); the loop's longest
// pass, which the count's bound holds to about 2000 ms (longest_pass_ms).

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>

#include "bench/daemon_root.h"
#include "board/board_io.h"
#include "board/sim_board.h"
#include "core/ctrl_server.h"
#include "core/heart_beat.h"
#include "core/slot_table.h"
#include "hardware/hw_mux.h"
#include "protocol/acceptor.h"
#include "runtime/child_wait.h"
#include "runtime/multiplexer.h"
#include "runtime/singleton.h"
#include "slots/modem_factory.h"
#include "slots/t38_soft_slot.h"
#include "slots/trunk_slot.h"
#include "tools/lgcpc/client.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Silent : std::streambuf {
    int overflow(int c) override { return c; }
};

// The standard streams silenced, a private root with the programs, the
// simulated board and the slot table bound, child exits watched.
class Stage {
public:
    Stage() {
        err = std::cerr.rdbuf(&silent);
        log = std::clog.rdbuf(&silent);
        out = std::cout.rdbuf(&silent);
        ::setenv("KORVAND_ROOT", root.path.c_str(), 1);
        ::mkdir((root.path + "/bin").c_str(), 0755);
        ::mkdir((root.path + "/usr").c_str(), 0755);
        ::mkdir((root.path + "/usr/local").c_str(), 0755);
        ::mkdir((root.path + "/usr/local/sbin").c_str(), 0755);
        if (::symlink("/bin/sleep", (root.path + "/bin/sleep").c_str()) != 0) std::abort();
        std::string t38 = root.path + "/usr/local/sbin/t38";
        std::ofstream(t38) << "#!/bin/sh\nexec sleep 1000\n";
        ::chmod(t38.c_str(), 0755);
        board = SimBoard::makeStandard();
        setBoardIo(board.get());
        HwMux::instance();
        ctrlServer.Bind(HeartBeatCtl::instance());
        ctrlServer.Bind(Slots::instance());
        ChildWait::Activate();
    }
    ~Stage() {
        ctrlServer.Deactivate();
        ctrlServer.Unbind(Slots::instance());
        ctrlServer.Unbind(HeartBeatCtl::instance());
        Singletons::resetTo(0);
        setBoardIo(nullptr);
        ::unsetenv("KORVAND_ROOT");
        std::cerr.rdbuf(err);
        std::clog.rdbuf(log);
        std::cout.rdbuf(out);
    }

    Silent silent;
    std::streambuf* err;
    std::streambuf* log;
    std::streambuf* out;
    DaemonRoot root;
    std::unique_ptr<SimBoard> board;
};

// A free port on the loopback address, bound and released at once.
uint16_t FreePort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

void BM_ModemCycle(benchmark::State& state) {
    Stage stage;
    ModemFactory factory(0);
    uint16_t port = FreePort();
    ctrlServer.Activate(new Control::AcceptorNetCheckConnection(port));
    Lgcpc::Client client;
    std::string error;
    if (!client.Connect("127.0.0.1", port, error)) {
        state.SkipWithError(("no controller: " + error).c_str());
        return;
    }
    // The trunk slot the modem is connected to; naming a trunk factory
    // links them in.
    benchmark::DoNotOptimize(&trunk0);
    client.Send("{ seq 1, slot 2, pdu command : create : trunk : { trunk 0, timeslot 1 } }", error);
    if (!client.WaitFor(1) || client.Received()[0] != Lgcpc::canonical("{ seq 1, slot 2, pdu response : success : NULL }")) {
        state.SkipWithError(("no trunk slot: " + (client.Received().empty() ? std::string() : client.Received()[0])).c_str());
        return;
    }
    const std::string done = Lgcpc::canonical("{ seq 3, slot 1, pdu response : success : NULL }");
    for (auto _ : state) {
        client.Send("{ seq 1, slot 1, pdu command : create : modem : { cid \"\", cdid \"\", execfile \"/bin/sleep\", "
                    "execargs { \"1000\" } } }",
                    error);
        client.Send("{ seq 2, slot 1, pdu command : connect : 2 }", error);
        client.Send("{ seq 3, slot 1, pdu command : destroy : NULL }", error);
        size_t from = client.Received().size();
        bool answered = false;
        while (!answered && client.WaitFor(client.Received().size() + 1))
            answered = std::find(client.Received().begin() + long(from), client.Received().end(), done) !=
                       client.Received().end();
        if (!answered) {
            state.SkipWithError("a destroy was not answered");
            break;
        }
    }
    // Every cycle ran its child: none was refused, and every destroy waited.
    size_t aborts = 0, immediate = 0;
    for (const std::string& m : client.Received()) {
        aborts += m.find("signal : abort") != std::string::npos;
        immediate += m == Lgcpc::canonical("{ seq 0, slot 1, pdu response : success : NULL }");
    }
    if (aborts || immediate) state.SkipWithError("a cycle ran without its child");
    state.SetItemsProcessed(state.iterations());
    client.Close();
    ChildWait::Cleanup();
    ChildWait::Initialize();
    ::signal(SIGCHLD, SIG_DFL);
}
BENCHMARK(BM_ModemCycle)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_T38CountLongestPass(benchmark::State& state) {
    Stage stage;
    T38SoftFactory factory;
    double longest = 0;
    for (auto _ : state) {
        bool reported = false;
        Timer trigger;
        struct Report {
            bool* reported;
            void Run() {
                Slots::instance()->UpdateHardwareResources();
                *reported = true;
            }
        } report{&reported};
        trigger.set(1, &Report::Run, &report);
        while (!reported) {
            Clock::time_point start = Clock::now();
            multiplexer.runOnce(1);
            double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            longest = std::max(longest, ms);
        }
    }
    state.counters["longest_pass_ms"] = longest;
    ChildWait::Cleanup();
    ChildWait::Initialize();
    ::signal(SIGCHLD, SIG_DFL);
}
BENCHMARK(BM_T38CountLongestPass)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
