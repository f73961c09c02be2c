// Acknowledged information transfer of the LAPD link: the queues, I frames
// within the window, acknowledgement, REJ recovery, RR/RNR/REJ, timer
// recovery, flow control, the counters and the link-info record.

#include <iostream>

#include "links/lapd.h"

namespace ISDN {

// ---- DL-DATA ----------------------------------------------------------------------

bool LAPD::message(Packet& p) {
    ++stats.tx_count;
    if (p.length() == 0) {
        ++stats.empty_messages;
        return false;
    }
    bool taken = out_queue.count() <= kOutLimit;
    if (!taken) {
        line() << "discard outgoing message: buffer overflow" << std::endl;
        ++stats.out_overflows;
    } else {
        if (log > 2 && out_queue.count() > kWindow)
            line() << "outgoing queue size = " << out_queue.count()
                   << " tx counter = " << stats.tx_count << std::endl;
        if (log > 2) line() << "add to tx queue: " << p.text() << std::endl;
        out_queue.put(p);
        queued_up_rq = true;
    }
    // Without a TEI the message waits for one: ask for it, as an
    // establishment request would.
    if (state == TeiUnassigned) {
        change_state(AssignAwaitingTei);
        BeginTeiAssignProcedure();
    }
    if (out_queue.count() > kCongestedAbove) change_flowstatus(FlowStatus::congested);
    local_events();
    return taken;
}

void LAPD::change_flowstatus(FlowStatus::Type status) {
    if (status == flow_status) return;
    flow_status = status;
    if (notify) notify->OnLAPD_FlowStatusChange(this);
}

// ---- after every event --------------------------------------------------------------

void LAPD::local_events() {
    ack_queue_refreash();
    queued_up();
    ack_pending();
    if (out_queue.count() <= kNormalAtOrBelow) change_flowstatus(FlowStatus::normal);
}

void LAPD::ack_queue_refreash() {
    unsigned outstanding = unsigned(vs - va);
    unsigned acknowledged = 0;
    for (; ack_queue.count() > outstanding; ++acknowledged) ack_queue.get(nullptr);
    if (acknowledged && log > 2)
        line() << "acknowledge " << acknowledged << " frames"
               << " VS=" << unsigned(vs) << " VA=" << unsigned(va) << std::endl;
    if (log > 2 && out_queue.empty()) line() << "outgoing queue empty." << std::endl;
    if (!retr_rq) return;
    if (log && !ack_queue.empty())
        line() << "retransmission "
               << " VS=" << unsigned(vs) << " VA=" << unsigned(va) << std::endl;
    vs = va;
    // Newest first in front of the oldest: they keep their order at the head.
    for (Packet m; ack_queue.get_last(&m);) {
        ++stats.retrains;
        if (!out_queue.append(m)) ++stats.out_overflows;
    }
    retr_rq = false;
}

void LAPD::queued_up() {
    while (queued_up_rq) {
        queued_up_rq = false;
        switch (state) {
            case MultipleFrameEstablished:
                if (!send_next_iframe()) return;
                break;
            case TimerRecovery:
                queued_up_rq = true;  // no new I frames while the peer is polled
                return;
            case AwaitingEstablishment:
                if (!l3_initiated) queued_up_rq = true;  // sent once the link is re-established
                return;
            default:
                return;
        }
    }
}

// Sends the oldest queued message; true when another one should follow.
bool LAPD::send_next_iframe() {
    if (peer_busy || vs == va + kWindow) {
        queued_up_rq = true;
        return false;
    }
    Packet m;
    if (!out_queue.preview(&m)) return false;
    if (!tx_iframe(m, false)) {
        queued_up_rq = true;  // the channel refused: again when it is ready
        return false;
    }
    out_queue.get(nullptr);
    if (!ack_queue.put(m)) {
        line() << "ack queue overflow!" << std::endl;
        ++stats.ack_overflows;
    }
    ++vs;
    ack_rq = false;  // the I frame carries the acknowledgement
    if (!t200_running) {
        stop(T203);
        start(T200);
    }
    queued_up_rq = !out_queue.empty();
    return queued_up_rq;
}

void LAPD::ack_pending() {
    if (ack_rq && isEstablished(state) && tx_cmd_resp(Q921::kRR, false, false)) ack_rq = false;
}

// The header goes on a private copy: the queued message stays without it.
bool LAPD::tx_iframe(const Packet& info, bool p) {
    Packet frame = info;
    if (!frame.make_head_room(4)) return false;
    frame.push(uint8_t(unsigned(vr) << 1 | (p ? 1 : 0)));
    frame.push(uint8_t(unsigned(vs) << 1));
    frame.push(Q921::address2(self_tei));
    frame.push(Q921::address1(self_sapi, side == Side::network));
    return xmit(frame);
}

void LAPD::tx_enquiry() {
    if (log > 3) line() << "tx_enquiry, ownBusy=" << own_busy << std::endl;
    tx_cmd_resp(own_busy ? Q921::kRNR : Q921::kRR, true, true);
    ack_rq = false;
    start(T200);
}

void LAPD::tx_enquiry_response() {
    if (log > 3) line() << "tx_enquiry_response" << std::endl;
    tx_cmd_resp(own_busy ? Q921::kRNR : Q921::kRR, true, false);
    ack_rq = false;
}

// ---- N(R) -------------------------------------------------------------------------------

bool LAPD::nr_valid(Sequence nr) const {
    return (va <= nr) <= vs;
}

void LAPD::nr_recovery() {
    ++stats.bad_nr;
    on_error(ErrorJ);
    reestablish();
}

void LAPD::retransmission(Sequence nr) {
    va = nr;
    retr_rq = true;
    queued_up_rq = true;
}

// ---- I frames ------------------------------------------------------------------------------

void LAPD::on_ICOM(Packet& info, bool p, Sequence ns, Sequence nr) {
    if (log > 3)
        line() << "I-Command"
               << " pf=" << p << std::endl;
    if (!isEstablished(state)) return;
    bool accepted = false;
    if (own_busy) {
        if (p) {
            tx_cmd_resp(Q921::kRNR, true, false);
            ack_rq = false;
        }
    } else if (ns != vr) {
        ++stats.rejected;
        if (!reject_exception) {
            reject_exception = true;
            tx_cmd_resp(Q921::kREJ, p, false);
            ack_rq = false;
        } else if (p) {
            tx_cmd_resp(Q921::kRR, true, false);
            ack_rq = false;
        }
    } else {
        ++vr;
        reject_exception = false;
        ++stats.rx_count;
        if (p) {
            ack_rq = false;
            tx_cmd_resp(Q921::kRR, true, false);
        } else {
            ack_rq = true;  // answered by the next I frame, or by an RR after this event
        }
        accepted = true;
    }
    if (nr_valid(nr)) {
        if (state == MultipleFrameEstablished && !peer_busy) {
            if (nr == vs) {
                stop(T200);
                start(T203);
            } else if (nr != va) {
                start(T200);
            }
        }
        va = nr;
    } else {
        nr_recovery();
    }
    // Up last: whatever layer 3 does from inside the call finds the
    // acknowledgement already taken in.
    if (accepted) on_message(info);
}

// ---- supervisory frames -----------------------------------------------------------------------

void LAPD::on_S(uint8_t type, bool pf, bool command, Sequence nr) {
    switch (type) {
        case Q921::kRR:
            return on_RR(pf, command, nr);
        case Q921::kRNR:
            return on_RNR(pf, command, nr);
        case Q921::kREJ:
            return on_REJ(pf, command, nr);
        default:
            return;  // type 3 is not defined by Q.921
    }
}

void LAPD::on_RR(bool pf, bool command, Sequence nr) {
    logFrame("RR ", command, pf);
    if (state == TimerRecovery) return supervisory_in_recovery(Q921::kRR, pf, command, nr);
    if (state != MultipleFrameEstablished) return;
    peer_busy = false;
    if (pf && command) tx_enquiry_response();
    if (pf && !command && log > 3)
        line() << "receive RR (solicited response) in MFE_EST" << std::endl;
    if (!nr_valid(nr)) return nr_recovery();
    if (nr == vs) {
        va = nr;
        stop(T200);
        start(T203);
    } else if (nr != va) {
        va = nr;
        start(T200);
    }
}

// A REJ or RNR with P/F set: a poll to answer, or an unsolicited final
// response (MDL error A).
void LAPD::answer_poll(bool pf, bool command) {
    if (pf && command) tx_enquiry_response();
    if (pf && !command) on_error(ErrorA);
}

void LAPD::on_REJ(bool pf, bool command, Sequence nr) {
    logFrame("REJ ", command, pf);
    if (state == TimerRecovery) return supervisory_in_recovery(Q921::kREJ, pf, command, nr);
    if (state != MultipleFrameEstablished) return;
    peer_busy = false;
    answer_poll(pf, command);
    if (!nr_valid(nr)) return nr_recovery();
    stop(T200);
    start(T203);
    retransmission(nr);
}

void LAPD::on_RNR(bool pf, bool command, Sequence nr) {
    logFrame("RNR ", command, pf);
    if (state == TimerRecovery) return supervisory_in_recovery(Q921::kRNR, pf, command, nr);
    if (state != MultipleFrameEstablished) return;
    peer_busy = true;
    answer_poll(pf, command);
    if (!nr_valid(nr)) return nr_recovery();
    va = nr;
    stop(T203);
    start(T200);
}

// RR, REJ and RNR in timer recovery: the answer to our poll (a response with
// F = 1) ends the recovery and resends what is unacknowledged; anything
// else only takes the acknowledgement in.
void LAPD::supervisory_in_recovery(uint8_t type, bool pf, bool command, Sequence nr) {
    peer_busy = type == Q921::kRNR;
    if (!command && pf) {
        if (!nr_valid(nr)) return nr_recovery();
        if (type == Q921::kRNR) {
            start(T200);
        } else {
            stop(T200);
            start(T203);
        }
        retransmission(nr);
        return change_state(MultipleFrameEstablished);
    }
    if (command && pf) tx_enquiry_response();
    if (nr_valid(nr)) {
        va = nr;
        return;
    }
    if (type == Q921::kRR && log > 3) line() << "receive RR with out of order N(R)" << std::endl;
    nr_recovery();
}

// ---- T200 on an established link ------------------------------------------------------------

void LAPD::t200_established() {
    rc = 0;
    tx_enquiry();
    rc = 1;
    if (log > 1) line() << "ack expired" << std::endl;
    change_state(TimerRecovery);
}

void LAPD::t200_timer_recovery() {
    if (rc == kN200) {
        if (log > 1) line() << "ack error !!!" << std::endl;
        on_error(ErrorI);
        return reestablish();
    }
    if (log > 1) line() << "ack timeout expired RC=" << rc << std::endl;
    tx_enquiry();
    ++rc;
}

// ---- counters and link info -------------------------------------------------------------------

void LAPD::Stats::out(std::ostream& os) const {
    os << "\n   - timers expire count: T200: " << t200_expired << ", T202: " << t202_expired
       << ", T203: " << t203_expired << "\n   - errors: " << errors << ", retrains: " << retrains
       << "\n   - queue overflows: out: " << out_overflows << ", ack: " << ack_overflows;
}

bool LAPD::GetInfo(ACP::IsdnLinkInfo& info) const {
    info.set_side(side == Side::network ? ACP::IsdnSide::network : ACP::IsdnSide::user);
    info.set_msuTxCount(int(stats.tx_count));
    info.set_msuRxCount(int(stats.rx_count));
    info.set_mT200(int(stats.t200_expired));
    info.set_mT203(int(stats.t203_expired));
    info.set_errors(int(stats.errors));
    info.set_retrains(int(stats.retrains));
    info.set_rejected(int(stats.rejected));
    info.set_badconfirm(int(stats.bad_nr));
    info.set_outOverflows(int(stats.out_overflows));
    info.set_ackOverflows(int(stats.ack_overflows));
    info.set_lapdState(ACP::LAPDState::NamedNumber(state));
    info.set_rc(int(rc));
    info.set_peerBusy(peer_busy);
    info.set_ownBusy(own_busy);
    info.set_rejException(reject_exception);
    info.set_ackPending(false);
    info.set_l3Initiated(l3_initiated);
    info.set_establishable(establishable);
    info.set_queuedUpRQ(queued_up_rq);
    info.set_retrRQ(retr_rq);
    info.set_ackRQ(ack_rq);
    info.set_t200run(t200_running);
    info.set_t203run(t203_running);
    info.set_vs(int(unsigned(vs)));
    info.set_va(int(unsigned(va)));
    info.set_vr(int(unsigned(vr)));
    info.set_queueOut(int(out_queue.count()));
    info.set_queueAck(int(ack_queue.count()));
    if (info.compare(last_info) == 0) return false;
    last_info = info;
    return true;
}

}  // namespace ISDN
