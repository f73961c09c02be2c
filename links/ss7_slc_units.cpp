// Signal units: the common send step, reception with its length checks,
// and basic error correction (positive and negative acknowledgement with
// retransmission) in service.

#include <iostream>

#include "links/ss7_slc.h"

namespace SS7 {

namespace {

// The LI that a unit of `n` octets after the header carries.
uint8_t length_indicator(unsigned n) { return n < 63 ? uint8_t(n) : 63; }

}  // namespace

void SLC::log_octets(const char* keyword, const Packet& p) const {
    std::ostream& os = log(std::clog) << keyword << std::hex << std::uppercase;
    for (unsigned i = 0; i < p.length(); ++i) os << " 0x" << unsigned(p[i]);
    os << std::dec << std::nouppercase << std::endl;
}

SLC::Statistics SLC::statistics() {
    stats.rtbSize = rtbCount;
    return stats;
}

void SLC::reset() {
    for (Packet& slot : rtb) slot = Packet();
    FSNF = 0;
    FSNL = 127;
    rtbCount = 0;
    retransmission_requested = bad_bsn = bad_fib = false;
    BSNT = FSNT = 127;
    BIBT = FIBT = 1;
}

// ---- sending ----------------------------------------------------------------

bool SLC::send(Packet p) {
    if (!hdlc) {
        log(std::clog) << "no HDLC interface attached!!!" << std::endl;
        return false;
    }
    // A unit handed down without the header's room is moved into one that
    // has it, rather than failing the packet's bounds check.
    if (!p.make_head_room(kHeader)) return false;
    p.push(length_indicator(p.length()));
    p.push(uint8_t(FSNT | FIBT << 7));
    p.push(uint8_t(BSNT | BIBT << 7));
    if (!hdlc->hdlc_transmit(p)) {
        if (trace.raw_transmit) log(std::clog) << " tx full!" << std::endl;
        return false;
    }
    if (trace.raw_transmit) log_octets(" tx raw", p);
    ++stats.msuTxCount;
    stats.octetsTx += p.length();
    return true;
}

bool SLC::fisu_tx() {
    Packet p;
    return prepare_head(p) && send(p);
}

bool SLC::send_msu(Packet& p) {
    if (p.length()) return send(p);
    if (trace.msu_processing) log(std::clog) << "fail to send msu (bad packet)" << std::endl;
    return false;
}

bool SLC::message(Packet& p) {
    if (trace.mtp_transmit) log_octets(" mtp tx", p);
    bool taken = in_service() && p.length() >= kMsuMin && tb.count() < kTbLimit;
    state->message(*this, p);
    return taken;
}

void SLC::message(Worked&, Packet& p) {
    // A shorter unit would reach the far end as a FISU or an LSSU.
    if (p.length() < kMsuMin) {
        log(std::cerr) << "ignoring short msu: " << p.text() << std::endl;
        return;
    }
    if (put_to_tb(p)) process_tb();
}

bool SLC::put_to_tb(Packet& p) {
    if (tb.count() >= kTbLimit) {
        ++stats.overflowCntr;
        log(std::cerr) << "no space in TB buffer," << " TB=" << tb.count() << " RTB=" << rtbCount
                       << " ignoring msu: " << p.text() << std::endl;
        return false;
    }
    return tb.put(p);
}

void SLC::process_tb() {
    if (!in_service()) return;
    if (tb.empty()) {
        fisu_tx();
        return;
    }
    Packet next;
    while (rtbCount < kRtbLimit && tb.preview(&next)) {
        // FSNT names the last MSU sent: a FISU after a refusal must not
        // announce the one that stayed behind.
        Seq sent = FSNT;
        FSNT = FSNL + Seq(1);
        if (!send(next)) {
            FSNT = sent;
            return;
        }
        tb.get(nullptr);
        FSNL = FSNT;
        rtb[FSNL] = next;
        if (++rtbCount == 1) start(T7);
    }
}

// ---- reception --------------------------------------------------------------

void SLC::receive(Packet& p) {
    if (trace.raw_receive) log_octets(" rx raw", p);
    stats.octetsRx += p.length();
    if (p.length() < kHeader) {
        log(std::cerr) << "ignore packet, length too small " << p.text() << std::endl;
        return;
    }
    // The header is taken off the packet, which may share its block.
    if (!p.prepare_for_modify()) return;
    BSNR = p[0] & 0x7F;
    BIBR = p[0] >> 7;
    FSNR = p[1] & 0x7F;
    FIBR = p[1] >> 7;
    LI = p[2];
    p.drop_head(kHeader);
    unsigned m = p.length();
    if (LI != length_indicator(m)) {
        log(std::cerr) << "invalid packet length," << " expected = " << unsigned(LI) << ", received = " << m
                       << std::endl;
        if (length_indicator(m) == 63) {
            log(std::cerr) << "can't truncate signalling unit." << std::endl;
        } else if (LI < m) {
            log(std::cerr) << "truncate " << m - LI << " octet(s) : " << p.text() << std::endl;
            p.drop_tail(m - LI);
        }
    }
    ++stats.msuRxCount;
    if (p.length() == 0)
        state->fisu(*this);
    else if (p.length() < kMsuMin)
        state->lssu(*this, Indication(p[0]));
    else
        state->msu(*this, p);
}

// ---- basic error correction -------------------------------------------------

void SLC::refresh_expectations() {
    FSNX = BSNT;
    FIBX = BIBT;
    BIBX = FIBT;
}

// A unit whose FIB is not the expected one. During a requested
// retransmission its BSN still counts; otherwise one is tolerated and the
// second in a row takes the link out of service. False when the link left
// service.
bool SLC::unexpected_fib() {
    if (retransmission_requested) return process_bsnr();
    return tolerate_once(bad_fib, "bad start of a retransmission: ");
}

// The first error of a kind sets its flag; the second in a row takes the
// link out of service. False when it did.
bool SLC::tolerate_once(bool& seen, const char* text) {
    if (!seen) {
        seen = true;
        return true;
    }
    if (trace.msu_processing) log(std::cerr) << text << DumpPtr(*this) << std::endl;
    next_state(idle_state);
    return false;
}

void SLC::msu(Worked&, Packet& p) {
    refresh_expectations();
    if (FSNR == FSNX) {
        if (trace.msu_processing)
            log(std::clog) << "discard msu due to 5.2.2/i Q.702" << " fsnr=" << unsigned(FSNR)
                           << " fsnx=" << unsigned(FSNX) << std::endl;
        return;
    }
    if (FIBR != FIBX) {
        unexpected_fib();
        return;
    }
    retransmission_requested = bad_fib = false;
    if (!process_bsnr()) return;
    if (FSNR == FSNX + Seq(1)) {
        ack();
        if (trace.mtp_receive) log_octets(" mtp rx", p);
        on_message(p);
        return;
    }
    if (trace.msu_processing)
        log(std::clog) << "discard msu due to 5.2.2/ii Q.702" << " fsnr=" << unsigned(FSNR)
                       << " fsnx=" << unsigned(FSNX) << std::endl;
    nack();
}

void SLC::fisu(Worked&) {
    refresh_expectations();
    if (FIBR != FIBX) {
        unexpected_fib();
        return;
    }
    retransmission_requested = bad_fib = false;
    // A FISU that names a later FSN than the last one accepted tells of a
    // lost MSU.
    if (process_bsnr() && FSNR != FSNX) nack();
}

// Releases what BSNR acknowledges and retransmits on an inverted BIB. A
// bad BSN is tolerated once; the second in a row takes the link out of
// service. False when the link left service.
bool SLC::process_bsnr() {
    Seq last_acked = FSNF - Seq(1);
    if (!(last_acked <= BSNR <= FSNL)) return tolerate_once(bad_bsn, "bad su acknowledgement received: ");
    bad_bsn = false;
    bool was_full = rtbCount >= kRtbLimit;
    Seq upto = BSNR + Seq(1);
    if (FSNF != upto) restart_T7();
    for (; FSNF != upto; ++FSNF) {
        rtb[FSNF] = Packet();
        --rtbCount;
    }
    if (rtbCount == 0) timer.reset();
    if (BIBR != BIBX)
        retransmit();
    else if (was_full && rtbCount < kRtbLimit && !tb.empty())
        // Nothing else would serve the MSUs that waited for room.
        process_tb();
    return true;
}

void SLC::ack() {
    BSNT = FSNR;
    if (trace.msu_processing) log(std::cerr) << "ack!" << std::endl;
    fisu_tx();
}

void SLC::nack() {
    BIBT ^= 1;
    FIBX = BIBT;
    retransmission_requested = true;
    fisu_tx();
    ++stats.badSeqCntr;
    if (trace.msu_processing) log(std::cerr) << "nack!" << std::endl;
}

// Puts the unacknowledged MSUs back in front of the TB, in the order they
// were first sent, and sends them again with the FSNs they had.
void SLC::retransmit() {
    if (trace.msu_processing) log(std::cerr) << "retransmit" << " rtb=" << rtbCount << std::endl;
    ++stats.repeatCntr;
    FSNT = FSNF - Seq(1);
    FIBT = BIBR;
    for (unsigned n = rtbCount; n > 0; --n) {
        tb.append(rtb[FSNL]);
        rtb[FSNL] = Packet();
        --FSNL;
    }
    FSNL = FSNF - Seq(1);
    rtbCount = 0;
    process_tb();
}

}  // namespace SS7
