#ifndef KORVAND_TESTS_SLOTS_PROGRAM_SLOTS_H
#define KORVAND_TESTS_SLOTS_PROGRAM_SLOTS_H

#include <string>
#include <vector>

#include "board/sim_modem.h"
#include "board/sim_net_if.h"
#include "slots/modem_factory.h"
#include "tests/slots/slot_kinds.h"
#include "tests/support/reserved_port.h"
#include "tests/support/standins.h"
#include "tests/support/temp_root.h"

// Slots that start programs, in process: the stand-in programs are in a
// private root, and the children left at the end are killed.
class ProgramSlots : public SlotKinds {
protected:
    // The run of `role`, which must come.
    std::string run(const std::string& role, int n = 1) {
        std::string r = standins.run(role, n);
        EXPECT_FALSE(r.empty()) << "no run " << n << " of " << role;
        return r;
    }

    TempRoot root;
    Standins standins{root};
    ChildScope children;
};

// Modem slots on the simulated board, with the authentication listener on
// a port of the test's own.
class ModemServer : public ProgramSlots {
protected:
    Texts create(int slot, const std::string& params) { return command(slot, "create : modem : " + params); }
    // Connects the slot to a trunk time slot of its own: the modem starts.
    Texts start(int slot) {
        command(100 + slot, "create : trunk : { trunk 0, timeslot " + std::to_string(slot) + " }");
        return link(slot, 100 + slot);
    }
    // Sends a destroy and waits for its answer, however late, and for the
    // slot's deletion on the pass after it.
    void destroy(int slot) {
        size_t before = client.Received().size();
        std::string error;
        ASSERT_TRUE(client.Send("{ seq 7, slot " + std::to_string(slot) + ", pdu command : destroy : NULL }", error));
        ASSERT_TRUE(arrived(before, {ok(slot, 7)}));
        pumpPasses(1);
    }
    static std::string counter(uint32_t low, uint32_t high = 0) {
        return "{ low " + std::to_string(int(low)) + ", high " + std::to_string(int(high)) + " }";
    }
    static std::string acct(int slot, const std::vector<uint32_t>& words) {
        return signal(slot, "modemProceeding : acct : { octetsOut " + counter(words[1], words[0]) + ", octetsIn " +
                                counter(words[3], words[2]) + ", packetsOut " + counter(words[5], words[4]) +
                                ", packetsIn " + counter(words[7], words[6]) + ", time " + counter(words[8]) + " }");
    }

    ReservedPort authPort;
    ModemFactory factory{uint16_t(authPort.number())};
    SimModem& modems = sim.model<SimModem>(SimModem::kPath);
    SimNetIf& net = sim.model<SimNetIf>(SimNetIf::kPath);
};

#endif
