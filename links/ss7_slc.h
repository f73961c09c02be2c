#ifndef KORVAND_LINKS_SS7_SLC_H
#define KORVAND_LINKS_SS7_SLC_H

#include <cstdint>
#include <ostream>

#include "hardware/hdlc.h"
#include "protocol/clean_queue.h"
#include "protocol/cyclic.h"
#include "protocol/packet.h"
#include "protocol/protocol.h"
#include "runtime/timer.h"

namespace SS7 {

// Level 2 of the SS7 message transfer part (Q.703) for one signalling link
// over one HDLC channel: initial alignment and proving, link status signal
// units, and basic error correction with a transmission buffer (TB) and a
// retransmission buffer (RTB) in service. It is the only layer of its
// owner's protocol family; message signal units come down through
// message() and the accepted ones go up through on_message().
//
// Calling order for an owner: construct; set `hdlc`, `trunk`, `slc`, `dpc`,
// `opc` and `emergency`; stack it; relay the channel's events; activate.
class SLC : public Protocol, public HDLC::Notify {
public:
    // The status field of an LSSU. A received status octet is kept whole,
    // so values above 3 exist as well.
    enum Indication : uint8_t { SIO = 0, SIN = 1, SIE = 2, SIOS = 3 };

    // The per-state behaviour: each operation calls the link's member of
    // the same name overloaded on the state's own class (see TState).
    class State {
    public:
        // The values are those of ACP::SS7State.
        enum type { idle = 0, not_aligned = 1, aligned = 2, proving = 3, aligned_ready = 4, worked = 5 };

        explicit State(type id) : id(id) {}
        virtual ~State() = default;
        State(const State&) = delete;
        State& operator=(const State&) = delete;

        virtual void on_enter(SLC& l) = 0;
        virtual void on_leave(SLC& l) = 0;
        virtual void fisu(SLC& l) = 0;
        virtual void lssu(SLC& l, Indication i) = 0;
        virtual void msu(SLC& l, Packet& p) = 0;
        virtual void message(SLC& l, Packet& p) = 0;
        virtual type get_state_id() const { return id; }

    private:
        const type id;
    };

    // A state of type N that derives from Base. Overload resolution picks
    // the link's member for this very class, else the one for Base; those
    // taking a plain State do nothing.
    template <State::type N, class Base>
    class TState : public Base {
    public:
        explicit TState(State::type id = N) : Base(id) {}
        void on_enter(SLC& l) override { l.on_enter(*this); }
        void on_leave(SLC& l) override { l.on_leave(*this); }
        void fisu(SLC& l) override { l.fisu(*this); }
        void lssu(SLC& l, Indication i) override { l.lssu(*this, i); }
        void msu(SLC& l, Packet& p) override { l.msu(*this, p); }
        void message(SLC& l, Packet& p) override { l.message(*this, p); }
    };

    typedef TState<State::idle, State> Idle;
    typedef TState<State::not_aligned, State> NotAligned;
    typedef TState<State::aligned, State> Aligned;
    typedef TState<State::proving, State> Proving;
    // Shares the unit handling of "proving"; has its own entry and exit.
    typedef TState<State::aligned_ready, Proving> AlignedReady;
    typedef TState<State::worked, State> Worked;

    // The trace switches, in the order of LGCP::SS7L2Log; all off at first.
    struct Traces {
        bool state = false;
        bool raw_receive = false;
        bool raw_transmit = false;
        bool mtp_transmit = false;
        bool mtp_receive = false;
        bool mtp_activate = false;
        bool timers = false;
        bool msu_processing = false;
    };

    // In the order of the ACP::SS7LinkInfo fields of the same names.
    struct Statistics {
        uint32_t msuTxCount = 0;    // MSUs and FISUs the channel took
        uint32_t msuRxCount = 0;    // received units of three octets or more
        uint32_t octetsTx = 0;      // octets of those sent, header included
        uint32_t octetsRx = 0;      // octets of every unit received
        uint32_t overflowCntr = 0;  // MSUs refused by a full TB
        uint32_t rtbSize = 0;       // MSUs in the RTB when read
        uint32_t repeatCntr = 0;    // retransmissions started
        uint32_t badSeqCntr = 0;    // negative acknowledgements sent
    };

    // One entry of the timer table.
    struct TimerEntry {
        unsigned ms;
        void (SLC::*handler)(Timer*);
    };
    static const TimerEntry T1, T2, T3, T4n, T4e, T5, T6, T7;

    typedef Cyclic<unsigned, 127u> Seq;

    // Prints " BSN=.. BIB=.. FSN=.. FIB=..", the fields of the last
    // received unit.
    class DumpPtr {
    public:
        explicit DumpPtr(const SLC& l) : l(l) {}
        void Put(std::ostream& os) const;

    private:
        const SLC& l;
    };

    // New MSUs are admitted while the TB holds fewer than this.
    static const unsigned kTbLimit = 200;
    // The RTB never holds more (FSNs are modulo 128).
    static const unsigned kRtbLimit = 127;

    SLC();
    ~SLC() override;

    // Protocol
    bool compare_name(const Protocol_name& other) const override { return layer_name.compare(other); }
    const Protocol_name& name() const override { return layer_name; }
    bool local_prepare_head(Packet& p) override { return p.reserve_head(kHeader); }
    void local_activate() override;
    void local_deactivate() override;
    bool message(Packet& p) override;
    void receive(Packet& p) override;
    void protocol_info(std::ostream& os) override { os << layer_name.name(); }

    // HDLC::Notify
    void on_hdlc_receive(Packet& p) override { receive(p); }
    void on_hdlc_error(HDLC::Notify::Cause::Type cause) override;
    void on_hdlc_ready() override;

    // The layer-1 state of the trunk changed.
    void OnTrunkHardStatus(bool up);

    // Puts the header in front of a unit and hands it to the channel; true
    // when the channel took it.
    bool send(Packet p);
    // Moves MSUs from the TB to the channel and the RTB, or sends a FISU
    // when the TB is empty. Only in service.
    void process_tb();
    Statistics statistics();
    // True when called within a second of the last call that returned false.
    bool CoutCongestion();
    bool send_msu(Packet& p);

    const State& current() const { return *state; }
    State::type get_state_id() const { return state->get_state_id(); }
    unsigned BSN() const { return BSNT; }
    unsigned tb_count() const { return tb.count(); }
    unsigned rtb_count() const { return rtbCount; }

    // "SS7/L2 [dpc=.., slc=.., trunk=..] (state): "
    void PutHeader(std::ostream& os) const;
    // The same up to the "]".
    void PutShortInfo(std::ostream& os) const;

    // What the owner writes.
    GenericHDLC* hdlc = nullptr;
    unsigned trunk = 0;
    unsigned slc = 0;
    unsigned dpc = 0;
    unsigned opc = 0;  // kept, not used
    bool emergency = false;
    Traces trace;

private:
    static const unsigned kHeader = 3;
    // Service information octet and at least two octets of information.
    static const unsigned kMsuMin = 3;

    // Entry, exit and reactions, by state.
    void on_enter(State&) {}
    void on_leave(State&) {}
    void fisu(State&) {}
    void lssu(State&, Indication) {}
    void msu(State&, Packet&) {}
    void message(State&, Packet&) {}

    void on_enter(Idle&);
    void lssu(Idle&, Indication i) { start_alignment(i); }
    void on_enter(NotAligned&);
    void on_leave(NotAligned&) { timer.reset(); }
    void lssu(NotAligned&, Indication i) { start_alignment(i); }
    void on_enter(Aligned&);
    void on_leave(Aligned&) { timer.reset(); }
    void lssu(Aligned& s, Indication i);
    void on_enter(Proving&);
    void on_leave(Proving&) { timer.reset(); }
    void fisu(Proving&) { next_state(worked_state); }
    void lssu(Proving& s, Indication i);
    void msu(Proving&, Packet&) { next_state(worked_state); }
    void on_enter(AlignedReady&);
    void on_leave(AlignedReady&) { timer.reset(); }
    void on_enter(Worked&);
    void on_leave(Worked&) { timer.reset(); }
    void fisu(Worked&);
    void lssu(Worked& s, Indication i);
    void msu(Worked&, Packet& p);
    void message(Worked&, Packet& p);

    void on_T1(Timer*);
    void on_T2(Timer*);
    void on_T3(Timer*);
    void on_T4(Timer*);
    void on_T5(Timer*) {}
    void on_T6(Timer*) {}
    void on_T7(Timer*);

    void next_state(State& to);
    void start_alignment(Indication i);
    void start(const TimerEntry& t) { timer.set(t.ms, t.handler, this); }
    void restart_T7();
    void timer_expired(const char* text, State& to);

    void reset();
    void lssu_tx(Indication i);
    bool fisu_tx();

    // Basic error correction.
    void refresh_expectations();
    bool unexpected_fib();
    bool tolerate_once(bool& seen, const char* text);
    bool process_bsnr();
    void ack();
    void nack();
    void retransmit();
    bool put_to_tb(Packet& p);
    bool in_service() const { return state == &worked_state; }

    // Log lines.
    std::ostream& log(std::ostream& os) const;
    void log_octets(const char* keyword, const Packet& p) const;

    // The last received unit.
    Seq BSNR = 127;
    Seq FSNR = 127;
    unsigned BIBR = 1;
    unsigned FIBR = 1;
    uint8_t LI = 0;
    // What is sent.
    Seq BSNT = 127;
    unsigned BIBT = 1;
    Seq FSNT = 127;
    unsigned FIBT = 1;
    // What a received FISU or MSU is judged against.
    Seq FSNX = 127;
    unsigned FIBX = 1;
    unsigned BIBX = 1;
    bool retransmission_requested = false;
    bool bad_bsn = false;
    bool bad_fib = false;

    // MSUs sent and not acknowledged, FSNF to FSNL, indexed by FSN.
    Packet rtb[128];
    Seq FSNF = 0;
    Seq FSNL = 127;
    unsigned rtbCount = 0;
    // MSUs waiting to be sent, oldest first: 200 new ones and up to 127
    // put back in front by a retransmission.
    CleanQueue<Packet, kTbLimit + kRtbLimit> tb;

    Timer timer;
    Idle idle_state;
    NotAligned not_aligned_state;
    Aligned aligned_state;
    Proving proving_state;
    AlignedReady aligned_ready_state;
    Worked worked_state;
    State* state = &idle_state;
    Protocol_name_str layer_name{"MTP/L2"};
    uint32_t stamp;
    Statistics stats;
};

std::ostream& operator<<(std::ostream& os, const SLC::DumpPtr& d);
std::ostream& operator<<(std::ostream& os, SLC::Indication i);
const char* state_name(SLC::State::type t);

}  // namespace SS7

#endif
