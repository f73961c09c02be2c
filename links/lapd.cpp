#include "links/lapd.h"

#include <cstdlib>
#include <iostream>

#include "links/dlogframe.h"

namespace ISDN {

namespace {

const Protocol_name_str kName("ISDN::LAPD");

}  // namespace

struct LAPD::TimerSpec {
    const char* name;
    unsigned period;
    bool LAPDFullState::*running;
    uint32_t Stats::*expiries;
    void (LAPD::*fire)();
    void (LAPD::*handler)();
};

const LAPD::TimerSpec LAPD::kTimers[3] = {
    {"T200", kT200, &LAPDFullState::t200_running, &Stats::t200_expired, &LAPD::on_T200,
     &LAPD::on_T200A},
    {"T202", kT202, &LAPDFullState::t202_running, &Stats::t202_expired, &LAPD::on_T202,
     &LAPD::on_T202A},
    {"T203", kT203, &LAPDFullState::t203_running, &Stats::t203_expired, &LAPD::on_T203,
     &LAPD::on_T203A},
};

LAPD::LAPD(Side::type side, uint32_t log) : side(side), log(log) {}

LAPD::~LAPD() = default;

const Protocol_name& LAPD::name() const {
    return kName;
}

bool LAPD::local_prepare_head(Packet& p) {
    return p.reserve_head(4);
}

bool LAPD::local_prepare_tail(Packet& p) {
    return p.reserve_tail(0);
}

void LAPD::PutHeader(std::ostream& os) const {
    os << "LAPD[" << trunk << "] (" << statetext(state) << "): ";
}

std::ostream& LAPD::line() const {
    PutHeader(std::clog);
    return std::clog;
}

// ---- status -------------------------------------------------------------------

const char* LAPD::errorText(uint32_t code) {
    switch (code) {
        case ErrorA:
            return "Supervisory (F = 1)";
        case ErrorB:
            return "DM (F = 1)";
        case ErrorC:
            return "UA (F = 1)";
        case ErrorD:
            return "UA (F = 0)";
        case ErrorE:
            return "Receipt of DM response (F = 0)";
        case ErrorF:
            return "Peer initiated re-establishment - SABME";
        case ErrorG:
            return "Unsuccessful retransmission (N200 times) - SABME";
        case ErrorH:
            return "Unsuccessful retransmission (N200 times) - DISC";
        case ErrorI:
            return "Unsuccessful retransmission (N200 times) - Status enquiry";
        case ErrorJ:
            return "Other - N(R) error";
        case ErrorK:
            return "Other - Receipt of FRMR response";
        case 2048:
            return "Other - Receipt of undefined frame";
        case 4096:
            return "Other - Receipt of I field not permitted";
        case 8192:
            return "Other - Receipt of frame with wrong size";
        case 16384:
            return "Other - N201 error";
        case TeiDenied:
            return "Tei Assign - Tei denied";
        default:
            return "Other - Unknown";
    }
}

void LAPD::Status::out(std::ostream& os) const {
    os << message() << "\n";
    state.out(os);
}

Protocol_status_ptr LAPD::status() {
    return Protocol_status_ptr(new Status(this, "current status", *this));
}

void LAPD::show_stat() {
    std::cout << " - current state: \n";
    LAPDFullState::out(std::cout);
    std::cout << " - statistics: ";
    stats.out(std::cout);
    std::cout << std::endl;
}

void LAPD::on_error(uint32_t code) {
    report(errorText(code));
}

void LAPD::report(const std::string& text) {
    on_status(Protocol_status_ptr(new Status(this, text, *this)));
}

void LAPD::deactivated(const std::string& text, bool success) {
    on_deactivate(success ? make_success(this, text)
                          : Protocol_status_ptr(new Status(this, text, *this)));
}

// ---- receiving ----------------------------------------------------------------

void LAPD::on_hdlc_receive(Packet& frame) {
    receive(frame);
}

void LAPD::on_hdlc_error(HDLC::Notify::Cause::Type) {}

void LAPD::on_hdlc_ready() {
    local_events();
}

void LAPD::receive(Packet& p) {
    unsigned len = p.length();
    if (len < 2) return;
    if (log > 2) trace("rx:", p, side == Side::user ? 1 : 0);
    Q921::Frame f;
    Q921::Parse parsed = Q921::parse(p.data(), len, f);
    if (parsed == Q921::Parse::BadAddress) return;
    if (parsed == Q921::Parse::TooShort) {
        ++stats.short_frames;
        return;
    }
    peer_sapi = f.sapi;
    peer_tei = f.tei;
    if (bri && side == Side::user && f.tei != self_tei && f.tei != Q921::kBroadcastTei) return;
    dispatch(f, p);
    local_events();
}

void LAPD::dispatch(const Q921::Frame& f, Packet& p) {
    bool command = Q921::isCommand(side == Side::network, f.cr);
    switch (f.kind) {
        case Q921::Frame::I:
            if (!p.prepare_for_modify()) return;  // no packet left to hand the information up in
            p.drop_head(f.header);
            on_ICOM(p, f.pf, f.ns, f.nr);
            return;
        case Q921::Frame::S:
            on_S(f.code, f.pf, command, f.nr);
            return;
        case Q921::Frame::U:
            break;
    }
    switch (f.code) {
        case Q921::kSABME:
            return on_SABME(f.pf, command);
        case Q921::kUA:
            return on_UA(f.pf, command);
        case Q921::kDM:
            return on_DM(f.pf, command);
        case Q921::kDISC:
            return on_DISC(f.pf, command);
        case Q921::kFRMR:
            return on_FRMR(f.pf, command);
        case Q921::kUI:
            if (!p.prepare_for_modify()) return;
            p.drop_head(f.header);
            return on_UI(p);
        default:
            return;  // XID and codes Q.921 does not define
    }
}

void LAPD::logFrame(const char* name, bool command) const {
    if (log > 3) line() << name << (command ? "command" : "response") << std::endl;
}

void LAPD::logFrame(const char* name, bool command, bool pf) const {
    if (log > 3) line() << name << (command ? "command" : "response") << " pf=" << pf << std::endl;
}

// ---- unnumbered frames, by state --------------------------------------------------

void LAPD::resetWindow() {
    vs = va = vr = 0;
    ack_queue.clear();
}

void LAPD::on_SABME(bool pf, bool command) {
    logFrame("SABME ", command);
    resetWindow();
    switch (state) {
        case TeiAssigned:
            if (!establishable) return tx_DM(pf);
            tx_UA(pf);
            clear_exception();
            start(T203);
            change_state(MultipleFrameEstablished);
            return on_activate();
        case AwaitingEstablishment:
            return tx_UA(pf);
        case AwaitingRelease:
            return tx_DM(pf);
        case MultipleFrameEstablished:
        case TimerRecovery:
            tx_UA(pf);
            clear_exception();
            on_error(ErrorF);
            change_state(MultipleFrameEstablished);
            on_activate();
            stop(T200);
            return start(T203);
        default:
            return;
    }
}

// A UA resets the window only where it answers our SABME or DISC; in the
// other states it is reported and changes nothing, so that frames still
// waiting for acknowledgement on an established link are not lost.
void LAPD::on_UA(bool pf, bool command) {
    logFrame("UA ", command);
    switch (state) {
        case TeiAssigned:
        case MultipleFrameEstablished:
        case TimerRecovery:
            return on_error(pf ? ErrorC : ErrorD);
        case AwaitingEstablishment:
            resetWindow();
            if (!pf) return on_error(ErrorD);
            change_state(MultipleFrameEstablished);
            stop(T200);
            start(T203);
            return on_activate();
        case AwaitingRelease:
            resetWindow();
            if (!pf) return on_error(ErrorD);
            stop(T200);
            change_state(TeiAssigned);
            return deactivated("success (UA received)", true);
        default:
            return;
    }
}

void LAPD::on_DM(bool pf, bool command) {
    logFrame("DM ", command);
    bool finalResponse = !command && pf;
    switch (state) {
        case TeiAssigned:
            if (!command && !pf && establishable) establish_by_layer3();
            return;
        case AwaitingEstablishment:
            if (!finalResponse) return;
            discard_queue();
            stop(T200);
            change_state(TeiAssigned);
            return deactivated("error (DM received)");
        case AwaitingRelease:
            if (!finalResponse) return;
            stop(T200);
            change_state(TeiAssigned);
            return deactivated("error (DM received)");
        case MultipleFrameEstablished:
            if (finalResponse) return on_error(ErrorB);
            on_error(ErrorE);
            return reestablish();
        case TimerRecovery:
            on_error(finalResponse ? ErrorB : ErrorE);
            return reestablish();
        default:
            return;
    }
}

void LAPD::on_DISC(bool pf, bool command) {
    logFrame("DISC ", command);
    switch (state) {
        case TeiAssigned:
        case AwaitingEstablishment:
            return tx_DM(pf);
        case AwaitingRelease:
            return tx_UA(pf);
        case MultipleFrameEstablished:
        case TimerRecovery:
            discard_queue();
            tx_UA(pf);
            stop(T200);
            stop(T203);
            change_state(TeiAssigned);
            return deactivated("remote error (DISC received)");
        default:
            return;
    }
}

void LAPD::on_FRMR(bool pf, bool command) {
    logFrame("FRMR ", command, pf);
    if (!isEstablished(state)) return;
    on_error(ErrorK);
    reestablish();
}

// ---- UI frames and TEI management ------------------------------------------------

void LAPD::on_UI(Packet& info) {
    if (!bri || info.length() == 0) return;
    if (log > 3) line() << "on_UI()" << std::endl;
    if (info.data()[0] == Q921::kManagementEntity) return on_management(info);
    if (side == Side::user) {
        // A broadcast call offer: the terminal establishes its link.
        if (state == AwaitingEstablishment) change_state(TeiAssigned);
        if (state == TeiAssigned) local_activate();
    }
    on_message(info);
}

void LAPD::on_management(Packet& info) {
    if (info.length() < 5) return;
    const uint8_t* d = info.data();
    uint16_t rxRi = uint16_t(d[1] | d[2] << 8);
    uint8_t type = d[3];
    uint8_t ai = uint8_t(d[4] >> 1);
    if (log > 3) line() << "on_UI() type=" << unsigned(type) << " Ai=" << unsigned(ai) << std::endl;
    switch (type) {
        case Q921::IdentityAssigned:
            if ((state == AssignAwaitingTei || state == EstablishAwaitingTei) && rxRi == ri) {
                mdl_assign(ai);
                stop(T202);
                start(T200);
            }
            return;
        case Q921::IdentityDenied:
            if (state != AssignAwaitingTei || rxRi != ri) return;
            if (ai == Q921::kBroadcastTei)
                line() << "ASP returned: All TEI's used" << std::endl;
            else
                line() << "ASP returned: TEI " << unsigned(ai) << " denied" << std::endl;
            return on_error(TeiDenied);  // T202 runs on: the request is repeated
        case Q921::IdentityCheckRequest:
            if (state >= TeiAssigned && state <= TimerRecovery &&
                (ai == Q921::kBroadcastTei || ai == self_tei))
                tx_identity(ri, uint8_t(self_tei), Q921::IdentityCheckResponse);
            return;
        case Q921::IdentityRemove:
            if (ai != Q921::kBroadcastTei && ai != self_tei) return;
            mdl_remove();
            return BeginTeiAssignProcedure();
        default:
            return;
    }
}

uint16_t LAPD::newRi() {
    uint16_t next;
    do next = uint16_t(std::rand() & 0xFFFF);
    while (next == ri);
    return next;
}

void LAPD::BeginTeiAssignProcedure() {
    if (!bri || side != Side::user) return;
    if (state != EstablishAwaitingTei) change_state(AssignAwaitingTei);
    on_mdl_assign();
    ri = newRi();
    tx_identity(ri, Q921::kBroadcastTei, Q921::IdentityRequest);
    rc = 0;
    stop(T200);
    stop(T203);
    start(T202);
}

void LAPD::mdl_assign(uint8_t tei) {
    if (log > 1)
        line() << "MDL-ASSIGN"
               << " (tei=" << unsigned(tei) << ")" << std::endl;
    self_tei = tei;
    if (state == EstablishAwaitingTei)
        establish_by_layer3();
    else
        change_state(TeiAssigned);
}

void LAPD::on_mdl_assign() {}

void LAPD::mdl_remove() {
    line() << "MDL-REMOVE" << std::endl;
    const char* const kRemoved = "error (MDL-REMOVE received)";
    switch (state) {
        case TeiAssigned:
            discard_queue();
            return change_state(TeiUnassigned);
        case AwaitingRelease:
            stop(T200);
            change_state(TeiUnassigned);
            return deactivated(kRemoved);
        case AwaitingEstablishment:
        case MultipleFrameEstablished:
        case TimerRecovery:
            discard_queue();
            stop(T200);
            stop(T203);
            change_state(TeiUnassigned);
            return deactivated(kRemoved);
        default:
            return;
    }
}

// ---- layer-3 requests ---------------------------------------------------------------

void LAPD::local_activate() {
    if (log) line() << "DL-ESTABLISH" << std::endl;
    switch (state) {
        case TeiUnassigned:
            rc = 0;
            on_mdl_assign();
            change_state(EstablishAwaitingTei);
            return BeginTeiAssignProcedure();
        case AssignAwaitingTei:
            return change_state(EstablishAwaitingTei);
        case TeiAssigned:
            return establish_by_layer3();
        case AwaitingEstablishment:
            discard_queue();
            l3_initiated = true;
            return;
        case MultipleFrameEstablished:
        case TimerRecovery:
            discard_queue();
            return establish_by_layer3();
        default:
            return;
    }
}

void LAPD::local_deactivate() {
    if (log > 1) line() << "DL-RELEASE" << std::endl;
    const char* const kReleased = "success (deactivated locally)";
    switch (state) {
        case TeiAssigned:
            return deactivated(kReleased, true);
        case AwaitingEstablishment:
            discard_queue();
            rc = 0;
            tx_cmd_resp(Q921::kDISC, true, true);
            stop(T203);
            stop(T202);
            start(T200);
            change_state(TeiAssigned);
            return deactivated(kReleased, true);
        case MultipleFrameEstablished:
        case TimerRecovery:
            discard_queue();
            rc = 0;
            tx_cmd_resp(Q921::kDISC, true, true);
            stop(T203);
            start(T200);
            return change_state(AwaitingRelease);
        default:
            return;
    }
}

// ---- procedures ---------------------------------------------------------------------

void LAPD::establish_dl() {
    clear_exception();
    rc = 0;
    tx_cmd_resp(Q921::kSABME, true, true);
    stop(T203);
    start(T200);
}

void LAPD::establish_by_layer3() {
    establish_dl();
    l3_initiated = true;
    change_state(AwaitingEstablishment);
}

void LAPD::reestablish() {
    establish_dl();
    l3_initiated = false;
    change_state(AwaitingEstablishment);
}

void LAPD::clear_exception() {
    peer_busy = own_busy = reject_exception = ack_rq = false;
}

void LAPD::discard_queue() {
    if (log)
        line() << "discard queue "
               << " OutData=" << out_queue.count() << " AckData=" << ack_queue.count() << std::endl;
    out_queue.clear();
    ack_queue.clear();
}

void LAPD::change_state(uint32_t next) {
    if (next == state) return;
    bool recoveryOnly = isEstablished(state) && isEstablished(next);
    if (log > 1 && !(log <= 3 && recoveryOnly))
        std::clog << "LAPD[" << trunk << "] : "
                  << "change state \"" << statetext(state) << "\" -> \"" << statetext(next) << "\""
                  << std::endl;
    state = next;
    // Messages queued before establishment go out now, not at the next
    // DL-DATA request.
    if (next == MultipleFrameEstablished && !out_queue.empty()) queued_up_rq = true;
}

// ---- the shared timer -----------------------------------------------------------------
//
// T200, T202 and T203 share one timer holder; the flags say which one it
// stands for. At most one flag is set, and a set flag always has its expiry
// armed: starting a timer while another runs reports the conflict and takes
// the holder over, so the other no longer runs.

bool& LAPD::running(TimerId id) {
    return static_cast<LAPDFullState&>(*this).*kTimers[id].running;
}

void LAPD::start(TimerId id) {
    const TimerSpec& t = kTimers[id];
    for (int other = T200; other <= T203; ++other) {
        if (other == id || !running(TimerId(other))) continue;
        report(std::string("trying to start ") + t.name + " while " + kTimers[other].name +
               " running");
        running(TimerId(other)) = false;
    }
    stop(id);
    running(id) = true;
    timer.set(t.period, t.fire, this);
}

void LAPD::stop(TimerId id) {
    if (!running(id)) return;
    running(id) = false;
    timer.reset();
}

void LAPD::expired(TimerId id) {
    const TimerSpec& t = kTimers[id];
    static_cast<LAPDFullState&>(*this).*t.running = false;
    ++(stats.*t.expiries);
    (this->*t.handler)();
    local_events();
}

void LAPD::on_T200() {
    expired(T200);
}
void LAPD::on_T202() {
    expired(T202);
}
void LAPD::on_T203() {
    expired(T203);
}

void LAPD::on_T200A() {
    switch (state) {
        case AwaitingEstablishment:
            if (rc == kN200) {
                discard_queue();
                on_error(ErrorG);
                change_state(TeiAssigned);
                return deactivated("link error (T200 expired N200 times)");
            }
            ++rc;
            tx_cmd_resp(Q921::kSABME, true, true);
            return start(T200);
        case AwaitingRelease:
            if (rc == kN200) {
                on_error(ErrorH);
                change_state(TeiAssigned);
                return deactivated("link error (T200 expired N200 times)");
            }
            ++rc;
            tx_cmd_resp(Q921::kDISC, true, true);
            return start(T200);
        case MultipleFrameEstablished:
            return t200_established();
        case TimerRecovery:
            return t200_timer_recovery();
        default:
            return;
    }
}

void LAPD::on_T202A() {
    if (state != AssignAwaitingTei && state != EstablishAwaitingTei) return;
    if (rc > kN202) {
        state = TeiUnassigned;
        return deactivated("link error (T202 expired N202 times)");
    }
    ri = newRi();
    tx_identity(ri, Q921::kBroadcastTei, Q921::IdentityRequest);
    start(T202);
    ++rc;
}

void LAPD::on_T203A() {
    line() << "T203." << std::endl;
    if (state != MultipleFrameEstablished) return;
    tx_enquiry();
    rc = 0;
    change_state(TimerRecovery);
}

// ---- sending ----------------------------------------------------------------------------

bool LAPD::tx_cmd_resp(uint8_t code, bool pf, bool command) {
    Packet p;
    if (!prepare_head(p)) return false;
    uint8_t header[4];
    bool cr = Q921::crBit(side == Side::network, command);
    p.put(header, Q921::putHeader(header, self_sapi, cr, self_tei, code, pf, vr));
    return xmit(p);
}

bool LAPD::tx_identity(uint16_t teiRi, uint8_t ai, uint8_t type) {
    if (!bri) return false;
    Packet p;
    if (!prepare_head(p)) return false;
    uint8_t frame[Q921::kIdentityLength];
    Q921::identity(frame, side == Side::network, teiRi, ai, type);
    p.put(frame, sizeof frame);
    return xmit(p);
}

bool LAPD::xmit(Packet& frame) {
    if (!hdlc) {
        if (log > 3) line() << "no HDLC device attached!!!" << std::endl;
        return false;
    }
    if (!hdlc->hdlc_transmit(frame)) {
        line() << "tx full" << std::endl;
        return false;
    }
    if (log > 2) trace("tx: ", frame, side == Side::user ? 0 : 1);
    return true;
}

void LAPD::trace(const char* label, const Packet& frame, int dir) const {
    line() << label << logframe(frame.data(), frame.length(), dir) << std::endl;
}

}  // namespace ISDN
