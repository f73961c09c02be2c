// Link state control: the states, alignment and proving, LSSUs, timers,
// activation and the log lines. The signal units themselves and basic
// error correction are in ss7_slc_units.cpp.

#include "links/ss7_slc.h"

#include <iostream>

#include "runtime/mux_clock.h"

namespace SS7 {

const SLC::TimerEntry SLC::T1 = {45000, &SLC::on_T1};
const SLC::TimerEntry SLC::T2 = {7000, &SLC::on_T2};
const SLC::TimerEntry SLC::T3 = {1500, &SLC::on_T3};
const SLC::TimerEntry SLC::T4n = {8200, &SLC::on_T4};
const SLC::TimerEntry SLC::T4e = {500, &SLC::on_T4};
const SLC::TimerEntry SLC::T5 = {100, &SLC::on_T5};
const SLC::TimerEntry SLC::T6 = {4500, &SLC::on_T6};
const SLC::TimerEntry SLC::T7 = {12000, &SLC::on_T7};

const char* state_name(SLC::State::type t) {
    static const char* const names[] = {"idle", "not aligned", "aligned", "proving", "aligned ready", "worked"};
    return t >= 0 && t < 6 ? names[t] : "unknown";
}

std::ostream& operator<<(std::ostream& os, SLC::Indication i) {
    static const char* const texts[] = {"out of alignment", "normal alignment", "emergency alignment",
                                        "out of service"};
    if (i <= SLC::SIOS) return os << texts[i];
    return os << "unknown:" << std::hex << std::uppercase << unsigned(i) << std::dec << std::nouppercase;
}

void SLC::DumpPtr::Put(std::ostream& os) const {
    os << " BSN=" << unsigned(l.BSNR) << " BIB=" << l.BIBR << " FSN=" << unsigned(l.FSNR) << " FIB=" << l.FIBR;
}

std::ostream& operator<<(std::ostream& os, const SLC::DumpPtr& d) {
    d.Put(os);
    return os;
}

SLC::SLC() : stamp(Mux::milliseconds()) {}

// The timer holder and the buffers release themselves; nothing is sent.
SLC::~SLC() = default;

void SLC::PutShortInfo(std::ostream& os) const {
    os << "SS7/L2 [dpc=" << dpc << ", slc=" << slc << ", trunk=" << trunk << "]";
}

void SLC::PutHeader(std::ostream& os) const {
    PutShortInfo(os);
    os << " (" << state_name(get_state_id()) << "): ";
}

std::ostream& SLC::log(std::ostream& os) const {
    PutHeader(os);
    return os;
}

// ---- activation -------------------------------------------------------------

void SLC::local_activate() {
    if (state == &idle_state) {
        if (trace.mtp_activate) log(std::clog) << "local_activate: executing..." << std::endl;
        next_state(not_aligned_state);
        return;
    }
    if (trace.mtp_activate) log(std::clog) << "local_activate: ignored." << std::endl;
    if (in_service()) on_activate();
}

void SLC::local_deactivate() {
    if (trace.mtp_activate) log(std::clog) << "local_deactivate()" << std::endl;
    next_state(idle_state);
}

void SLC::OnTrunkHardStatus(bool up) {
    if (up || state == &idle_state) return;
    log(std::clog) << " transport OFF by low level terminated" << std::endl;
    next_state(idle_state);
}

void SLC::on_hdlc_error(HDLC::Notify::Cause::Type cause) {
    log(std::clog) << "hdlc error [cause=" << int(cause) << "]" << std::endl;
}

void SLC::on_hdlc_ready() {
    log(std::clog) << "hdlc ready" << std::endl;
    process_tb();
}

bool SLC::CoutCongestion() {
    uint32_t now = Mux::milliseconds();
    if (int32_t(now - stamp) < 1000) return true;
    stamp = now;
    return false;
}

// ---- states -----------------------------------------------------------------

void SLC::next_state(State& to) {
    if (trace.state) {
        PutShortInfo(std::clog);
        std::clog << ": change state from \"" << state_name(get_state_id()) << "\" to \""
                  << state_name(to.get_state_id()) << "\"" << std::endl;
    }
    state->on_leave(*this);
    state = &to;
    state->on_enter(*this);
}

// An SIO from the far end means it is aligning too; SIN or SIE that it is
// proving already.
void SLC::start_alignment(Indication i) {
    if (i == SIO)
        next_state(aligned_state);
    else if (i == SIN || i == SIE)
        next_state(proving_state);
}

void SLC::on_enter(Idle&) {
    reset();
    lssu_tx(SIOS);
    on_deactivate(make_error(this, "impossible phasing"));
}

void SLC::on_enter(NotAligned&) {
    reset();
    start(T2);
    lssu_tx(SIO);
}

void SLC::on_enter(Aligned&) {
    start(T3);
    if (trace.timers) log(std::clog) << "set T3" << std::endl;
    lssu_tx(emergency ? SIE : SIN);
}

void SLC::lssu(Aligned&, Indication i) {
    if (i == SIN || i == SIE) next_state(proving_state);
}

void SLC::on_enter(Proving&) {
    start(emergency ? T4e : T4n);
    lssu_tx(emergency ? SIE : SIN);
    if (trace.timers) log(std::clog) << "set T4" << std::endl;
}

void SLC::lssu(Proving&, Indication i) {
    if (i != SIN && i != SIE) next_state(idle_state);
}

void SLC::on_enter(AlignedReady&) {
    start(T1);
    fisu_tx();
}

void SLC::on_enter(Worked&) {
    if (!tb.empty()) {
        log(std::cerr) << "discard " << tb.count() << " msu in TB" << std::endl;
        tb.clear();
    }
    reset();
    fisu_tx();
    process_tb();
    on_activate();
}

void SLC::lssu(Worked&, Indication i) {
    log(std::cerr) << "receive lssu: " << i << " " << DumpPtr(*this) << std::endl;
    next_state(idle_state);
}

// ---- timers -----------------------------------------------------------------

void SLC::timer_expired(const char* text, State& to) {
    if (trace.timers) log(std::clog) << text << std::endl;
    next_state(to);
}

void SLC::on_T1(Timer*) { timer_expired("T1 expired", idle_state); }
void SLC::on_T2(Timer*) { timer_expired("T2 expired", idle_state); }
void SLC::on_T3(Timer*) { timer_expired("T3 expired", idle_state); }
void SLC::on_T4(Timer*) { timer_expired("T4 expired.", aligned_ready_state); }

void SLC::on_T7(Timer*) {
    if (trace.timers) log(std::clog) << "T7 expired: " << rtbCount << " packets in RTB." << std::endl;
    next_state(idle_state);
}

// T7 is the only timer in service: a pending event is T7's and is moved
// rather than made anew, once per acknowledgement.
void SLC::restart_T7() {
    if (TimerEvent* e = timer.pending())
        e->schedule(T7.ms);
    else
        start(T7);
}

// ---- link status signal units -----------------------------------------------

// LSSUs carry fixed sequence numbers, bypass send() and its counters, and
// are never traced.
void SLC::lssu_tx(Indication i) {
    if (!hdlc) return;
    Packet p;
    if (!prepare_head(p)) return;
    p.put(uint8_t(i));
    p.push(1);
    p.push(0xFF);
    p.push(0xFF);
    hdlc->hdlc_transmit(p);
}

}  // namespace SS7
