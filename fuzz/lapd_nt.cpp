// Arbitrary frames into the network side of a BRI D channel, mixed with
// layer-3 messages, timer expiries, (de)activation and log levels (frames
// traced through the Q.931 printer). Every frame sent must have a valid
// address; each terminal context must keep at most seven I frames
// outstanding, hold exactly those in its queue, and have a TEI no other
// assigned context has; every packet must come back to the pool.
//
// Input: operations, each an octet whose low three bits choose it,
// followed for frames and messages by a length octet and the octets.

#include <set>

#include "fuzz/fuzz_input.h"
#include "fuzz/link_fuzz.h"
#include "links/lapd_nt.h"

namespace {

using ISDN::LAPD_NT;
using ISDN::LAPD_NT_user;
using LinkFuzz::require;

// The layer's family; checks every frame that goes down.
struct Bus : ProtocolsFamily {
    Bus() { add_protocol_tail(nt); }
    bool transmit(Packet& p) override {
        require(p.length() >= 3 && (p[0] & 1) == 0 && (p[1] & 1) == 1);
        return true;
    }
    LAPD_NT* nt = new LAPD_NT;
};

void check(LAPD_NT& nt) {
    std::set<unsigned> teis;
    for (const LAPD_NT_user& u : nt.users) {
        unsigned outstanding = ISDN::Sequence(u.vs - u.va);
        require(outstanding <= LAPD_NT_user::kWindow && u.sent_queue.count() == outstanding);
        require(u.out_queue.count() <= LAPD_NT_user::kQueueLimit);
        if (u.link_state != LAPD_NT_user::unassigned) require(teis.insert(u.tei).second);
    }
}

void run(FuzzInput& in) {
    Bus bus;
    LAPD_NT& nt = *bus.nt;
    while (!in.empty()) {
        uint8_t op = in.byte();
        switch (op & 7) {
            case 0:
            case 1: {
                Packet p = LinkFuzz::packet(in, 0);
                if (p) nt.receive(p);
                break;
            }
            case 2: {
                Packet p = LinkFuzz::packet(in, op & 8 ? 0 : 4);
                if (p) nt.message(p);
                break;
            }
            case 3:
                LinkFuzz::now() += uint64_t(op >> 3) * 500000;  // up to 15.5 s
                multiplexer.runOnce(0);
                break;
            case 4: nt.local_activate(); break;
            case 5: nt.local_deactivate(); break;
            case 6: nt.set_log(op >> 3 & 3); break;
            case 7: break;
        }
        check(nt);
    }
    nt.local_deactivate();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LinkFuzz::setUp();
    FuzzInput in(data, size);
    run(in);
    LinkFuzz::requireReleased();
    return 0;
}
