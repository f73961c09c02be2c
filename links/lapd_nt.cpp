#include "links/lapd_nt.h"

#include <iostream>

#include "links/dlogframe.h"

namespace ISDN {

namespace {

const uint8_t kSetup = 0x05;  // Q.931 message type

// The network sends commands with C/R 1, responses with 0, on SAPI 0.
uint8_t address1(bool command) { return Q921::address1(0, command); }

// Puts `n` octets in front of a private copy of `p`.
bool push_header(Packet& p, const uint8_t* octets, unsigned n) {
    if (!p.make_head_room(n)) return false;
    for (unsigned i = n; i-- > 0;) p.push(octets[i]);
    return true;
}

// The only S frames a context takes: RR, RNR and REJ without other bits.
bool plain_supervisory(uint8_t control) { return control == 0x01 || control == 0x05 || control == 0x09; }

}  // namespace

// ---- one terminal ---------------------------------------------------------------

void LAPD_NT_user::PutHeader(std::ostream& os) const {
    os << "LAPD_user(NT BRI)[";
    if (link_state == unassigned) {
        os << "unassigned]:";
        return;
    }
    os << "Tei=" << unsigned(tei) << (link_state == assigned ? ",assigned" : ",wait_answer");
    if (check_running) os << ",check";
    if (busy) os << ",busy";
    os << "]";
}

std::ostream& LAPD_NT_user::line(const char* text) const {
    PutHeader(std::clog);
    return std::clog << text;
}

void LAPD_NT_user::assign() {
    if (link_state != unassigned && check_running) {
        if (log > 1) line("checked") << std::endl;
        check_running = false;
        check_timer.reset();
        return;
    }
    if (log > 1) line("assigned") << std::endl;
    vr = va = vs = 0;
    link_state = assigned;
    tx_U(Q921::kSABME, true, true);
    busy = check_running = false;
    out_queue.clear();
    sent_queue.clear();
    rc = 0;
    timer.set(kIdleMs, &LAPD_NT_user::on_timer, this);
}

// The queues keep their messages until the next assignment.
void LAPD_NT_user::unassign() {
    if (log > 1) line("unassigned") << std::endl;
    link_state = unassigned;
    timer.reset();
    check_timer.reset();
}

void LAPD_NT_user::checking() {
    if (link_state == unassigned) return;
    if (log > 1) line("checking started") << std::endl;
    check_running = true;
    check_timer.set(kCheckMs, &LAPD_NT_user::on_check_timer, this);
}

bool LAPD_NT_user::message(Packet& m) {
    if (link_state == unassigned || (m[2] & 0x7F) != call_ref) return false;
    queue(m);
    if (!busy) send_waiting();
    return true;
}

// Behind what already waits, so that the messages keep their order.
void LAPD_NT_user::queue(Packet& m) {
    if (out_queue.count() >= kQueueLimit) out_queue.get(nullptr);
    out_queue.put(m);
}

// Sends waiting messages while the window has room; then waits for their
// answer.
void LAPD_NT_user::send_waiting() {
    bool sent = false;
    Packet m;
    while (Sequence(vs - va) < kWindow && out_queue.preview(&m)) {
        if (!tx_I(m, vs)) break;
        out_queue.get(nullptr);
        sent_queue.put(m);
        ++vs;
        sent = true;
    }
    if (sent) wait_for(wait_answer);
}

void LAPD_NT_user::wait_for(LinkState s) {
    link_state = s;
    timer.set(s == assigned ? kIdleMs : kAnswerMs, &LAPD_NT_user::on_timer, this);
}

void LAPD_NT_user::receive(const Q921::Frame& f, Packet& info) {
    bool response = f.cr;
    switch (f.kind) {
    case Q921::Frame::I:
        if (!response) on_I(info, f.pf, f.ns, f.nr);
        return;
    case Q921::Frame::S:
        if (f.code == Q921::kRR) on_RR(f.pf, response, f.nr);
        if (f.code == Q921::kRNR) on_RNR(f.pf, response, f.nr);
        if (f.code == Q921::kREJ) on_REJ(f.pf, response, f.nr);
        return;
    case Q921::Frame::U:
        if (f.code == Q921::kSABME && !response) on_SABME(f.pf);
        if (f.code == Q921::kDISC && !response) on_DISC(f.pf);
        if (f.code == Q921::kDM && response) on_DM();
        if (f.code == Q921::kFRMR && response) on_FRMR();
        if (f.code == Q921::kXID) on_XID();
        return;
    }
}

void LAPD_NT_user::on_I(Packet& info, bool p, Sequence ns, Sequence nr) {
    if (log > 1) line("received I frame") << std::endl;
    if (ns == vr) {
        ++vr;
        if (p) tx_S(Q921::kRR, true, false);
        if (info.length() <= 3) return;
        call_ref = info[2] & 0x7F;
        lapd->send_to_layer3(info);
    } else {
        tx_S(Q921::kREJ, p, false);
    }
    if (!ack_queue(nr)) return;
    acknowledged();
}

void LAPD_NT_user::answer_poll(bool pf, bool response) {
    if (pf && !response) tx_S(Q921::kRR, true, false);
}

void LAPD_NT_user::on_RR(bool pf, bool response, Sequence nr) {
    if (log > 1) line("received RR frame") << std::endl;
    answer_poll(pf, response);
    if (!ack_queue(nr)) return;
    set_unbusy();
}

void LAPD_NT_user::on_RNR(bool pf, bool response, Sequence nr) {
    if (log > 1) line("received RNR frame") << std::endl;
    set_busy();
    answer_poll(pf, response);
    if (!ack_queue(nr)) return;
    wait_for(assigned);
}

// The frames from N(R) on are sent again, with the current V(R).
void LAPD_NT_user::on_REJ(bool pf, bool response, Sequence nr) {
    if (log > 1) line("received REJ frame") << std::endl;
    answer_poll(pf, response);
    if (!ack_queue(nr)) return;
    retransmit();
    set_unbusy();
    rc = 0;
    wait_for(wait_answer);
}

void LAPD_NT_user::on_SABME(bool p) {
    if (log > 1) line("received SABME frame") << std::endl;
    vr = va = vs = 0;
    if (p) tx_U(Q921::kUA, true, false);
    sent_queue.clear();
    set_unbusy();
}

void LAPD_NT_user::on_DISC(bool p) {
    if (log > 1) line("received DISC frame") << std::endl;
    if (p) tx_U(Q921::kUA, true, false);
    unassign();
}

void LAPD_NT_user::on_DM() {
    if (log > 1) line("received DM frame") << std::endl;
    unassign();
}

void LAPD_NT_user::on_FRMR() {
    if (log > 1) line("received FRMR frame") << std::endl;
    unassign();
}

void LAPD_NT_user::on_XID() {
    if (log > 1) line("received XID frame") << std::endl;
}

// N(R) is valid from V(A) to V(S); what it acknowledges leaves the queue.
// Any other costs the terminal its context.
bool LAPD_NT_user::ack_queue(Sequence nr) {
    if (log > 1) line("ack queue") << std::endl;
    if (!(va <= nr <= vs)) {
        unassign();
        return false;
    }
    if (nr != va) rc = 0;
    for (; va != nr; ++va) sent_queue.get(nullptr);
    return true;
}

// After a valid acknowledgement: more frames go out if the window has
// room; the context waits for an answer while any is outstanding.
void LAPD_NT_user::acknowledged() {
    if (!busy) send_waiting();
    wait_for(vs == va || busy ? assigned : wait_answer);
}

void LAPD_NT_user::set_busy() {
    if (!busy && log > 1) line("set busy") << std::endl;
    busy = true;
}

void LAPD_NT_user::set_unbusy() {
    if (busy && log > 1) line("set unbusy") << std::endl;
    busy = false;
    acknowledged();
}

void LAPD_NT_user::retransmit() {
    if (log > 1) line("retransmit queue") << std::endl;
    Sequence ns = va;
    for (unsigned n = sent_queue.count(); n > 0; --n, ++ns) {
        Packet m;
        sent_queue.get(m);
        tx_I(m, ns);
        sent_queue.put(m);
    }
}

void LAPD_NT_user::on_timer() {
    if (link_state == assigned) {
        link_state = wait_answer;
        tx_S(Q921::kRR, true, true);
        rc = 0;
    } else {
        if (rc == kRetries) {
            if (log > 1) line("T200 expiried N200 times") << std::endl;
            unassign();
            return;
        }
        ++rc;
        // With nothing outstanding the terminal is polled again.
        if (vs == va)
            tx_S(Q921::kRR, true, true);
        else
            retransmit();
    }
    timer.set(kAnswerMs, &LAPD_NT_user::on_timer, this);
}

bool LAPD_NT_user::tx_header(uint8_t code, bool pf, bool command) {
    Packet p;
    if (!lapd->prepare_head(p)) return false;
    uint8_t header[4];
    p.put(header, Q921::putHeader(header, 0, command, tei, code, pf, vr));
    return lapd->send_to_layer1(p);
}

bool LAPD_NT_user::tx_U(uint8_t code, bool pf, bool command) {
    if (log > 1) line("transmit U frame") << std::endl;
    return tx_header(code, pf, command);
}

// `type` is Q921::kRR, kRNR or kREJ.
bool LAPD_NT_user::tx_S(uint8_t type, bool pf, bool command) {
    if (log > 1) line("transmit S frame") << std::endl;
    return tx_header(type, pf, command);
}

// Every I frame is a command with P = 1 and the current V(R).
bool LAPD_NT_user::tx_I(const Packet& m, Sequence ns) {
    if (log > 1) line("transmit I frame") << std::endl;
    Packet frame = m;
    const uint8_t header[] = {address1(true), Q921::address2(tei), uint8_t(unsigned(ns) << 1),
                              uint8_t(unsigned(vr) << 1 | 1)};
    return push_header(frame, header, sizeof header) && lapd->send_to_layer1(frame);
}

// ---- the bus --------------------------------------------------------------------

LAPD_NT::LAPD_NT() {
    for (LAPD_NT_user& u : users) u.set_lapd(this);
}

LAPD_NT::~LAPD_NT() = default;

std::ostream& LAPD_NT::line() const {
    PutHeader(std::clog);
    return std::clog;
}

void LAPD_NT::set_log(uint32_t level) {
    log = level;
    for (LAPD_NT_user& u : users) u.set_log(level);
}

void LAPD_NT::local_activate() {
    if (line_on()) line() << "activate" << std::endl;
    check_all_Tei();
    on_activate();
}

void LAPD_NT::local_deactivate() {
    if (line_on()) line() << "deactivate" << std::endl;
    check_timer.reset();
    for (LAPD_NT_user& u : users) u.unassign();
}

bool LAPD_NT::send_to_layer1(Packet& p) {
    if (!transmit(p)) return false;
    if (log > 2) line() << "tx: " << logframe(p.data(), p.length(), 1) << std::endl;
    return true;
}

bool LAPD_NT::tx_identity(uint16_t ri, uint8_t ai, uint8_t type) {
    Packet p;
    if (!prepare_head(p)) return false;
    uint8_t frame[Q921::kIdentityLength];
    Q921::identity(frame, true, ri, ai, type);
    p.put(frame, sizeof frame);
    return send_to_layer1(p);
}

void LAPD_NT::remove_twice(uint8_t ai) {
    tx_identity(0, ai, Q921::IdentityRemove);
    tx_identity(0, ai, Q921::IdentityRemove);
}

LAPD_NT_user* LAPD_NT::find_Tei(uint8_t tei) {
    for (LAPD_NT_user& u : users)
        if (u.tei == tei && u.link_state != LAPD_NT_user::unassigned) return &u;
    return nullptr;
}

LAPD_NT_user* LAPD_NT::find_free_Tei(uint8_t tei) {
    LAPD_NT_user* free = nullptr;
    for (LAPD_NT_user& u : users)
        if (u.link_state == LAPD_NT_user::unassigned) {
            free = &u;
            break;
        }
    if (!free) return nullptr;
    if (tei != Q921::kBroadcastTei) {
        free->tei = tei;
        return free;
    }
    for (uint8_t t = 64; t < Q921::kBroadcastTei; ++t) {
        if (!find_Tei(t)) {
            free->tei = t;
            return free;
        }
    }
    return nullptr;
}

void LAPD_NT::check_all_Tei() {
    if (line_on()) line() << "Checking Tei values...." << std::endl;
    check_timer.reset();
    for (LAPD_NT_user& u : users) u.checking();
    tx_identity(0, Q921::kBroadcastTei, Q921::IdentityCheckRequest);
    check_timer.set(kCheckPeriodMs, &LAPD_NT::check_all_Tei, this);
}

// ---- received frames --------------------------------------------------------------

void LAPD_NT::receive(Packet& p) {
    if (p.length() < 3) return;
    Q921::Frame f;
    Q921::Parse parsed = Q921::parse(p.data(), p.length(), f);
    if (parsed == Q921::Parse::BadAddress) return;
    if (log > 2) line() << "rx:" << logframe(p.data(), p.length(), 0) << std::endl;
    if (f.tei == Q921::kBroadcastTei) {
        if (p[2] != Q921::kUI) return;
        p.drop_head(3);
        if (f.sapi < Q921::kManagementSapi)
            on_message(p);
        else
            on_tei_procedure(p);
        return;
    }
    LAPD_NT_user* u = find_Tei(f.tei);
    if (!u) {
        u = find_free_Tei(f.tei);
        if (!u) {
            if (line_on()) line() << "recieved packet with unassigned TEI=" << unsigned(f.tei) << ",removed" << std::endl;
            remove_twice(f.tei);
            return;
        }
        if (line_on()) line() << "Warning:recieved packet with unassigned TEI=" << unsigned(f.tei) << std::endl;
        u->assign();
    }
    // An I or S frame without its N(R) octet, and an S frame with bits set
    // beside its type, are not for the context.
    if (parsed != Q921::Parse::Ok) return;
    if (f.kind == Q921::Frame::S && !plain_supervisory(p[2])) return;
    p.drop_head(f.header);
    u->receive(f, p);
}

void LAPD_NT::on_tei_procedure(const Packet& info) {
    if (info.length() < 5 || info[0] != Q921::kManagementEntity) return;
    uint16_t ri = uint16_t(info[1] | info[2] << 8);
    uint8_t type = info[3];
    uint8_t ai = info[4] >> 1;
    switch (type) {
    case Q921::IdentityRequest: on_identity_request(ri, ai); break;
    case Q921::IdentityCheckResponse: on_check_response(ri, ai); break;
    case Q921::IdentityVerify:
        if (line_on()) line() << "recieved verify request" << std::endl;
        check_all_Tei();
        break;
    default: break;
    }
}

void LAPD_NT::on_identity_request(uint16_t ri, uint8_t ai) {
    if (ai < 64) {
        if (line_on()) line() << "recieved identity request with wrong Ai=" << unsigned(ai) << ",ignored" << std::endl;
        return;
    }
    if (ai != Q921::kBroadcastTei) {
        if (line_on()) line() << "recieved identity request with wrong Ai=" << unsigned(ai) << ",denied" << std::endl;
        tx_identity(ri, ai, Q921::IdentityDenied);
        return;
    }
    LAPD_NT_user* u = find_free_Tei(Q921::kBroadcastTei);
    if (!u) {
        if (line_on()) line() << "recieved identity request, but all TEI values is ussigned" << std::endl;
        tx_identity(ri, Q921::kBroadcastTei, Q921::IdentityDenied);
        return;
    }
    if (line_on()) line() << "recieved identity request,TEI assigned:" << unsigned(u->tei) << std::endl;
    tx_identity(ri, u->tei, Q921::IdentityAssigned);
    u->assign();
}

void LAPD_NT::on_check_response(uint16_t ri, uint8_t ai) {
    LAPD_NT_user* u = ai == Q921::kBroadcastTei ? nullptr : find_Tei(ai);
    if (u && !u->check_running) {
        if (ri == u->ri) return;
        // Another terminal answers for the same TEI: both must ask again.
        if (line_on()) line() << "recieved check response with dublicated Ai=" << unsigned(ai) << ",removed" << std::endl;
        u->unassign();
        remove_twice(ai);
        return;
    }
    if (!u && ai != Q921::kBroadcastTei) u = find_free_Tei(ai);
    if (!u) {
        if (line_on()) line() << "recieved check response with wrong Ai=" << unsigned(ai) << ",removed" << std::endl;
        remove_twice(ai);
        return;
    }
    if (line_on()) line() << "TEI " << unsigned(ai) << " checked" << std::endl;
    u->assign();
    u->ri = ri;
}

bool LAPD_NT::message(Packet& p) {
    if (p.length() <= 3) return false;
    if (p[3] == kSetup) {
        const uint8_t header[] = {address1(true), Q921::address2(Q921::kBroadcastTei), Q921::kUI};
        Packet frame = p;
        return push_header(frame, header, sizeof header) && send_to_layer1(frame);
    }
    for (LAPD_NT_user& u : users)
        if (u.message(p)) return true;
    return false;
}

}  // namespace ISDN
