#include "tests/links/golden_frames.h"
#include "tests/links/ss7_unit_harness.h"

namespace {

using SS7::SLC;

Bytes msu(unsigned n) {
    Bytes b(n);
    for (unsigned i = 0; i < n; ++i) b[i] = uint8_t(i == 0 ? 0x83 : i);
    return b;
}

}  // namespace

std::vector<GoldenUnit> ss7GoldenUnits() {
    std::vector<GoldenUnit> units;
    auto add = [&](const char* name, const Bytes& octets, const char* fields) {
        units.push_back({name, octets, fields});
    };
    {
        SlcScript s;
        s.link.local_deactivate();
        add("lssu_sios", s.last(), "127 1 127 1 1 3");
        s.link.local_activate();
        add("lssu_sio", s.last(), "127 1 127 1 1 0");
        s.feed(unit(127, 1, 127, 1, {SLC::SIO}));
        add("lssu_sin", s.last(), "127 1 127 1 1 1");
    }
    {
        SlcScript s(true);
        s.link.local_activate();
        s.feed(unit(127, 1, 127, 1, {SLC::SIO}));
        add("lssu_sie", s.last(), "127 1 127 1 1 2");
    }
    SlcScript s;
    s.bring_up();
    add("fisu_in_service", s.last(), "127 1 127 1 0 -");
    s.send(msu(3));
    add("msu_first", s.last(), "127 1 0 1 3 -");
    s.send(msu(62));
    add("msu_li62", s.last(), "127 1 1 1 62 -");
    s.send(msu(63));
    add("msu_li63", s.last(), "127 1 2 1 63 -");
    s.send(msu(273));
    add("msu_longest", s.last(), "127 1 3 1 63 -");
    for (uint8_t fsn = 0; fsn <= 5; ++fsn) s.feed(unit(127, 1, fsn, 1, msu(4)));
    add("fisu_ack", s.last(), "5 1 3 1 0 -");
    s.feed(unit(127, 1, 7, 1, msu(4)));  // FSN 6 lost
    add("fisu_nack", s.last(), "5 0 3 1 0 -");
    s.feed(unit(1, 0, 6, 0, msu(4)));  // 0 and 1 acknowledged, 2 and 3 asked again
    add("msu_retransmitted", s.recorder.sent[s.recorder.sent.size() - 3], "5 0 2 0 63 -");
    add("fisu_ack_after_retransmission", s.last(), "6 0 3 0 0 -");
    return units;
}
