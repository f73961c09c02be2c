// korvand: the gateway control daemon.

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>

#include "board/board_io.h"
#include "board/fs_root.h"
#include "board/sim_board.h"
#include "core/ctrl_server.h"
#include "core/heart_beat.h"
#include "core/slot_table.h"
#include "hardware/hw_mux.h"
#include "protocol/acceptor.h"
#include "runtime/event.h"
#include "runtime/ipc_signal.h"
#include "runtime/multiplexer.h"
#include "runtime/pid_file.h"
#include "runtime/version.h"

namespace {

// The stop handler also writes one byte to this pipe, so a signal that
// arrives just before the loop goes into poll still wakes it at once.
int wakeup[2] = {-1, -1};

void SigTermHandler(int) {
    multiplexer.terminate();
    int saved = errno;
    if (wakeup[1] >= 0 && ::write(wakeup[1], "", 1) < 0) {
        // The pipe is full: the loop is awake already.
    }
    errno = saved;
}

void SigPipeHandler(int) {}

class Wakeup {
public:
    Wakeup() {
        if (::pipe2(wakeup, O_CLOEXEC | O_NONBLOCK) != 0) return;
        event.Bind("main::wakeup", &Wakeup::OnWakeup, this);
        event.Schedule(wakeup[0], POLLIN);
    }
    void OnWakeup(int fd, short revents) {
        char buf[64];
        if (revents & POLLIN)
            while (::read(fd, buf, sizeof buf) > 0) {
            }
    }

private:
    Event event;
};

// On the simulated board, tests drive the device models of the running
// daemon through the board's control socket.
class SimBoardControl {
public:
    explicit SimBoardControl(SimBoard* board) : board(board) {
        if (!board) return;
        int fd = board->openControl(Fs::path(kSimControlPath));
        if (fd < 0) return;
        event.Bind("SimBoard::control", &SimBoardControl::OnCommand, this);
        event.Schedule(fd, POLLIN);
    }
    void OnCommand(int, short revents) {
        if (revents & POLLIN) board->serveControl();
    }

private:
    SimBoard* board;
    Event event;
};

}  // namespace

int main(int argc, char** argv) {
    IPC::Signal::handle(SIGPIPE, SigPipeHandler, SA_RESTART);
    IPC::Signal::handle(SIGTERM, SigTermHandler, 0);
    IPC::Signal::handle(SIGINT, SigTermHandler, 0);

    static const option long_options[] = {{"port", required_argument, nullptr, 'p'},
                                          {nullptr, 0, nullptr, 0}};
    long port = 20001;
    int c;
    while ((c = getopt_long(argc, argv, "", long_options, nullptr)) != -1) {
        if (c == 'p') port = std::strtol(optarg, nullptr, 10);
        if (c == '?') return 2;
    }

    selectBoardFromEnvironment();
    SimBoardControl simControl(selectedSimBoard());
    Wakeup wake;
    // The switch opens and disables every output before a controller can
    // connect. The trunk slot factories are static objects built before main.
    HwMux::instance();
    std::unique_ptr<Linux::Run> pid(new Linux::Run("server"));
    std::cout << "Starting server [" << Version::current << "], port=" << port << std::endl;
    ctrlServer.Bind(HeartBeatCtl::instance());
    ctrlServer.Bind(Slots::instance());
    ctrlServer.Activate(new Control::AcceptorNetCheckConnection(int(port)));
    multiplexer.run(true, true);
    ctrlServer.Deactivate();
    pid.reset();
    return 0;
}
