#ifndef KORVAND_TESTS_CORE_SLOT_FIXTURE_H
#define KORVAND_TESTS_CORE_SLOT_FIXTURE_H

#include <stdexcept>
#include <string>

#include "board/sim_hal.h"
#include "board/sim_switch.h"
#include "core/slot_table.h"
#include "hardware/hw_mux.h"
#include "tests/core/ctrl_fixture.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/sim_scope.h"

using namespace LgcpTexts;

// The control server with the heartbeat, the slot table and a witness
// service bound, the time-slot switch on the simulated board, and a
// controller connected.
class SlotServer : public ControlServer {
protected:
    using Texts = std::vector<std::string>;

    void SetUp() override {
        HwMux::instance();
        ControlServer::SetUp();
    }
    void BindServices() override {
        bind(Slots::instance());
        bind(&witness);
    }

    // A command for `slot`; what the controller receives for it.
    Texts command(int slot, const std::string& cmd, const std::string& seq = "seq 1, ") {
        return exchange("{ " + seq + "slot " + std::to_string(slot) + ", pdu command : " + cmd + " }");
    }
    Texts link(int src, int dst) { return command(src, "connect : " + std::to_string(dst)); }
    // Advances the test clock; what the controller received meanwhile.
    Texts advance(unsigned ms) {
        size_t before = client.Received().size();
        advanceAndPump(clock, ms);
        return barrier(before);
    }
    Slot* at(int id) const { return Slots::instance()->Find(unsigned(id)); }
    // Slot `id` as the kind `T`. One that is missing (its creation failed)
    // ends the test with an exception GoogleTest reports, where a null
    // pointer would end the whole suite.
    template <class T>
    T& existing(int id) const {
        T* slot = dynamic_cast<T*>(at(id));
        if (!slot) throw std::runtime_error("no slot " + std::to_string(id) + " of the kind the test wants");
        return *slot;
    }
    // Waits until the messages from the `from`th on hold `wanted` in that
    // order, maybe among others: for signals that a child process or the
    // board sends at a time of its own, before or after an answer.
    bool arrived(size_t from, const Texts& wanted) {
        return pumpUntil([&] {
            size_t next = 0;
            for (size_t i = from; i < client.Received().size() && next < wanted.size(); ++i)
                if (client.Received()[i] == wanted[next]) ++next;
            return next == wanted.size();
        });
    }

    SimScope sim;
    SimHal& hal = sim.model<SimHal>(SimHal::kPath);
    SimSwitch& sw = hal.switchPart();
};

#endif
