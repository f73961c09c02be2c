#ifndef KORVAND_LINKS_LAPD_H
#define KORVAND_LINKS_LAPD_H

#include <cstdint>
#include <ostream>
#include <string>

#include "asn1/gen/acp.h"
#include "hardware/hdlc.h"
#include "links/lapd_frame.h"
#include "links/lapd_state.h"
#include "protocol/clean_queue.h"
#include "protocol/protocol.h"
#include "runtime/timer.h"

namespace ISDN {

// The ISDN layer-2 data link (Q.921 LAPD, modulo 128) of a point-to-point
// D channel, user or network side, PRI or BRI. One layer of its owner's
// protocol stack: layer-3 messages come down through message(), frames from
// the channel come up through on_hdlc_receive(), received information goes
// up with on_message(), establishment and release are reported as
// activation and deactivation, MDL errors and timer conflicts as statuses.
//
// The owner writes hdlc, side, trunk, log and notify after construction,
// calls change_to_bri() for a BRI D channel, stacks the link and passes its
// channel's events to it.
class LAPD : public Protocol, private LAPDFullState, public HDLC::Notify {
  public:
    // Told when the link's flow status changes; it must not destroy the
    // link from inside the call.
    class Notify {
      public:
        virtual ~Notify() = default;
        virtual void OnLAPD_FlowStatusChange(LAPD* link) = 0;
    };

    struct FlowStatus {
        enum Type { normal = 0, congested = 1 };
    };

    // An error status carrying a copy of the link's state when it was made.
    class Status : public Protocol_status_error {
      public:
        Status(LAPD* origin, const std::string& text, const LAPDFullState& state)
            : Protocol_status_error(origin, text), state(state) {}
        void out(std::ostream& os) const override;

        const LAPDFullState state;
    };

    struct Stats {
        uint32_t t200_expired = 0;
        uint32_t t202_expired = 0;
        uint32_t t203_expired = 0;
        uint32_t errors = 0;  // never incremented
        uint32_t retrains = 0;
        uint32_t out_overflows = 0;
        uint32_t ack_overflows = 0;
        uint32_t tx_count = 0;  // every DL-DATA request
        uint32_t rx_count = 0;  // I frames received in sequence
        uint32_t empty_messages = 0;
        uint32_t rejected = 0;  // I frames received out of sequence
        uint32_t bad_nr = 0;
        // Frames too short for their kind, dropped unread.
        uint32_t short_frames = 0;

        void out(std::ostream& os) const;
    };

    // Timers and counts of Q.921.
    static const unsigned kT200 = 1000;
    static const unsigned kT202 = 2000;
    static const unsigned kT203 = 10000;
    static const uint32_t kN200 = 3;
    static const uint32_t kN202 = 3;
    static const unsigned kWindow = 7;  // k
    // Above this many queued messages a new one is discarded.
    static const unsigned kOutLimit = 127;
    static const unsigned kCongestedAbove = 88;
    static const unsigned kNormalAtOrBelow = 64;

    // MDL error codes, as reported by on_error().
    enum Error : uint32_t {
        ErrorA = 1,
        ErrorB = 2,
        ErrorC = 4,
        ErrorD = 8,
        ErrorE = 16,
        ErrorF = 32,
        ErrorG = 64,
        ErrorH = 128,
        ErrorI = 256,
        ErrorJ = 512,
        ErrorK = 1024,
        TeiDenied = 32768,
    };

    LAPD(Side::type side, uint32_t log);
    ~LAPD() override;

    // Protocol
    const Protocol_name& name() const override;
    bool local_prepare_head(Packet& p) override;
    bool local_prepare_tail(Packet& p) override;
    void local_activate() override;    // DL-ESTABLISH request
    void local_deactivate() override;  // DL-RELEASE request
    bool message(Packet& p) override;  // DL-DATA request
    void receive(Packet& p) override;  // one frame from the channel

    virtual void PutHeader(std::ostream& os) const;

    // HDLC::Notify
    void on_hdlc_receive(Packet& frame) override;
    void on_hdlc_error(HDLC::Notify::Cause::Type cause) override;
    void on_hdlc_ready() override;

    virtual void mdl_assign(uint8_t tei);  // MDL-ASSIGN request
    virtual void on_mdl_assign();          // MDL-ASSIGN indication; does nothing
    virtual void mdl_remove();             // MDL-REMOVE request
    virtual void on_error(uint32_t code);  // MDL-ERROR indication

    void change_to_bri() { bri = true; }
    void change_flowstatus(FlowStatus::Type status);
    // Fills `info`; true when it differs from the record last reported.
    bool GetInfo(ACP::IsdnLinkInfo& info) const;

    Protocol_status_ptr status();
    void show_stat();
    const char* state_text() const { return statetext(state); }
    const LAPDFullState& fullState() const { return *this; }

    // The MDL error's text ("Other - Unknown" for a code without one).
    static const char* errorText(uint32_t code);

    GenericHDLC* hdlc = nullptr;
    Side::type side;
    uint32_t trunk = 0;
    uint32_t log;
    Notify* notify = nullptr;
    bool bri = false;
    uint16_t ri = 0;  // Ri of the last identity request
    Timer timer;      // T200, T202 and T203, one at a time
    Stats stats;
    FlowStatus::Type flow_status = FlowStatus::normal;
    mutable ACP::IsdnLinkInfo last_info;
    CleanQueue<Packet, 135> out_queue;  // messages waiting for transmission
    CleanQueue<Packet, 7> ack_queue;    // sent, not yet acknowledged (without header)

  private:
    enum TimerId { T200, T202, T203 };
    struct TimerSpec;
    static const TimerSpec kTimers[3];

    std::ostream& line() const;  // the log stream, after the header

    // ---- frames (lapd.cpp) ------------------------------------------------------
    void dispatch(const Q921::Frame& f, Packet& p);
    void on_SABME(bool pf, bool command);
    void on_UA(bool pf, bool command);
    void on_DM(bool pf, bool command);
    void on_DISC(bool pf, bool command);
    void on_FRMR(bool pf, bool command);
    void on_UI(Packet& info);
    void on_management(Packet& info);
    void logFrame(const char* name, bool command) const;
    void logFrame(const char* name, bool command, bool pf) const;

    bool tx_cmd_resp(uint8_t code, bool pf, bool command);
    void tx_UA(bool f) { tx_cmd_resp(Q921::kUA, f, false); }
    void tx_DM(bool f) { tx_cmd_resp(Q921::kDM, f, false); }
    bool tx_identity(uint16_t ri, uint8_t ai, uint8_t type);
    bool xmit(Packet& frame);
    void trace(const char* label, const Packet& frame, int dir) const;

    // ---- procedures (lapd.cpp) ----------------------------------------------------
    void establish_dl();
    void establish_by_layer3();  // establish, l3_initiated, state 4
    void reestablish();          // establish, not by layer 3, state 4
    void clear_exception();
    void discard_queue();
    void resetWindow();  // V(S), V(A), V(R) 0, acknowledgement queue empty
    void change_state(uint32_t next);
    void report(const std::string& text);
    void deactivated(const std::string& text, bool success = false);
    void BeginTeiAssignProcedure();
    uint16_t newRi();

    // ---- the shared timer (lapd.cpp) ------------------------------------------------
    bool& running(TimerId id);
    void start(TimerId id);
    void stop(TimerId id);
    void expired(TimerId id);
    void on_T200();
    void on_T202();
    void on_T203();
    void on_T200A();
    void on_T202A();
    void on_T203A();

    // ---- information transfer (lapd_transfer.cpp) ------------------------------------
    void local_events();
    void ack_queue_refreash();
    void queued_up();
    bool send_next_iframe();
    void ack_pending();
    bool tx_iframe(const Packet& info, bool p);
    void tx_enquiry();
    void tx_enquiry_response();
    bool nr_valid(Sequence nr) const;
    void nr_recovery();
    void retransmission(Sequence nr);
    void on_ICOM(Packet& info, bool p, Sequence ns, Sequence nr);
    void on_S(uint8_t type, bool pf, bool command, Sequence nr);
    void on_RR(bool pf, bool command, Sequence nr);
    void on_REJ(bool pf, bool command, Sequence nr);
    void on_RNR(bool pf, bool command, Sequence nr);
    void answer_poll(bool pf, bool command);
    void supervisory_in_recovery(uint8_t type, bool pf, bool command, Sequence nr);
    void t200_established();
    void t200_timer_recovery();
};

}  // namespace ISDN

#endif
