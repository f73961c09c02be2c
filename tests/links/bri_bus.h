#ifndef KORVAND_TESTS_LINKS_BRI_BUS_H
#define KORVAND_TESTS_LINKS_BRI_BUS_H

#include <memory>
#include <string>
#include <vector>

#include "links/lapd.h"
#include "links/lapd_nt.h"
#include "tests/links/hdlc_pair.h"

// A BRI D channel: the network side (ISDN::LAPD_NT) on one end of the
// kit's pair, user-side BRI links (ISDN::LAPD) on the other. On the
// terminals' side the channel is shared: every frame from the network
// reaches every plugged terminal, and every terminal sends through the
// same end.
class BriBus : public HDLC::Notify {
  public:
    typedef std::vector<uint8_t> Bytes;

    class Network : public OneLink<ISDN::LAPD_NT>, public HDLC::Notify {
      public:
        explicit Network(HdlcPair::End& end) : end(end) { end.bind(*this); }
        bool transmit(Packet& p) override { return end.hdlc_transmit(p); }
        void on_hdlc_receive(Packet& p) override { nt->receive(p); }
        void on_hdlc_error(Cause::Type) override {}
        void on_hdlc_ready() override {}

        HdlcPair::End& end;
        ISDN::LAPD_NT* nt = link;
    };

    class Terminal : public OneLink<ISDN::LAPD> {
      public:
        explicit Terminal(GenericHDLC& channel) : OneLink(new ISDN::LAPD(ISDN::Side::user, 0)) {
            link->hdlc = &channel;
            link->change_to_bri();
        }
        // Asks for a TEI and establishes the link.
        void start() {
            link->mdl_remove();
            link->activate();
        }
        unsigned tei() const { return link->fullState().self_tei; }

        bool plugged = true;  // an unplugged terminal hears nothing
    };

    explicit BriBus(uint32_t seed = 1) : pair(seed), network(pair.a) { pair.b.bind(*this); }
    ~BriBus() override { pair.b.unbind(); }

    Terminal& plug() {
        terminals.emplace_back(new Terminal(pair.b));
        return *terminals.back();
    }
    void open() { pair.open(); }

    void on_hdlc_receive(Packet& p) override {
        for (auto& t : terminals) {
            if (!t->plugged) continue;
            Packet copy = p;  // each terminal takes its header off its own copy
            t->link->on_hdlc_receive(copy);
        }
    }
    void on_hdlc_error(Cause::Type) override {}
    void on_hdlc_ready() override {
        for (auto& t : terminals) t->link->on_hdlc_ready();
    }

    HdlcPair pair;
    Network network;
    std::vector<std::unique_ptr<Terminal>> terminals;
};

// A Q.931 message with a one-octet call reference and `extra` octets.
inline BriBus::Bytes q931(uint8_t call_ref, uint8_t type, const BriBus::Bytes& extra = {}) {
    return joined({0x08, 0x01, call_ref, type}, extra);
}

#endif
