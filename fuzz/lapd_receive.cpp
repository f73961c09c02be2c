// Drives a LAPD link into one of its eight states and then feeds it
// arbitrary frames, interleaved with timer expiries, layer-3 requests,
// refusals and readiness of its channel. After every step the link's own
// rules must hold: at most one logical timer runs and exactly then one
// expiry is armed, the acknowledgement queue holds at most the window.
//
// Input: one octet of configuration (bit 0 network side, bit 1 BRI,
// bits 2..4 the state to start in, bits 5..7 the log level), then steps:
// an octet whose low three bits choose the step; a frame step is followed
// by a length octet and that many octets (fewer at the end of the input).

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "links/lapd.h"
#include "runtime/multiplexer.h"
#include "runtime/mux_clock.h"

namespace {

uint64_t nowUs = 0;
uint64_t fakeClock() {
    return nowUs;
}

// The channel: takes frames unless told to refuse them.
class Channel : public GenericHDLC {
  public:
    bool hdlc_transmit(Packet& frame) override {
        if (refusing) return false;
        last.assign(frame.data(), frame.data() + frame.length());
        return true;
    }
    bool is_open() const override { return true; }
    bool is_ready() const override { return !refusing; }

    bool refusing = false;
    std::vector<uint8_t> last;
};

class Layer3 : public ProtocolsFamily {
  public:
    void on_activated(Protocol*) override {}
    void on_deactivated(Protocol*, Protocol_status_ptr) override {}
    void on_status(Protocol_status_ptr) override {}
    void on_message(Packet&) override {}
};

void check(const ISDN::LAPD& link) {
    const ISDN::LAPDFullState& s = link.fullState();
    int flags = s.t200_running + s.t202_running + s.t203_running;
    if (flags > 1 || (flags == 1) != link.timer.armed()) __builtin_trap();
    if (link.ack_queue.count() > ISDN::LAPD::kWindow || s.state > ISDN::TimerRecovery)
        __builtin_trap();
}

void frame(ISDN::LAPD& link, const std::vector<uint8_t>& octets) {
    Packet p;
    if (!p.reserve_head(0)) return;
    p.put(octets.data(), unsigned(octets.size()));
    link.receive(p);
}

// Lets the earliest timer expire.
void expire() {
    uint32_t expiry;
    if (!multiplexer.nextExpiry(expiry)) return;
    nowUs = uint64_t(expiry) * 1000;
    multiplexer.runOnce(0);
}

void dataRequest(Layer3& l3, uint8_t size) {
    Packet p;
    if (!l3.prepare_head(p)) return;
    for (unsigned i = 0; i < size; ++i) p.put(uint8_t(i));
    l3.message(p);
}

// Brings a fresh link to `state` the way its procedures do.
void reach(ISDN::LAPD& link, unsigned state, Layer3& l3) {
    const uint8_t ua[] = {uint8_t(link.side == ISDN::Side::network ? 2 : 0), 1, 0x73};
    switch (state) {
        case ISDN::TeiUnassigned:
            return link.mdl_remove();
        case ISDN::AssignAwaitingTei:
            link.mdl_remove();
            return dataRequest(l3, 4);
        case ISDN::EstablishAwaitingTei:
            link.mdl_remove();
            return link.local_activate();
        case ISDN::AwaitingEstablishment:
            return link.local_activate();
        case ISDN::AwaitingRelease:
        case ISDN::MultipleFrameEstablished:
        case ISDN::TimerRecovery:
            link.local_activate();
            frame(link, std::vector<uint8_t>(ua, ua + 3));
            if (state == ISDN::AwaitingRelease) link.local_deactivate();
            if (state == ISDN::TimerRecovery) expire();  // T203
            return;
        default:
            return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        std::clog.rdbuf(nullptr);  // the link's log lines go nowhere
        Mux::setClockSource(fakeClock);
        return true;
    }();
    (void)once;
    FuzzInput in(data, size);
    uint8_t config = in.byte();
    unsigned state = (config >> 2) & 7;
    Channel channel;
    Layer3 l3;
    auto* link = new ISDN::LAPD(config & 1 ? ISDN::Side::network : ISDN::Side::user, config >> 5);
    link->hdlc = &channel;
    if ((config & 2) || state == ISDN::AssignAwaitingTei || state == ISDN::EstablishAwaitingTei)
        link->change_to_bri();
    l3.add_protocol_tail(link);
    reach(*link, state, l3);
    check(*link);
    while (!in.empty()) {
        uint8_t step = in.byte();
        switch (step & 7) {
            case 0:
            case 1:
            case 2: {
                std::string octets = in.bytes(in.byte());
                frame(*link, std::vector<uint8_t>(octets.begin(), octets.end()));
                break;
            }
            case 3:
                expire();
                break;
            case 4:
                dataRequest(l3, step >> 3);
                break;
            case 5:
                step & 8 ? link->local_activate() : link->local_deactivate();
                break;
            case 6:
                step & 8 ? link->mdl_remove() : link->mdl_assign(uint8_t(step >> 4));
                break;
            case 7:
                channel.refusing = step & 8;
                link->on_hdlc_ready();
                break;
        }
        check(*link);
    }
    return 0;
}
