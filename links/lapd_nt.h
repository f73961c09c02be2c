#ifndef KORVAND_LINKS_LAPD_NT_H
#define KORVAND_LINKS_LAPD_NT_H

#include <cstdint>
#include <ostream>

#include "links/lapd_frame.h"
#include "links/lapd_state.h"
#include "protocol/clean_queue.h"
#include "protocol/protocol.h"
#include "runtime/timer.h"

namespace ISDN {

class LAPD_NT;

// One terminal of a BRI bus seen from the network side: its TEI and a
// simplified acknowledged-mode context. Every I frame it sends polls
// (P = 1); up to 7 are outstanding, the rest wait in `out_queue`, as do
// all while the terminal is busy.
class LAPD_NT_user {
public:
    enum LinkState : int32_t { unassigned = 0, assigned = 1, wait_answer = 2 };

    static const unsigned kIdleMs = 10000;    // silence before a poll
    static const unsigned kAnswerMs = 1000;   // for an answer to a poll or an I frame
    static const unsigned kCheckMs = 2000;    // for an identity check response
    static const uint32_t kRetries = 3;       // answer timer expiries before the TEI goes
    static const unsigned kWindow = 7;        // I frames outstanding
    static const unsigned kQueueLimit = 128;  // messages held; the oldest goes first

    LAPD_NT_user() = default;
    LAPD_NT_user(const LAPD_NT_user&) = delete;
    LAPD_NT_user& operator=(const LAPD_NT_user&) = delete;

    void set_lapd(LAPD_NT* owner) { lapd = owner; }
    void set_log(uint32_t level) { log = level; }
    // Assigns the context (SABME sent), or ends a running check.
    void assign();
    void unassign();
    // Starts the identity check of an assigned context.
    void checking();
    // A frame of this terminal: its header `f`, `info` at the octet after it.
    void receive(const Q921::Frame& f, Packet& info);
    // True when the message belongs to this terminal's call and was taken.
    bool message(Packet& m);
    void PutHeader(std::ostream& os) const;

    bool check_running = false;
    LAPD_NT* lapd = nullptr;
    Sequence vr, va, vs;
    uint8_t tei = 0;
    int32_t link_state = unassigned;
    Timer timer;        // idle timer or answer timer
    Timer check_timer;  // identity check answer timer
    uint32_t rc = 0;
    uint8_t call_ref = 0;  // of the last layer-3 message from the terminal
    bool busy = false;     // the terminal sent RNR
    uint32_t log = 0;
    CleanQueue<Packet, 135> out_queue;  // messages waiting to be sent
    CleanQueue<Packet, 7> sent_queue;   // sent and not acknowledged, without header
    uint16_t ri = 0;                    // of its last accepted check response

private:
    void on_I(Packet& info, bool p, Sequence ns, Sequence nr);
    void on_RR(bool pf, bool response, Sequence nr);
    void on_RNR(bool pf, bool response, Sequence nr);
    void on_REJ(bool pf, bool response, Sequence nr);
    void on_SABME(bool p);
    void on_DM();
    void on_DISC(bool p);
    void on_FRMR();
    void on_XID();
    void answer_poll(bool pf, bool response);

    bool tx_U(uint8_t code, bool pf, bool command);
    bool tx_S(uint8_t type, bool pf, bool command);
    bool tx_I(const Packet& m, Sequence ns);
    bool tx_header(uint8_t code, bool pf, bool command);

    void on_timer();
    void on_check_timer() { unassign(); }
    void retransmit();
    bool ack_queue(Sequence nr);
    void acknowledged();
    void set_busy();
    void set_unbusy();
    void send_waiting();
    void wait_for(LinkState s);
    void queue(Packet& m);

    std::ostream& line(const char* text) const;
};

// Layer 2 of a BRI D channel on the network side: TEI management for up to
// eight terminals, one LAPD_NT_user each. A SETUP from layer 3 is
// broadcast; other messages go to the terminal whose call reference they
// carry. Frames go down with transmit() and come up through receive().
class LAPD_NT : public Protocol {
public:
    static const unsigned kUsers = 8;
    static const unsigned kCheckPeriodMs = 60000;

    LAPD_NT();
    ~LAPD_NT() override;

    bool local_prepare_head(Packet& p) override { return p.reserve_head(4); }
    void local_activate() override;
    void local_deactivate() override;
    bool message(Packet& p) override;
    void receive(Packet& p) override;

    void send_to_layer3(Packet& p) { on_message(p); }
    bool send_to_layer1(Packet& p);
    bool tx_identity(uint16_t ri, uint8_t ai, uint8_t type);
    LAPD_NT_user* find_Tei(uint8_t tei);
    // A free context, its TEI set to `tei`, or for 127 to the lowest free
    // automatic TEI (64..126); null when none is free.
    LAPD_NT_user* find_free_Tei(uint8_t tei);
    void check_all_Tei();
    void PutHeader(std::ostream& os) const { os << "LAPD(NT BRI):"; }
    void set_log(uint32_t level);

    Timer check_timer;
    LAPD_NT_user users[kUsers];
    uint32_t log = 0;

private:
    friend class LAPD_NT_user;
    void on_tei_procedure(const Packet& info);
    void on_identity_request(uint16_t ri, uint8_t ai);
    void on_check_response(uint16_t ri, uint8_t ai);
    void remove_twice(uint8_t ai);
    bool line_on() const { return log != 0; }
    std::ostream& line() const;
};

}  // namespace ISDN

#endif
