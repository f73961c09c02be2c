// The slot table under arbitrary controller messages: trunk, map, mixer,
// extension, echo and MCC slots created, replaced, linked, unlinked, driven
// by ioctls and destroyed through the control server, with
// switch requests failing where the input says so. After every input the
// table, the links and the switch must agree: each stored slot sits at its
// id, links are symmetric, every logical link is carried by the switch, and
// the map factory's table holds exactly the live map slots' channels, no
// two trunk slots share a switch channel and no two mixer slots a mixer
// channel. Every input starts from an empty
// table and leaves one, so a finding replays alone.
//
// Input: records of [faults][length][payload]; faults bit 0 fails the next
// switch connect, bit 1 the next idle-byte write (a disconnect).

#include <errno.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <set>
#include <streambuf>
#include <utility>

#include "board/hal_driver.h"
#include "board/sim_board.h"
#include "board/sim_hal.h"
#include "board/sim_switch.h"
#include "core/ctrl_server.h"
#include "core/heart_beat.h"
#include "core/slot_table.h"
#include "fuzz/fuzz_input.h"
#include "hardware/hw_mux.h"
#include "slots/echo_slot.h"
#include "slots/ext_slot.h"
#include "slots/map_slot.h"
#include "slots/mcc_slot.h"
#include "slots/mixer_slot.h"
#include "slots/trunk_slot.h"

namespace {

struct Silent : std::streambuf {
    int overflow(int c) override { return c; }
};

SimBoard* board = nullptr;
SimHal* hal = nullptr;
MapFactory* maps = nullptr;

bool setUp() {
    static Silent silent;
    std::cerr.rdbuf(&silent);
    std::clog.rdbuf(&silent);
    static std::unique_ptr<SimBoard> standard = SimBoard::makeStandard();
    board = standard.get();
    setBoardIo(board);
    hal = &board->model<SimHal>(SimHal::kPath);
    HwMux::instance();
    // Naming a trunk factory also links them all in.
    if (firstFactory != &trunk_bri7) std::abort();
    static MapFactory map;
    static Mixer::MixerFactory mixer;
    static ExtFactory ext;
    static MccFactory mcc;
    static EchoFactory echo;
    maps = &map;
    // The mixers are known from the first resource query on.
    LGCP::Resources resources;
    mixer.Query(resources);
    ctrlServer.Bind(HeartBeatCtl::instance());
    ctrlServer.Bind(Slots::instance());
    return true;
}

void require(bool holds) {
    if (!holds) std::abort();
}

bool holds(const std::vector<Slot*>& list, Slot* slot) {
    return std::find(list.begin(), list.end(), slot) != list.end();
}

// A mixer channel's sum and switch output are one slot's.
void checkMixerChannel(Slot* slot, std::set<std::pair<int, int>>& mixerChannels) {
    if (auto* m = dynamic_cast<Mixer::MixerChannelSlot*>(slot))
        require(mixerChannels.insert({m->GetUnit(), m->GetChannel()}).second);
}

void checkSlot(Slot* slot, std::set<int>& trunkChannels) {
    Slots& table = *Slots::instance();
    require(slot->GetId() >= 0 && table.Find(unsigned(slot->GetId())) == slot);
    require(!slot->IsDestroying());
    require(holds(slot->GetSlotFactory()->GetSlots(), slot));
    for (Slot* receiver : slot->GetReceivers()) require(receiver->GetSource() == slot);
    if (Slot* source = slot->GetSource()) {
        require(holds(table.Live(), source) && holds(source->GetReceivers(), slot));
        require(hal->switchPart().sourceOf(slot->IGetReceiveChannel()) == source->IGetTransmitChannel());
    }
    if (dynamic_cast<TrunkSlot*>(slot)) require(trunkChannels.insert(slot->IGetTransmitChannel()).second);
}

// Destroys what the input left (every slot kind here finishes at once),
// forgets the controller's time-out and what the board kept of the input:
// its logs and the opens the slots closed.
void clear() {
    Slots& table = *Slots::instance();
    while (!table.Live().empty()) require(table.Destroy(table.Live().front()));
    for (SlotFactory* f = firstFactory; f; f = f->GetNext()) require(f->GetSlots().empty());
    HeartBeatCtl::instance()->OnDisconnect();
    board->clearLogs();
    board->collect();
}

// Each bus channel of the map table is held by the live map slot that
// names it, and by no other.
void checkMapTable() {
    size_t held = 0;
    for (unsigned i = 0; i < MapFactory::kChannels; ++i) {
        MapSlot* slot = maps->Holder(i);
        if (!slot) continue;
        ++held;
        require(holds(Slots::instance()->Live(), slot));
        int channel = Hal::kBusFirst + int(i);
        require(slot->IGetReceiveChannel() == channel || slot->IGetTransmitChannel() == channel);
    }
    size_t named = 0;
    for (Slot* slot : maps->GetSlots()) {
        int rx = slot->IGetReceiveChannel(), tx = slot->IGetTransmitChannel();
        named += (rx >= 0) + (tx >= 0 && tx != rx);
    }
    require(held == named);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = setUp();
    (void)ready;
    FuzzInput in(data, size);
    while (!in.empty()) {
        uint8_t faults = in.byte();
        hal->failRequest(Hal::kMuxConnect, (faults & 1) ? EIO : 0, 1);
        hal->failRequest(Hal::kMuxWrite, (faults & 2) ? EIO : 0, 1);
        // A buffer of exactly the payload's size, so reads beyond it are caught.
        std::string text = in.bytes(in.byte());
        std::vector<char> payload(text.begin(), text.end());
        ctrlServer.OnMessage(payload.data(), int(payload.size()));
    }
    hal->failRequest(Hal::kMuxConnect, 0);
    hal->failRequest(Hal::kMuxWrite, 0);
    std::set<int> trunkChannels;
    std::set<std::pair<int, int>> mixerChannels;
    for (Slot* slot : Slots::instance()->Live()) {
        checkSlot(slot, trunkChannels);
        checkMixerChannel(slot, mixerChannels);
    }
    checkMapTable();
    clear();
    return 0;
}
