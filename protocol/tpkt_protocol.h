#ifndef KORVAND_PROTOCOL_TPKT_PROTOCOL_H
#define KORVAND_PROTOCOL_TPKT_PROTOCOL_H

#include <cstdint>
#include <deque>

#include "protocol/protocol.h"
#include "runtime/dpc.h"
#include "runtime/timer.h"

// TPKT framing (the packet header of RFC 1006) over a byte stream:
//   03 00 length-high length-low payload...
// where the length counts the whole frame, header included. Downwards each
// message gets the header; upwards frames are reassembled from arbitrary
// chunks and each payload goes up as one packet. A frame left incomplete
// for 3000 ms is dropped.
//
// Handing frames up is bounded: once a run has spent 1 ms on deliveries,
// the rest of the chunk waits for a deferred call on the next loop pass, and
// the layer below is held meanwhile, so a chunk of thousands of pipelined
// commands cannot starve the loop's timers and other descriptors. Nothing is
// lost and the order stays.
class Tpkt_protocol : public Protocol {
public:
    enum State { idle = 0, wait_r = 1, len_1 = 2, len_2 = 3, body = 4 };

    static const unsigned header_size = 4;
    static const unsigned max_payload = 65535 - header_size;
    static const unsigned partial_timeout_ms = 3000;
    // Delivery time after which a run leaves the rest for the next pass.
    static const unsigned delivery_budget_us = 1000;

    Tpkt_protocol();
    ~Tpkt_protocol() override;

    // Frames `p` (which needs 4 octets of head room, see local_prepare_head)
    // and passes it down. False when the payload is longer than a frame can
    // carry or the layers below did not take it.
    bool message(Packet& p) override;
    // Consumes all of `p`, handing up each completed payload: now or, past
    // the delivery budget, on the next passes (the layer then keeps the
    // octets left and `p` is emptied).
    void receive(Packet& p) override;
    bool local_prepare_head(Packet& p) override;
    bool local_prepare_tail(Packet& p) override;
    void local_activate() override;
    void local_deactivate() override;

    void reset();
    State state() const { return current; }
    bool timer_armed() const { return timer.armed(); }
    // Received octets wait for a later pass.
    bool deferred() const { return !backlog.empty(); }

private:
    typedef void (Tpkt_protocol::*Handler)(Packet&);
    static const Handler handlers[];

    void next_state(State s) { current = s; }
    void on_timeout(Timer*);
    void receive_idle(Packet& p);
    void receive_wait_r(Packet& p);
    void receive_len_1(Packet& p);
    void receive_len_2(Packet& p);
    void receive_body(Packet& p);
    void deliver();
    // The deferred call: runs the kept chunks through the state machine
    // until they are used up or the budget is spent.
    void drain();
    // Runs `p` through; false when it stopped early: a delivery reset the
    // layer, or the run that began at `start` has spent its budget and the
    // rest of `p` is kept for the next pass.
    bool take(Packet& p, uint32_t start);
    bool consume(Packet& p, uint32_t start);
    void settle();
    void hold(bool on);

    uint32_t remaining = 0;  // the length being read, then the payload octets left
    Timer timer;
    State current = idle;
    Packet payload;  // being reassembled; null between frames and while a frame is skipped
    uint32_t resets = 0;  // tells a receive that a delivery reset the layer
    bool delivered = false;  // a payload went up since the last look
    std::deque<Packet> backlog;  // received chunks not yet run through
    Dpc resume;  // goes on with the backlog
    bool held = false;  // the layer below is held
};

#endif
