#ifndef KORVAND_TESTS_LINKS_SS7_UNIT_HARNESS_H
#define KORVAND_TESTS_LINKS_SS7_UNIT_HARNESS_H

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "links/ss7_slc.h"
#include "protocol/protocol.h"
#include "tests/links/hdlc_pair.h"
#include "tests/support/capture.h"
#include "tests/support/test_clock.h"

typedef std::vector<uint8_t> Bytes;

typedef OneLink<SS7::SLC> LinkFamily;

// A signal unit as it comes off the line; LI is computed unless given.
inline Bytes unit(unsigned bsn, unsigned bib, unsigned fsn, unsigned fib, const Bytes& rest = {},
                  int li = -1) {
    return joined({uint8_t(bsn | bib << 7), uint8_t(fsn | fib << 7),
                   uint8_t(li >= 0            ? li
                           : rest.size() < 63 ? rest.size()
                                              : 63)},
                  rest);
}

// One link on a recording channel, on the test clock, with the far end
// played by hand.
struct SlcScript {
    explicit SlcScript(bool emergency = false) {
        link.hdlc = &recorder.end;
        link.emergency = emergency;
    }
    void feed(const Bytes& u) {
        Packet p = makePacket(u);
        link.receive(p);
    }
    void lssu(uint8_t status) { feed(unit(127, 1, 127, 1, {status})); }
    // Activated, SIN from the far end (proving), then a FISU: in service.
    void bring_up() {
        link.local_activate();
        lssu(SS7::SLC::SIN);
        feed(unit(127, 1, 127, 1));
    }
    bool send(const Bytes& msu) { return sendDown(family, msu); }
    const Bytes& last() const { return recorder.sent.back(); }

    TestClock clock;
    StreamCapture out{std::clog};
    StreamCapture err{std::cerr};
    RecordingChannel recorder;
    LinkFamily family;
    SS7::SLC& link = *family.link;
};

#endif
