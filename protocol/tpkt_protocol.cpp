#include "protocol/tpkt_protocol.h"

#include <algorithm>
#include <iostream>

#include "runtime/measure.h"
#include "runtime/multiplexer.h"
#include "runtime/mux_clock.h"

const Tpkt_protocol::Handler Tpkt_protocol::handlers[] = {
    &Tpkt_protocol::receive_idle,  &Tpkt_protocol::receive_wait_r, &Tpkt_protocol::receive_len_1,
    &Tpkt_protocol::receive_len_2, &Tpkt_protocol::receive_body,
};

Tpkt_protocol::Tpkt_protocol() { resume.Bind(this, &Tpkt_protocol::drain); }

Tpkt_protocol::~Tpkt_protocol() { reset(); }

// ---- sending --------------------------------------------------------------------

bool Tpkt_protocol::message(Packet& p) {
    static Profile::Point point("Tpkt_protocol::message");
    point.begin();
    unsigned length = p.length();
    bool sent = false;
    if (length > max_payload) {
        // The 16-bit length would wrap and the peer would lose the framing.
        std::clog << name().name() << " TPKT message too long " << length << std::endl;
    } else if (!p.prepare_for_modify()) {
        std::clog << name().name() << " TPKT message dropped: no free packet." << std::endl;
    } else {
        p.push16_b(uint16_t(length + header_size));
        p.push(0);
        p.push(3);
        sent = transmit(p);
    }
    point.end();
    return sent;
}

bool Tpkt_protocol::local_prepare_head(Packet& p) { return p.reserve_head(header_size); }

bool Tpkt_protocol::local_prepare_tail(Packet& p) { return p.reserve_tail(0); }

// ---- activation -----------------------------------------------------------------

void Tpkt_protocol::local_activate() { reset(); }

void Tpkt_protocol::local_deactivate() {
    reset();
    on_deactivate(make_success(this, "TPKT deactivated"));
}

void Tpkt_protocol::reset() {
    ++resets;
    timer.reset();
    payload = Packet();
    next_state(idle);
    backlog.clear();
    resume.Deactivate();
    hold(false);
}

void Tpkt_protocol::hold(bool on) {
    if (held == on) return;
    held = on;
    if (lower()) lower()->hold_receive(on);
}

// ---- receiving ------------------------------------------------------------------

void Tpkt_protocol::receive(Packet& p) {
    if (!p.prepare_for_modify()) {
        // Octets cannot be taken from a shared chunk without a block to copy
        // it to; the frame in progress is lost with it.
        std::clog << name().name() << " TPKT chunk dropped: no free packet." << std::endl;
        reset();
        return;
    }
    if (deferred()) {
        // Behind the rest of the earlier chunks.
        backlog.emplace_back();
        backlog.back().swap(p);
        return;
    }
    if (take(p, Mux::microseconds())) settle();
}

void Tpkt_protocol::drain() {
    const uint32_t start = Mux::microseconds();
    while (!backlog.empty()) {
        Packet p;
        p.swap(backlog.front());
        backlog.pop_front();
        if (!take(p, start)) return;
    }
    settle();
}

// A delivery may end the connection (the layers above deactivate the stack,
// which resets this layer): the rest belonged to it and goes too.
bool Tpkt_protocol::take(Packet& p, uint32_t start) {
    const uint32_t stream = resets;
    if (consume(p, start)) return true;
    if (resets != stream) return false;
    backlog.emplace_front();
    backlog.front().swap(p);
    // Not waiting on the peer: no partial-frame time-out meanwhile.
    timer.reset();
    hold(true);
    resume.Activate();
    multiplexer.wake();
    return false;
}

// Everything received is used up: the layer below may read again, and an
// incomplete frame waits for the peer.
void Tpkt_protocol::settle() {
    resume.Deactivate();
    hold(false);
    if (current != idle)
        timer.set(partial_timeout_ms, &Tpkt_protocol::on_timeout, this);
    else
        timer.reset();
}

bool Tpkt_protocol::consume(Packet& p, uint32_t start) {
    const uint32_t stream = resets;
    delivered = false;
    while (p.length() > 0) {
        Handler handler = handlers[current];
        (this->*handler)(p);
        if (resets != stream) return false;
        if (!delivered) continue;
        delivered = false;
        if (p.length() > 0 && Mux::microseconds() - start >= delivery_budget_us) return false;
    }
    return true;
}

void Tpkt_protocol::on_timeout(Timer*) {
    std::clog << " TPKT packet timeout." << std::endl;
    reset();
}

void Tpkt_protocol::receive_idle(Packet& p) {
    if (p.pull() == 3)
        next_state(wait_r);
    else
        std::clog << name().name() << " bad TPKT packet start." << std::endl;
}

void Tpkt_protocol::receive_wait_r(Packet& p) {
    if (p.pull() == 0) {
        next_state(len_1);
    } else {
        std::clog << name().name() << " bad TPKT reserved." << std::endl;
        next_state(idle);
    }
}

void Tpkt_protocol::receive_len_1(Packet& p) {
    remaining = p.pull();
    next_state(len_2);
}

void Tpkt_protocol::receive_len_2(Packet& p) {
    remaining = remaining * 256 + p.pull();
    if (remaining < header_size) {
        std::clog << "TPKT too small " << remaining << std::endl;
        next_state(idle);
        return;
    }
    remaining -= header_size;
    payload = Packet();
    if (!payload.reserve_head(0))
        std::clog << name().name() << " TPKT frame dropped: no free packet." << std::endl;
    next_state(body);
    // An empty payload is complete now; waiting for an octet would take
    // one that belongs to the next frame.
    if (remaining == 0) deliver();
}

void Tpkt_protocol::receive_body(Packet& p) {
    unsigned n = std::min(p.length(), unsigned(remaining));
    if (!payload.is_null()) payload.put(p.data(), n);
    p.drop_head(n);
    remaining -= n;
    if (remaining == 0) deliver();
}

// The receiver is idle again before the payload goes up, so whatever the
// layers above do meanwhile (even deactivate the stack) finds it consistent.
void Tpkt_protocol::deliver() {
    Packet done;
    done.swap(payload);
    next_state(idle);
    delivered = true;
    if (!done.is_null()) on_message(done);
}
