#include "slots/t38_soft_slot.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "board/fs_root.h"
#include "board/mcc_driver.h"

namespace {

const char* const kPrefix = "t38soft: ";
// The longest first line the instance count reads.
const size_t kLineLimit = 31;
// The exit status of a child whose exec failed: 1005, seen as 237.
const int kExecFailStatus = 1005;
const int kCountExecFailStatus = 127;

// ---- the instance count's bounded waits, in real time: the loop's clock
// stands still while the count holds it.

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}

// The first line on `fd`, up to its end, the end of the output or
// kLineLimit characters; false when the deadline came first.
bool ReadLine(int fd, Clock::time_point deadline, std::string& line) {
    while (line.size() < kLineLimit) {
        pollfd p{fd, POLLIN, 0};
        int ready = ::poll(&p, 1, MsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0 || c == '\n') return true;
        line += c;
    }
    return true;
}

// The child's end, reaped here: the loop's child watcher cannot run while
// the count holds the loop. False when the deadline came first.
bool WaitExit(pid_t pid, Clock::time_point deadline, int& status) {
    for (;;) {
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno != EINTR) return true;
        if (Clock::now() >= deadline) return false;
        ::poll(nullptr, 0, 5);
    }
}

}  // namespace

// ---- T38SoftSlot --------------------------------------------------------------------

T38SoftSlot::T38SoftSlot(int p, int t, ChildProgram& started) : pid(p), timeslot(t), program(std::move(started)) {
    child.Bind(this, &T38SoftSlot::OnT38Terminate);
    child.Attach(pid);
}

void T38SoftSlot::IAfterCreate() {
    OnChangeOutputStream(true);
    OnChangeInputStream(true);
}

// The program's end is no longer this slot's: the child watcher reaps it.
bool T38SoftSlot::IBeforeDestroy() {
    if (pid >= 1) ::kill(pid, SIGTERM);
    return true;
}

void T38SoftSlot::OnT38Terminate(int status) {
    int signal = status & 0x7F;
    if (signal != 0 && signal != 0x7F)
        std::clog << *this << ": t38 daemon terminated by signal=" << signal << std::endl;
    else if (signal == 0)
        std::clog << *this << ": t38 daemon terminated with code=" << ((status >> 8) & 0xFF) << std::endl;
    if (int err = program.ExecError())
        std::cerr << *this << ": fail to exec t38 daemon: " << std::strerror(err) << std::endl;
    pid = -1;
    OnAbort(status);
}

// ---- T38SoftFactory -----------------------------------------------------------------

std::vector<std::string> T38SoftFactory::CommandLine(const LGCP::T38Soft& params) {
    const TERM::HostAddress& d = params.get_dhost();
    // As "%s/%d/%d" prints it: the address text ends at a NUL.
    std::string remote = std::string(d.get_iaddr().c_str()) + "/" + std::to_string(d.get_port().getValue()) + "/" +
                         std::to_string(params.get_shost().get_port().getValue());
    std::vector<std::string> argv = {kProgram, "--child", "--remote", remote};
    for (const ASN1::IA5String& a : params.get_args()) {
        if (argv.size() == 4 + kMaxArgs) break;
        argv.push_back(a);
    }
    return argv;
}

int T38SoftFactory::OpenChannel(const LGCP::T38Soft& params, int& timeslot) {
    int fd = boardIo().open(Mcc::kDevice, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        std::cerr << "T38SoftFactory::INewSlot - FAIL to open </dev/mcc/ctl> [" << errno << "]" << std::endl;
        return -1;
    }
    Mcc::Allocate r{Mcc::kTransparent, uint32_t(params.get_rx_packet_size().getValue()), 0,
                    uint32_t(params.get_rx_threshold().getValue()), uint32_t(params.get_tx_threshold().getValue())};
    const char* failure = nullptr;
    if (boardIo().ioctl(fd, Mcc::MCC_ALLOCATE, static_cast<void*>(&r)) < 0)
        failure = "MCC_ALLOCATE";
    else if ((timeslot = boardIo().ioctl(fd, Mcc::MCC_TIMESLOT, 0L)) < 0)
        failure = "MCC_TIMESLOT";
    if (!failure) return fd;
    std::cerr << "T38SoftFactory::INewSlot - FAIL to ioctl " << failure << " [" << errno << "]" << std::endl;
    boardIo().close(fd);
    return -1;
}

int T38SoftFactory::StartProgram(const std::vector<std::string>& argv, int channel, ChildProgram& program) {
    ChildProgram::Command c;
    c.path = Fs::path(kProgram);
    c.argv = argv;
    c.input = channel;
    c.failStatus = kExecFailStatus;
    int pid = program.Start(c);
    if (pid < 0) std::cerr << kPrefix << "fork fail: " << std::strerror(errno) << std::endl;
    return pid;
}

Slot* T38SoftFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.is_t38soft()) return nullptr;
    const LGCP::T38Soft& t38 = params.get_t38soft();
    int timeslot = -1;
    int channel = OpenChannel(t38, timeslot);
    if (channel < 0) return nullptr;
    std::vector<std::string> argv = CommandLine(t38);
    std::clog << kPrefix << "args for run t38 daemon:" << std::endl;
    for (size_t i = 0; i < argv.size(); ++i) std::clog << kPrefix << "arg[" << i << "]=" << argv[i] << std::endl;
    ChildProgram program;
    int pid = StartProgram(argv, channel, program);
    // The channel stays open in the child alone.
    boardIo().close(channel);
    if (pid < 0) return nullptr;
    std::clog << kPrefix << "t38 daemon[" << pid << "] successfully started" << std::endl;
    return new T38SoftSlot(pid, timeslot, program);
}

void T38SoftFactory::Query(LGCP::Resources& resources) {
    resources.set_t38_instances(QueryNumOfInstances());
}

// The program's answer and its end are awaited kCountLimitMs at most; a
// program that does not end by then is killed and counts as none.
int T38SoftFactory::QueryNumOfInstances() {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        std::cerr << kPrefix << "pipe fail: " << std::strerror(errno) << std::endl;
        return 0;
    }
    ChildProgram program;
    ChildProgram::Command c;
    c.path = Fs::path(kProgram);
    c.argv = {kProgram, "--num-of-instances"};
    c.output = out[1];
    c.failStatus = kCountExecFailStatus;
    pid_t pid = program.Start(c);
    int err = errno;
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        std::cerr << kPrefix << "fork fail: " << std::strerror(err) << std::endl;
        return 0;
    }
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kCountLimitMs);
    std::string line;
    int status = 0;
    bool answered = ReadLine(out[0], deadline, line);
    ::close(out[0]);
    if (!answered || !WaitExit(pid, deadline, status)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        std::cerr << kPrefix << "t38 daemon did not end within " << kCountLimitMs << " ms, killed" << std::endl;
        if (!answered) return 0;
    }
    if (int e = program.ExecError()) {
        if (e == ENOENT || e == ENOTDIR)
            std::clog << "t38 daemon not found!" << std::endl;
        else
            std::cerr << kPrefix << "fail to exec t38 daemon: " << std::strerror(e) << std::endl;
        return 0;
    }
    if (line.empty()) {
        std::clog << "t38: can't detect T38 resources" << std::endl;
        return 0;
    }
    return int(std::strtol(line.c_str(), nullptr, 10));
}
