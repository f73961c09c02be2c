// Arbitrary signal units into an SS7 link in every state, mixed with MSUs
// from above, channel refusals and ready reports, timer expiries, trunk
// loss and (de)activation. Every unit the link sends must carry the LI of
// its length, the buffers must keep their bounds, nothing may be held
// outside service, and every packet must come back to the pool.
//
// Input: one octet [state 0..5 | emergency 0x08 | traces 0x10], then
// operations: an octet whose low three bits choose it, followed for units
// and MSUs by a length octet and the octets.


#include "fuzz/fuzz_input.h"
#include "fuzz/link_fuzz.h"
#include "links/ss7_slc.h"

namespace {

using LinkFuzz::require;
using SS7::SLC;

// Checks every unit it is given; refuses while told to.
struct Channel : GenericHDLC {
    bool hdlc_transmit(Packet& u) override {
        if (refuse) return false;
        unsigned n = u.length();
        require(n >= 3 && u[2] == (n - 3 < 63 ? n - 3 : 63));
        return true;
    }
    bool is_open() const override { return true; }
    bool is_ready() const override { return !refuse; }
    bool refuse = false;
};

void feed(SLC& link, const uint8_t* unit, unsigned n) {
    Packet p;
    if (!p.reserve_head(0)) return;
    p.put(unit, n);
    link.receive(p);
}

// Moves the clock on until the link's pending timer has fired.
void expire(const SLC& link) {
    SLC::State::type before = link.get_state_id();
    for (int step = 0; step < 460 && multiplexer.timerCount() > 0 && link.get_state_id() == before; ++step) {
        LinkFuzz::now() += 100000;
        multiplexer.runOnce(0);
    }
}

void bring_to(SLC& link, unsigned state) {
    static const uint8_t sio[] = {0xFF, 0xFF, 1, SLC::SIO}, sin[] = {0xFF, 0xFF, 1, SLC::SIN}, fisu[] = {0xFF, 0xFF, 0};
    if (state == 0) return;
    link.local_activate();
    if (state == 2) feed(link, sio, sizeof sio);
    if (state >= 3) feed(link, sin, sizeof sin);
    if (state == 4) expire(link);
    if (state == 5) feed(link, fisu, sizeof fisu);
}

void check(const SLC& link) {
    require(link.rtb_count() <= SLC::kRtbLimit);
    require(link.tb_count() <= SLC::kTbLimit + SLC::kRtbLimit);
    require(link.get_state_id() >= SLC::State::idle && link.get_state_id() <= SLC::State::worked);
    if (link.get_state_id() != SLC::State::worked) require(link.rtb_count() == 0);
}

void run(FuzzInput& in) {
    Channel channel;
    SLC link;
    link.hdlc = &channel;
    uint8_t setup = in.byte();
    link.emergency = setup & 0x08;
    if (setup & 0x10) link.trace = {true, true, true, true, true, true, true, true};
    bring_to(link, setup % 8 % 6);
    while (!in.empty()) {
        uint8_t op = in.byte();
        switch (op & 7) {
            case 0: {
                Packet p = LinkFuzz::packet(in, 0);
                if (p) link.receive(p);
                break;
            }
            case 1: {
                Packet p = LinkFuzz::packet(in, op & 8 ? 0 : 3);
                if (p) link.message(p);
                break;
            }
            case 2: link.on_hdlc_ready(); break;
            case 3: channel.refuse = !channel.refuse; break;
            case 4: expire(link); break;
            case 5: link.local_activate(); break;
            case 6: link.local_deactivate(); break;
            case 7: link.OnTrunkHardStatus(op & 8); break;
        }
        check(link);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LinkFuzz::setUp();
    FuzzInput in(data, size);
    run(in);
    LinkFuzz::requireReleased();
    return 0;
}
