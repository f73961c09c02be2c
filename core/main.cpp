// korvand: the gateway control daemon.
//
// Start-up reads the trace switches from the configuration file, installs
// the signal handlers, parses the command line, builds the slot factories,
// the time-slot switch, the monitoring controller and the control services,
// optionally detaches from the terminal, publishes its pid, opens the
// control port and runs the one event loop until SIGTERM or SIGINT.

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "board/board_io.h"
#include "board/fs_root.h"
#include "board/sim_board.h"
#include "core/ctrl_server.h"
#include "core/heart_beat.h"
#include "core/slot_table.h"
#include "core/trace_ctl.h"
#include "hardware/bus_ctl.h"
#include "hardware/e1_ctl.h"
#include "hardware/hw_mux.h"
#include "hardware/hw_tests.h"
#include "hardware/spi_ctrl.h"
#include "monitoring/monitoring_ctl.h"
#include "protocol/acceptor.h"
#include "rtp/rtp_factory.h"
#include "rtp/rtp_radio_factory.h"
#include "runtime/child_wait.h"
#include "runtime/daemon.h"
#include "runtime/directory_lock.h"
#include "runtime/dpc.h"
#include "runtime/event.h"
#include "runtime/ini_file.h"
#include "runtime/ipc_signal.h"
#include "runtime/multiplexer.h"
#include "runtime/pid_file.h"
#include "runtime/version.h"
#include "slots/echo_slot.h"
#include "slots/ext_slot.h"
#include "slots/hdlc_slot.h"
#include "slots/isdn_slot.h"
#include "slots/map_slot.h"
#include "slots/mcc_slot.h"
#include "slots/mixer_slot.h"
#include "slots/modem_factory.h"
#include "slots/pstn_slot.h"
#include "slots/t38_soft_slot.h"
#include "slots/voice_slot.h"

namespace {

const char* const kConfigFile = "/usr/local/etc/server.conf";
const char* const cfgTraces = "traces";
const char* const kStatusFile = "/var/log/server-status";
const int kDefaultPort = 20001;

const char* const kUsage =
    "Usage:\n"
    " korvand -Dh\n"
    "  -D --daemon                      run as daemon\n"
    "  -p --port                        use this port\n"
    "     --disable-clock               disable clock control\n"
    "     --version                     print version\n"
    "  -h --help                        display this information\n";

// ---- signals ------------------------------------------------------------------

// Set by the handlers, consumed by CheckSignals in the loop.
volatile sig_atomic_t doDumpStatus = 0;
volatile sig_atomic_t updateResources = 0;
volatile sig_atomic_t stopRequested = 0;

// The writing end of the wake-up pipe (-1 while there is none).
volatile sig_atomic_t wakeWriter = -1;

// One byte on the wake-up pipe, so that a signal that arrives after this
// pass's check and before its poll still ends the poll at once.
void Wake() {
    int saved = errno;
    int fd = wakeWriter;
    if (fd >= 0 && ::write(fd, "", 1) < 0) {
        // The pipe is full: the loop has been woken already.
    }
    errno = saved;
}

void SigPipeHandler(int) {}

// The loop's own stop switch is no object a handler may write: the handler
// raises its flag and the loop stops itself (CheckStop).
void SigTermHandler(int) {
    stopRequested = 1;
    Wake();
}

void SigUsr2Handler(int) {
    doDumpStatus = 1;
    Wake();
}

void SigHupHandler(int) {
    updateResources = 1;
    Wake();
}

void InstallSignalHandlers() {
    IPC::Signal::handle(SIGPIPE, SigPipeHandler, SA_RESTART);
    IPC::Signal::handle(SIGTERM, SigTermHandler, 0);
    IPC::Signal::handle(SIGINT, SigTermHandler, 0);
    IPC::Signal::handle(SIGUSR2, SigUsr2Handler, SA_RESTART);
    IPC::Signal::handle(SIGHUP, SigHupHandler, SA_RESTART);
}

// ---- the jobs of the signals, run in the loop ---------------------------------------

void CheckStop() {
    if (stopRequested) multiplexer.terminate();
}

void CheckDumpStatus() {
    if (!doDumpStatus) return;
    doDumpStatus = 0;
    std::ofstream file(Fs::path(kStatusFile), std::ios::out | std::ios::trunc);
    if (!file) {
        std::cerr << "dump status error" << std::endl;
        return;
    }
    file << "server status information.\n";
    file << "version : " << Version::current << '\n';
    multiplexer.dump(file);
}

void CheckUpdateResources() {
    if (!updateResources) return;
    updateResources = 0;
    std::clog << "update hardware resources" << std::endl;
    Slots::instance()->UpdateHardwareResources();
}

void CheckSignals() {
    CheckStop();
    CheckDumpStatus();
    CheckUpdateResources();
}

// The wake-up pipe: the loop drains it and runs the check at once.
class SignalWakeup {
public:
    SignalWakeup() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
            std::cerr << "signal wake-up pipe fail: " << std::strerror(errno) << std::endl;
            return;
        }
        event.Bind("main::signalWakeup", &SignalWakeup::OnWakeup, this);
        event.Schedule(ends[0], POLLIN);
        ::close(ends[0]);
        wakeWriter = ends[1];
    }
    // The handlers stop writing before the pipe closes.
    ~SignalWakeup() {
        int fd = wakeWriter;
        wakeWriter = -1;
        if (fd >= 0) ::close(fd);
    }
    SignalWakeup(const SignalWakeup&) = delete;
    SignalWakeup& operator=(const SignalWakeup&) = delete;

    void OnWakeup(int fd, short revents) {
        if (!(revents & POLLIN)) return;
        char buf[64];
        while (::read(fd, buf, sizeof buf) > 0) {
        }
        CheckSignals();
    }

private:
    Event event;
};

// ---- options ------------------------------------------------------------------------

int print_version = 0;

const option long_options[] = {
    {"daemon", no_argument, nullptr, 'D'},
    {"disable-clock", no_argument, nullptr, 10},
    {"port", required_argument, nullptr, 'p'},
    {"version", no_argument, &print_version, 1},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

struct Options {
    bool daemon = false;
    int port = kDefaultPort;
};

// A control port: decimal digits only, 1 to 65535. Port 0 would listen on
// a port of the kernel's choosing that no controller knows.
bool ParsePort(const char* text, int& port) {
    long value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
        if (value > 65535) return false;
    }
    if (value < 1) return false;
    port = static_cast<int>(value);
    return true;
}

// Parses the command line into `options`; -1 to go on, or the exit status
// after printing what the options asked for. "--disable-clock" acts at
// once, before any controller can connect.
int ParseOptions(int argc, char** argv, Options& options) {
    opterr = 1;
    int c;
    while ((c = getopt_long(argc, argv, "Dh", long_options, nullptr)) != -1) {
        switch (c) {
            case 'D':
                options.daemon = true;
                break;
            case 10:
                BusCtl::instance()->DisableControl();
                break;
            case 'p':
                if (ParsePort(optarg, options.port)) break;
                std::cerr << argv[0] << ": invalid port '" << optarg << "'" << std::endl;
                std::cout << kUsage << std::endl;
                return 2;
            case 'h':
                std::cout << kUsage << std::endl;
                return 0;
            case '?':
                std::cout << kUsage << std::endl;
                return 2;
            default:
                break;
        }
    }
    if (!print_version) return -1;
    std::cout << "server version: " << Version::current << std::endl;
    return 2;
}

// ---- start-up steps -------------------------------------------------------------------

// The trace switches, when the configuration file opened.
void ConfigureTraces(IniFile::File& config) {
    if (!config.Open(kConfigFile)) return;
    traces = TraceCtl();
    traces.Configure(config[cfgTraces]);
}

// Detaches from the terminal; the standard streams go to syslog under the
// ident "pelm-" and the version.
void RunDaemon() {
    std::ostringstream ident;
    ident << "pelm-" << Version::current;
    Daemon::Params params;
    params.mName = ident.str();
    Daemon::Init(params);
}

// The slot factories, built here in this order and kept to the end of the
// process. Each links itself at the head of the registry when it is built,
// so the last built is asked first; the E1 and BRI trunk factories are
// static objects built before main, and so asked last.
void BuildSlotFactories() {
    static MapFactory mapFactory;
    static PstnFactory pstnFactory;
    static RtpFactory rtpFactory;
    static ModemFactory modemFactory;
    static Mixer::MixerFactory mixerFactory;
    static ExtFactory extFactory;
    static MccFactory mccFactory;
    static EchoFactory echoFactory;
    static VoiceFactory voiceFactory;
    static T38SoftFactory t38SoftFactory;
    static IsdnFactory isdnFactory;
    static RtpLEMZFactory rtpLEMZFactory;
    static RtpED137Factory rtpED137Factory;
    static HdlcSlotFactory hdlcSlotFactory;
}

// The order of binding is the order in which every command is offered.
void BindServices() {
    ctrlServer.Bind(HeartBeatCtl::instance());
    ctrlServer.Bind(Slots::instance());
    ctrlServer.Bind(HwTests::instance());
    ctrlServer.Bind(BusCtl::instance());
    ctrlServer.Bind(E1Ctl::instance());
    ctrlServer.Bind(spiCtrl::instance());
    ctrlServer.Bind(MonitoringCtl::instance());
}

// Two daemons on one root would share the simulated board's control socket:
// the later would take it over and, at its exit, remove the pid file and
// the monitoring files of the earlier. A start holds a lock on the root
// for the rest of its life, taken before it looks for a board answering
// there: of two started together, one finds the lock held. A start that
// finds either ends before it writes or binds anything. It asks before the
// board is selected, whose power-up commands may bind sockets below the
// root.
bool AnotherDaemonOnThisRoot() {
    if (!simBoardInEnvironment()) return false;
    // Never released: the kernel drops it when the process ends, however
    // it ends, after the pid file and the monitoring files have gone. The
    // programs the daemon starts close their copies at their fork.
    static DirectoryLock* rootLock = new DirectoryLock(Fs::path("/"));
    std::string path = Fs::path(kSimControlPath);
    if (rootLock->error() == EWOULDBLOCK) {
        std::cerr << "the root's lock is held by another daemon, whose simulated board is at " << path << std::endl;
        return true;
    }
    if (!SimBoard::controlAnswers(path)) return false;
    std::cerr << "a simulated board already answers at " << path << ": another daemon runs on this root"
              << std::endl;
    return true;
}

// On the simulated board, tests drive the device models of the running
// daemon through the board's control socket, and the models' outside peers
// (processes at the far end of a channel) and the board's clock (a paced
// line) are served from the loop.
class SimBoardControl {
public:
    explicit SimBoardControl(SimBoard* board) : board(board) {
        if (!board) return;
        peers.Bind("SimBoard::peers", &SimBoardControl::OnPeers, this);
        peers.Schedule(board->poller().descriptor(), POLLIN);
        int fd = board->openControl(Fs::path(kSimControlPath));
        if (fd < 0) return;
        event.Bind("SimBoard::control", &SimBoardControl::OnCommand, this);
        event.Schedule(fd, POLLIN);
    }
    void OnCommand(int, short revents) {
        if (revents & POLLIN) board->serveControl();
    }
    void OnPeers(int, short revents) {
        if (revents & POLLIN) board->poller().serve();
    }

private:
    SimBoard* board;
    Event event;
    Event peers;
};

}  // namespace

int main(int argc, char** argv) {
    // Before anything that may close a descriptor through it, "--disable-
    // clock" among them, so that the board's end comes after every close.
    simBoardFromEnvironment();

    IniFile::File config;
    ConfigureTraces(config);

    SignalWakeup wakeup;
    InstallSignalHandlers();

    Options options;
    int status = ParseOptions(argc, argv, options);
    if (status >= 0) return status;

    if (AnotherDaemonOnThisRoot()) return 1;
    selectBoardFromEnvironment();
    SimBoardControl simControl(selectedSimBoard());

    BuildSlotFactories();

    // The switch opens its device and disables every output before any
    // controller can connect.
    HwMux::instance();

    // The monitoring controller, configured from the whole configuration
    // file (empty when it did not open); its timers run once the loop does.
    MonitoringCtl::instance()->Configure(config);

    if (options.daemon) RunDaemon();
    // After daemonising, so that the file holds the daemon's pid.
    Linux::Run pidFile("server");

    std::cout << "Starting server [" << Version::current << "], port=" << options.port << std::endl;
    BindServices();
    ChildWait::Activate();

    Dpc signalCheck;
    signalCheck.Bind(new DpcHandler1(CheckSignals));
    signalCheck.Activate();

    ctrlServer.Activate(new Control::AcceptorNetCheckConnection(options.port));
    multiplexer.run(true, true);

    // Every service hears the controller's loss, so every slot is destroyed
    // before the pid file goes.
    ctrlServer.Deactivate();
    signalCheck.Deactivate();
    return 0;
}
