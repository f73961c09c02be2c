// A hostile controller against the signalling-link slots: PSTN (every
// mode), ISDN, ATS Q.SIG with B channels and HDLC packet slots created with
// arbitrary parameters beside trunk slots, connected, activated, fed user
// data, HDLC packages and ioctl requests, destroyed; meanwhile the board
// injects frames into their channels, fails and holds channels, the trunks
// change state and time passes. Every input ends with every slot destroyed,
// and then the packet pool and the process's sockets must be back
// where they were: nothing the slots took may stay behind.
//
// Input: steps, each an octet choosing the step, then its argument octets
// (0 past the end of the input).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "board/sim_board.h"
#include "board/sim_dsp_data.h"
#include "board/sim_mcc.h"
#include "board/sim_words.h"
#include "core/ctrl_server.h"
#include "core/heart_beat.h"
#include "core/slot_table.h"
#include "fuzz/link_fuzz.h"
#include "hardware/hw_mux.h"
#include "runtime/multiplexer.h"
#include "slots/hdlc_slot.h"
#include "slots/isdn_slot.h"
#include "slots/pstn_slot.h"
#include "slots/trunk_slot.h"

namespace {

SimBoard* board = nullptr;
const int kChannels = 16;  // the MCC pool, from 256

// The process's open sockets: every device of the simulated board is one
// (the fuzzer's own descriptors are files and pipes).
int openSockets() {
    DIR* dir = ::opendir("/proc/self/fd");
    int n = 0;
    while (dirent* e = ::readdir(dir)) {
        struct stat st;
        if (::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && S_ISSOCK(st.st_mode)) ++n;
    }
    ::closedir(dir);
    return n;
}

void passTime(unsigned ms) {
    for (unsigned t = 0; t < ms; t += 50) {
        LinkFuzz::now() += 50000;
        multiplexer.runOnce(0);
    }
    multiplexer.runOnce(0);
}

bool setUp() {
    LinkFuzz::setUp();
    static std::unique_ptr<SimBoard> sim = SimBoard::makeStandard();
    board = sim.get();
    setBoardIo(board);
    HwMux::instance();
    if (firstFactory != &trunk_bri7) std::abort();  // links the trunk factories in
    static PstnFactory pstn;
    static IsdnFactory isdn;
    static HdlcSlotFactory hdlc;
    ctrlServer.Bind(HeartBeatCtl::instance());
    ctrlServer.Bind(Slots::instance());
    // The loop makes what it keeps for itself on its first passes.
    passTime(100);
    return true;
}

using LinkFuzz::require;

std::string number(FuzzInput& in) {
    int16_t v = int16_t(in.byte() << 8 | in.byte());
    return std::to_string(v);
}

std::string boolean(FuzzInput& in) {
    return in.byte() & 1 ? "TRUE" : "FALSE";
}

std::string hexOf(const std::string& bytes) {
    return "'" + SimWords::hex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) + "'H";
}

std::string isdnParams(FuzzInput& in) {
    return std::string("{ type ") + (in.byte() & 1 ? "pri" : "bri") + ", trunk " + number(in) + ", log " +
           std::to_string(in.byte() % 5) + ", side " + (in.byte() & 1 ? "network" : "user") + " : NULL }";
}

std::string create(FuzzInput& in) {
    switch (in.byte() % 8) {
        case 0:
            return "pstn : ss7 : { trunk " + number(in) + ", slc " + number(in) + ", dpc " + number(in) + ", opc " +
                   number(in) + ", emergency " + boolean(in) + " }";
        case 1:
            return "pstn : isdn : " + isdnParams(in);
        case 2:
            return "pstn : cas : { trunk " + number(in) + " }";
        case 3:
            return "isdn : " + isdnParams(in);
        case 4:
            return std::string("ats-qsig : { side ") + (in.byte() & 1 ? "network" : "user") + " : NULL, log " +
                   std::to_string(in.byte() % 5) + " }";
        case 5:
            return "ats-qsig-b : { slot " + std::to_string(in.byte() % 16) + ", subslot " +
                   std::to_string(1 + in.byte() % 3) + " }";
        case 6:
            return "hdlcParams : { trunk " + number(in) + ", log " + number(in) + ", address " + number(in) + " }";
        default:
            return std::string(in.byte() & 1 ? "trunk_bri" : "trunk") + " : { trunk " + std::to_string(in.byte() % 8) +
                   ", timeslot " + std::to_string(in.byte() % 32) + " }";
    }
}

std::string ioctl(FuzzInput& in) {
    switch (in.byte() % 4) {
        case 0:
            return "ss7RqBSN : NULL";
        case 1: {
            std::string log = "ss7Log : { state " + boolean(in);
            for (const char* f : {"raw-receive", "raw-transmit", "mtp-transmit", "mtp-receive", "mtp-activate",
                                  "timers", "msu-processing"})
                log += std::string(", ") + f + " " + boolean(in);
            return log + " }";
        }
        case 2: {
            std::string list;
            for (unsigned n = in.byte() % 129; n > 0; --n)
                list += (list.empty() ? "" : ", ") + std::string("{ body ") + hexOf(in.bytes(in.byte() % 8)) + " }";
            return "hdlcPackages : { " + list + " }";
        }
        default:
            return "dtmf-enable : TRUE";
    }
}

// One controller request for a slot, through the control server.
void request(int slot, const std::string& command) {
    LGCP::Message m;
    if (!m.setFromValueNotation("{ seq 1, slot " + std::to_string(slot) + ", pdu command : " + command + " }"))
        std::abort();
    std::vector<char> payload;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    require(ASN1::encode(m, &env, std::back_inserter(payload)));
    ctrlServer.OnMessage(payload.data(), int(payload.size()));
}

void trunkState(FuzzInput& in) {
    static const char* const states[] = {"normal", "lossBF", "lossCarrier", "ais", "rai", "unknown", "disabled"};
    LGCP::Signal s;
    s.setFromValueNotation("trunkStatus : { trunk " + std::to_string(in.byte() % 4) + ", state " +
                           states[in.byte() % 7] +
                           ", slips 0, lossBF 0, lossCarrier 0, lossAIS 0, lossRAI 0, name \"\","
                           " clockMaster FALSE, type e1 }");
    Slots::instance()->OnSignal(s);
}

void boardStep(FuzzInput& in) {
    SimMcc& mcc = board->model<SimMcc>(SimMcc::kPath);
    int c = 256 + in.byte() % kChannels;
    switch (in.byte() % 5) {
        case 0: {
            std::string f = in.bytes(in.byte());
            mcc.receive(c, SimMcc::Frame(f.begin(), f.end()));
            break;
        }
        case 1:
            mcc.patch(c, 256 + in.byte() % kChannels);
            break;
        case 2:
            in.byte() & 1 ? mcc.hold(c) : mcc.release(c);
            break;
        case 3:
            in.byte() & 1 ? mcc.hangUp(c) : mcc.breakDown(c);
            break;
        default: {
            std::string f = in.bytes(in.byte());
            board->model<SimDspData>(SimDspData::kPath).receive(in.byte() % 4, SimDspData::Frame(f.begin(), f.end()));
        }
    }
}

void step(FuzzInput& in) {
    int slot = in.byte() % 16;
    switch (in.byte() % 10) {
        case 0:
            return request(slot, "create : " + create(in));
        case 1:
            return request(slot, "connect : " + std::to_string(in.byte() % 16));
        case 2:
            return request(slot, "disconnect : NULL");
        case 3:
            return request(slot, "ioctl : " + ioctl(in));
        case 4:
            return request(slot, "userData : " + hexOf(in.bytes(in.byte() << 4 | in.byte() % 16)));
        case 5:
            return request(slot, in.byte() & 1 ? "deactivate : NULL"
                                                : "activate : modem : { remoteAddr \"\", netmask \"\", gateway "
                                                  "\"\", dns \"\", mtu 0 }");
        case 6:
            return request(slot, "destroy : NULL");
        case 7:
            return boardStep(in);
        case 8:
            return trunkState(in);
        default:
            return passTime(in.byte() * 20u);
    }
}

// Destroys every slot, lets the loop settle and puts the board's channels
// back as they were.
void clear() {
    Slots& table = *Slots::instance();
    while (!table.Live().empty()) require(table.Destroy(table.Live().front()));
    for (SlotFactory* f = firstFactory; f; f = f->GetNext()) require(f->GetSlots().empty());
    HeartBeatCtl::instance()->OnDisconnect();
    SimMcc& mcc = board->model<SimMcc>(SimMcc::kPath);
    for (int c = 256; c < 256 + kChannels; ++c) {
        mcc.unpatch(c);
        mcc.release(c);
        mcc.clearSent(c);
    }
    passTime(200);
    board->collect();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = setUp();
    (void)ready;
    static const unsigned freeBlocks = Packet::free_blocks();
    static const int descriptors = openSockets();
    FuzzInput in(data, size);
    for (int steps = 0; !in.empty() && steps < 64; ++steps) step(in);
    clear();
    require(Packet::free_blocks() == freeBlocks);
    require(openSockets() == descriptors);
    return 0;
}
