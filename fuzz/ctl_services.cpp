// The board's control services under hostile input from both sides: control
// messages of any content (bus tests, trunk modes, clock configurations,
// CAS commands with any trunk, time slot and bits), CAS records of any
// length and content from the driver, framer states and line status bytes
// of any value, driver hang-ups, and controller connections and losses in
// between. Besides memory faults it checks that every signal the services
// raise can be encoded: a value that cannot would be lost every second.
// Every input starts on a fresh board with fresh services.

#include <poll.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "board/board_io.h"
#include "board/sim_board.h"
#include "board/sim_cas.h"
#include "board/sim_hal.h"
#include "board/sim_maintenance.h"
#include "board/sim_spi.h"
#include "core/ctrl_server.h"
#include "fuzz/fuzz_input.h"
#include "hardware/bus_ctl.h"
#include "hardware/e1_ctl.h"
#include "hardware/hw_mux.h"
#include "hardware/hw_tests.h"
#include "hardware/spi_ctrl.h"

namespace {

// Swallows the services' lines, but ends the run at the server's line for a
// message that did not encode.
class EncodeWatch : public std::streambuf {
    int overflow(int c) override {
        line += static_cast<char>(c);
        if (c == '\n') {
            if (line.find("encode error") != std::string::npos) std::abort();
            line.clear();
        }
        return c;
    }
    std::string line;
};

// The services' lines are swallowed once for the whole run.
bool silence() {
    static EncodeWatch watch;
    std::cerr.rdbuf(&watch);
    std::clog.rdbuf(nullptr);
    return true;
}

// A fresh board and fresh services for every input, bound to the control
// server in the daemon's order and unbound again, so an input replays
// alone and leaves nothing behind.
struct World {
    World() : board(SimBoard::makeStandard()) {
        setBoardIo(board.get());
        mux.reset(new HwMux);
        spi.reset(new spiCtrl);
        tests.reset(new HwTests(*mux));
        bus.reset(new BusCtl(spi.get()));
        e1.reset(new E1Ctl);
        for (CtrlSrv::Service* s : services()) ctrlServer.Bind(s);
    }
    ~World() {
        for (CtrlSrv::Service* s : services()) ctrlServer.Unbind(s);
        e1.reset();
        bus.reset();
        tests.reset();
        spi.reset();
        mux.reset();
        setBoardIo(nullptr);
    }
    std::vector<CtrlSrv::Service*> services() const { return {tests.get(), bus.get(), e1.get(), spi.get()}; }

    std::unique_ptr<SimBoard> board;
    SimCas& cas = board->model<SimCas>(SimCas::kPath);
    SimMaintenance& maintenance = board->model<SimMaintenance>(SimMaintenance::kPath);
    SimSpi& spiPart = *board->model<SimHal>(SimHal::kPath).family<SimSpi>();
    std::unique_ptr<HwMux> mux;
    std::unique_ptr<spiCtrl> spi;
    std::unique_ptr<HwTests> tests;
    std::unique_ptr<BusCtl> bus;
    std::unique_ptr<E1Ctl> e1;
};

int32_t word(FuzzInput& in) {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w = (w << 8) | in.byte();
    return static_cast<int32_t>(w);
}

void step(World& w, FuzzInput& in) {
    switch (in.byte() % 6) {
        case 0: {  // one control message
            std::string payload = in.bytes(in.byte());
            ctrlServer.OnMessage(payload.data(), static_cast<int>(payload.size()));
            break;
        }
        case 1: {  // a CAS record of any length
            std::string record = in.bytes(in.byte() % 17);
            w.cas.emitAll(record.data(), record.size());
            w.e1->OnUpdateCas(-1, POLLIN);
            break;
        }
        case 2: {  // a framer state
            unsigned trunk = in.byte() % E1::kTrunks;
            w.maintenance.framer(trunk).state = word(in);
            w.maintenance.framer(trunk).slips = static_cast<uint32_t>(word(in));
            w.e1->SendStatus();
            break;
        }
        case 3:  // a line status
            w.spiPart.setLine(in.byte() % Hal::kSpiChannels, in.byte());
            w.spi->status();
            break;
        case 4:  // the CAS driver hangs up; the next round opens it again
            w.cas.control({"hangup"});
            w.e1->OnUpdateCas(-1, POLLIN | POLLHUP);
            w.e1->CheckOpenCas();
            break;
        default:
            if (in.byte() & 1)
                ctrlServer.OnConnect();
            else
                ctrlServer.OnDisconnect();
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool silent = silence();
    (void)silent;
    World world;
    FuzzInput in(data, size);
    while (!in.empty()) step(world, in);
    return 0;
}
