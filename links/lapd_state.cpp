#include "links/lapd_state.h"

namespace ISDN {

std::ostream& operator<<(std::ostream& os, Side::type side) {
    return os << (side == Side::user ? "user" : "network");
}

const char* statetext(uint32_t state) {
    static const char* const kTexts[] = {"TEI unassigned",
                                         "Assign awaiting TEI",
                                         "Establish awaiting TEI",
                                         "TEI assigned",
                                         "Awaiting establishment",
                                         "Awaiting release",
                                         "Multiple frame established",
                                         "Timer recovery"};
    return state < sizeof kTexts / sizeof kTexts[0] ? kTexts[state] : "(unknown)";
}

namespace {

const char* running(bool on) {
    return on ? "running" : "stopped";
}

}  // namespace

void LAPDFullState::out(std::ostream& os) const {
    os << "   - state: " << statetext(state) << "\n";
    os << "   - self: TEI=" << self_tei << ", SAPI=" << self_sapi << ", busy=" << own_busy << "\n";
    os << "   - peer: TEI=" << peer_tei << ", SAPI=" << peer_sapi << ", busy=" << peer_busy << "\n";
    os << "   - counters: VS=" << unsigned(vs) << ", VA=" << unsigned(va) << ", VR=" << unsigned(vr)
       << ", RC=" << rc << "\n";
    os << "   - internal signals: AckRQ=" << ack_rq << ", RetrRQ=" << retr_rq
       << ", QueuedUp=" << queued_up_rq << "\n";
    os << "   - flags: L3Initiated=" << l3_initiated << ", Establishable=" << establishable
       << ", RejectException=" << reject_exception << "\n";
    os << "   - timers: T200 " << running(t200_running) << ", T202 " << running(t202_running)
       << ", T203 " << running(t203_running) << "\n";
}

}  // namespace ISDN
