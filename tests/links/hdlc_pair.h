#ifndef KORVAND_TESTS_LINKS_HDLC_PAIR_H
#define KORVAND_TESTS_LINKS_HDLC_PAIR_H

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "hardware/hdlc.h"
#include "protocol/packet.h"
#include "protocol/protocol.h"
#include "runtime/timer.h"

// Two HDLC channels wired back to back, for running two link protocols
// against each other in one process. A frame one end takes reaches the
// other end's listener from the event loop (a timer of the loop), never from
// inside hdlc_transmit, so the protocols see the same call order as on a
// real channel. Each direction can lose, corrupt or hold up frames, refuse
// them, and pace them at a line rate; with the test clock (runUntil) the
// protocol timers run in microseconds.
//
// Lifetime: the ends must outlive their listeners' use of them; destroying
// the pair drops the frames in flight.
class HdlcPair {
  public:
    using Frame = std::vector<uint8_t>;

    // What the line from one end to the other does to the frames that end
    // sends. Probabilities are drawn from the pair's seeded generator, so a
    // run repeats exactly.
    struct Line {
        double loss = 0;        // probability that a frame is lost
        double corruption = 0;  // probability that one bit of a frame flips
        unsigned capacity = 0;  // frames in flight before hdlc_transmit refuses; 0: no bound
        unsigned bitRate = 0;   // pacing, bits per second (64000: one time slot); 0: next loop pass
        // Sees every frame the end took, after the random faults; may change
        // it; returning false loses it.
        std::function<bool(Frame&)> tamper;
    };

    // Frames of one direction.
    struct Counters {
        unsigned lost = 0;       // lost on the line, or arrived where nobody listens
        unsigned corrupted = 0;  // sent on with a flipped bit
        unsigned refused = 0;    // refused by hdlc_transmit
    };

    class End : public GenericHDLC {
      public:
        explicit End(HdlcPair& pair) : pair_(pair) {}
        End(const End&) = delete;
        End& operator=(const End&) = delete;

        // Empty frames are taken and not sent, as the board's channel does.
        bool hdlc_transmit(Packet& frame) override;
        bool is_open() const override { return open_; }
        bool is_ready() const override { return open_ && !owesReady_; }

        void bind(HDLC::Notify& listener) { listener_ = &listener; }
        void unbind() { listener_ = nullptr; }
        // Opens the end; its listener hears on_hdlc_ready from the loop.
        void open();
        // The next `n` transmits are refused; each refusal is followed by
        // on_hdlc_ready from the loop.
        void refuse(unsigned n) { forcedRefusals_ += n; }

        // Frames in flight from this end.
        size_t inFlight() const { return queue_.size(); }

        Line line;            // towards the other end
        Counters counters;    // of the frames this end sends
        bool record = false;  // keep every frame this end takes in `sent`
        std::vector<Frame> sent;

      private:
        struct InFlight {
            Frame frame;
            uint32_t dueUs;
        };

        bool refuseNow();
        void deliverDue();
        void armDelivery();
        void owedReady();
        uint32_t lineTimeUs(size_t octets) const;

        friend class HdlcPair;
        HdlcPair& pair_;
        End* peer_ = nullptr;
        HDLC::Notify* listener_ = nullptr;
        bool open_ = false;
        bool owesReady_ = false;
        unsigned forcedRefusals_ = 0;
        uint32_t lineFreeUs_ = 0;
        std::deque<InFlight> queue_;  // oldest first
        Timer delivery_;
        Timer ready_;
    };

    explicit HdlcPair(uint32_t seed = 1);
    HdlcPair(const HdlcPair&) = delete;
    HdlcPair& operator=(const HdlcPair&) = delete;

    // Both ends opened.
    void open() {
        a.open();
        b.open();
    }

    // The frames in flight both ways.
    size_t inFlight() const { return a.inFlight() + b.inFlight(); }

    End a;
    End b;

  private:
    friend class End;
    bool chance(double p);
    size_t below(size_t n);

    std::mt19937 random_;
};

// One end of a pair that keeps every frame its link sends; the far end
// stays closed, so the frames go nowhere.
struct RecordingChannel {
    RecordingChannel() {
        end.record = true;
        end.open();
    }
    HdlcPair pair;
    HdlcPair::End& end = pair.a;
    std::vector<HdlcPair::Frame>& sent = end.sent;
};

// A packet holding `bytes`, read position at the first.
Packet makePacket(const HdlcPair::Frame& bytes, unsigned headRoom = 0);
HdlcPair::Frame bytesOf(const Packet& p);
// `head` followed by `tail`. Made at its full size and then filled: an
// insert at the end of a vector made from a short brace list is read by
// GCC 12, once inlined, as writing past the list (-Warray-bounds).
HdlcPair::Frame joined(std::initializer_list<uint8_t> head, const HdlcPair::Frame& tail);
// Hands `bytes` to the top of `family` as its layer 3 would; true when taken.
bool sendDown(ProtocolsFamily& family, const HdlcPair::Frame& bytes);

// A family holding one link of type L, alone in its stack, that writes
// down what the link reports to its layer 3.
template <class L>
class OneLink : public ProtocolsFamily {
  public:
    explicit OneLink(L* link = new L) : link(link) { add_protocol_tail(link); }
    void on_activated(Protocol*) override {
        ++activations;
        up = true;
    }
    void on_deactivated(Protocol*, Protocol_status_ptr s) override {
        up = false;
        downs.push_back(s->message());
    }
    void on_message(Packet& p) override { received.push_back(bytesOf(p)); }
    bool send(const HdlcPair::Frame& m) { return sendDown(*this, m); }

    L* link;  // owned by the stack
    int activations = 0;
    bool up = false;
    std::vector<std::string> downs;
    std::vector<HdlcPair::Frame> received;
};


#endif
