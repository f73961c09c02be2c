#ifndef KORVAND_TESTS_CORE_PROBE_SLOT_H
#define KORVAND_TESTS_CORE_PROBE_SLOT_H

#include <sstream>
#include <string>
#include <vector>

#include "core/slot.h"
#include "core/slot_factory.h"
#include "runtime/timer.h"

// What the probe slots did, in order: "out+ 01" (IOnOutputStream), "out- 01"
// (IOnOutputRelease), "in+ 02", "in- 02", "link by 02", "unlink by 01",
// "deleted 01".
inline std::vector<std::string>& journal() {
    static std::vector<std::string> entries;
    return entries;
}

// How the next probe slot behaves.
struct ProbeTraits {
    bool output = true;
    bool input = true;
    int priority = 0;
    // Finishes its destruction `releaseMs` after IBeforeDestroy.
    bool async = false;
    unsigned releaseMs = 100;
    // Reports its release from inside IBeforeDestroy, then says "later".
    bool releaseAtOnce = false;
    // While finishing its destruction, reports its release as soon as its
    // input goes.
    bool releaseWithInput = false;
};

// A slot kind for the framework's tests: the `ext` create parameters give
// its transmit and receive channels.
class ProbeSlot : public Slot {
public:
    ProbeSlot(int tx, int rx, const ProbeTraits& traits) : tx(tx), rx(rx), traits(traits) {}
    ~ProbeSlot() override { note("deleted"); }

    int GetConnectionPriority() const override { return traits.priority; }
    int IGetTransmitChannel() const override { return tx; }
    int IGetReceiveChannel() const override { return rx; }
    const char* GetName() const override { return "probe"; }

    bool IOnOutputStream() override { return note("out+"), traits.output; }
    bool IOnInputStream() override { return note("in+"), traits.input; }
    void IOnOutputRelease() override { note("out-"); }
    void IOnInputRelease() override {
        note("in-");
        if (traits.releaseWithInput && IsDestroying()) on_release();
    }

    bool IHwConnectTransmitter(Slot& receiver) override {
        return note("link by"), Slot::IHwConnectTransmitter(receiver);
    }
    bool IHwConnectReceiver(Slot& source) override { return note("link by"), Slot::IHwConnectReceiver(source); }
    bool IHwDisconnectTransmitter(Slot& receiver) override {
        return note("unlink by"), Slot::IHwDisconnectTransmitter(receiver);
    }
    bool IHwDisconnectReceiver(Slot& source) override {
        return note("unlink by"), Slot::IHwDisconnectReceiver(source);
    }

    bool IBeforeDestroy() override {
        if (traits.releaseAtOnce) {
            on_release();
            return false;
        }
        if (!traits.async) return true;
        release.set(traits.releaseMs, &ProbeSlot::OnReleased, this);
        return false;
    }
    // The release completes from the slot's own timer; the slot keeps
    // working on its members after reporting it.
    void OnReleased() {
        on_release();
        ++afterRelease;
        note("released");
    }

    int afterRelease = 0;

private:
    void note(const char* what) const {
        std::ostringstream entry;
        entry << what << ' ' << *this;
        journal().push_back(entry.str().substr(0, entry.str().find(':')));
    }

    int tx;
    int rx;
    ProbeTraits traits;
    Timer release;
};

// Builds probe slots from `ext` parameters, with the traits set in `next`;
// records the trunk states it is told and adds `share` modems to the
// resource report.
class ProbeFactory : public SlotFactory {
public:
    const char* GetName() const override { return "Probes"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override {
        if (!params.is_ext() || refuse) return nullptr;
        return new ProbeSlot(params.get_ext().get_transmitter().getValue(),
                             params.get_ext().get_receiver().getValue(), next);
    }
    void Query(LGCP::Resources& r) override { r.set_modem(r.get_modem().getValue() + share); }
    void SelfSignal(const LGCP::Signal& s) override { states.push_back(s.asValueNotation()); }

    ProbeTraits next;
    bool refuse = false;
    int share = 0;
    std::vector<std::string> states;
};

#endif
