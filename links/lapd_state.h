#ifndef KORVAND_LINKS_LAPD_STATE_H
#define KORVAND_LINKS_LAPD_STATE_H

#include <cstdint>
#include <ostream>

#include "protocol/cyclic.h"

namespace ISDN {

struct Side {
    enum type { user = 0, network = 1 };
};

// "user" or "network".
std::ostream& operator<<(std::ostream& os, Side::type side);

// The states of a LAPD link, in the order of ACP::LAPDState.
enum LapdState : uint32_t {
    TeiUnassigned = 0,
    AssignAwaitingTei = 1,
    EstablishAwaitingTei = 2,
    TeiAssigned = 3,
    AwaitingEstablishment = 4,
    AwaitingRelease = 5,
    MultipleFrameEstablished = 6,
    TimerRecovery = 7,
};

inline bool isEstablished(uint32_t state) {
    return state == MultipleFrameEstablished || state == TimerRecovery;
}

// "TEI unassigned" ... "Timer recovery"; "(unknown)" for any other value.
const char* statetext(uint32_t state);

using Sequence = Cyclic<unsigned int, 127u>;

// The complete protocol state of a LAPD link; the status objects carry a
// copy of it.
struct LAPDFullState {
    uint32_t state = TeiAssigned;
    uint32_t self_tei = 0;
    uint32_t self_sapi = 0;
    uint32_t peer_tei = 0;  // of the last frame received
    uint32_t peer_sapi = 0;
    uint32_t rc = 0;  // retransmissions of T200 and T202
    bool peer_busy = false;
    bool own_busy = false;  // never set here; RNR would be sent in place of RR
    bool reject_exception = false;
    bool l3_initiated = false;
    bool establishable = true;
    bool queued_up_rq = false;  // the outgoing queue must be served
    bool retr_rq = false;       // the acknowledgement queue goes back for retransmission
    bool ack_rq = false;        // an acknowledgement is owed to the peer
    bool t200_running = false;  // which logical timer the shared timer stands for
    bool t202_running = false;
    bool t203_running = false;
    Sequence vs, va, vr;

    // The state lines, each begun with "   - " and ended by a new line.
    void out(std::ostream& os) const;
};

}  // namespace ISDN

#endif
