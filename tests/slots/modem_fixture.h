#ifndef KORVAND_TESTS_SLOTS_MODEM_FIXTURE_H
#define KORVAND_TESTS_SLOTS_MODEM_FIXTURE_H

#include <string>
#include <vector>

#include "board/sim_modem.h"
#include "board/sim_net_if.h"
#include "slots/modem_factory.h"
#include "tests/core/slot_fixture.h"
#include "tests/support/standins.h"
#include "tests/support/temp_root.h"

// Modem slots in process on the simulated board, with the stand-in
// programs in a private root and the authentication listener on a port of
// the kernel's choice.
class ModemServer : public SlotServer {
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
        ASSERT_TRUE(pumpUntil([&] {
            for (size_t i = before; i < client.Received().size(); ++i)
                if (client.Received()[i] == ok(slot, 7)) return true;
            return false;
        }));
        pumpPasses(1);
    }
    // Waits for `n` more messages.
    Texts next(size_t n) {
        size_t before = client.Received().size();
        EXPECT_TRUE(client.WaitFor(before + n)) << "got " << client.Received().size() - before;
        return Texts(client.Received().begin() + long(before), client.Received().end());
    }
    static std::string abort(int slot, int code) {
        return slotMessage(-1, slot, "signal : abort : " + std::to_string(code));
    }
    static std::string counter(uint32_t low, uint32_t high = 0) {
        return "{ low " + std::to_string(int(low)) + ", high " + std::to_string(int(high)) + " }";
    }
    static std::string acct(int slot, const std::vector<uint32_t>& words) {
        return slotMessage(-1, slot, "signal : modemProceeding : acct : { octetsOut " + counter(words[1], words[0]) +
                                         ", octetsIn " + counter(words[3], words[2]) + ", packetsOut " +
                                         counter(words[5], words[4]) + ", packetsIn " + counter(words[7], words[6]) +
                                         ", time " + counter(words[8]) + " }");
    }
    // The run of `role`, which must come.
    std::string run(const std::string& role, int n = 1) {
        std::string r = standins.run(role, n);
        EXPECT_FALSE(r.empty()) << "no run " << n << " of " << role;
        return r;
    }
    bool logged(const std::string& text) const {
        return err.text().find(text) != std::string::npos || log.text().find(text) != std::string::npos;
    }

    TempRoot root;
    Standins standins{root};
    ChildScope children;
    ModemFactory factory{0};
    SimModem& modems = sim.model<SimModem>(SimModem::kPath);
    SimNetIf& net = sim.model<SimNetIf>(SimNetIf::kPath);
};

#endif
