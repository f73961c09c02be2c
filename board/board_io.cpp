#include "board/board_io.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include "board/kernel_io.h"
#include "board/sim_board.h"

namespace {

// Never destroyed: objects that go at exit close their descriptors
// through it.
KernelIo& kernelIo() {
    static KernelIo* io = new KernelIo;
    return *io;
}

BoardIo* current = nullptr;

}  // namespace

BoardIo& boardIo() { return current ? *current : kernelIo(); }

void setBoardIo(BoardIo* io) { current = io; }

namespace {
SimBoard* selected = nullptr;
}

bool simBoardInEnvironment() {
    const char* which = std::getenv("KORVAND_BOARD");
    return which && std::strcmp(which, "sim") == 0;
}

SimBoard* simBoardFromEnvironment() {
    if (!simBoardInEnvironment()) return nullptr;
    // Lives until process exit: descriptors the daemon still holds at exit
    // refer to it.
    static std::unique_ptr<SimBoard> sim = [] {
        std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
        board->endsLast();
        return board;
    }();
    return sim.get();
}

bool selectBoardFromEnvironment() {
    SimBoard* sim = simBoardFromEnvironment();
    if (!sim) return false;
    selected = sim;
    // Power-up state for a run: commands as the control socket takes them,
    // separated by ";", run before the daemon opens any device.
    if (const char* commands = std::getenv("KORVAND_SIM_COMMANDS"))
        sim->runCommands(commands, std::cerr);
    setBoardIo(selected);
    return true;
}

SimBoard* selectedSimBoard() { return selected; }
