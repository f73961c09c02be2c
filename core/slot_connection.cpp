#include "core/slot_connection.h"

#include <iostream>

#include "core/slot.h"
#include "core/slot_switch.h"

// ---- the installed switch ---------------------------------------------------------

namespace {

SlotSwitch* installedSwitch = nullptr;

}  // namespace

SlotSwitch::~SlotSwitch() {
    if (installedSwitch == this) installedSwitch = nullptr;
}

SlotSwitch* SlotSwitch::Installed() {
    return installedSwitch;
}

void SlotSwitch::Install(SlotSwitch* s) {
    installedSwitch = s;
}

// ---- hardware halves --------------------------------------------------------------

bool llConnect(Slot& src, Slot& dst) {
    if (src.GetConnectionPriority() > dst.GetConnectionPriority()) return src.IHwConnectTransmitter(dst);
    return dst.IHwConnectReceiver(src);
}

bool llDisconnect(Slot& dst) {
    Slot* src = dst.GetSource();
    if (!src) return false;
    if (dst.GetConnectionPriority() > src->GetConnectionPriority()) return dst.IHwDisconnectReceiver(*src);
    return src->IHwDisconnectTransmitter(dst);
}

namespace {

SlotSwitch* Switch() {
    SlotSwitch* s = SlotSwitch::Installed();
    if (!s) std::cerr << "mux: no time-slot switch" << std::endl;
    return s;
}

}  // namespace

bool MuxConnect(Slot& src, Slot& dst) {
    int tx = src.IGetTransmitChannel();
    int rx = dst.IGetReceiveChannel();
    SlotSwitch* s = Switch();
    if (!s || !s->Connect(tx, rx)) return false;
    std::clog << "mux: slot " << src << " [" << tx << "] -> " << dst << " [" << rx << "]" << std::endl;
    return true;
}

bool MuxDisconnect(Slot& dst) {
    int rx = dst.IGetReceiveChannel();
    SlotSwitch* s = Switch();
    if (!s || !s->Disconnect(rx)) return false;
    std::clog << "mux: disconnect slot " << dst << " [" << rx << "]" << std::endl;
    return true;
}

// ---- links ------------------------------------------------------------------------

namespace {

// dst lost its source `old`: its input, and old's output when dst was its
// last receiver, are no longer needed.
void ReleaseLink(Slot& old, Slot& dst) {
    dst.IOnInputRelease();
    if (old.GetReceivers().empty()) old.IOnOutputRelease();
}

// A relink of dst failed after its hardware link from `old` was removed:
// put that link back, or else drop the logical link as well, so that the
// links the slots show are the ones the hardware carries.
void RestoreLink(Slot& old, Slot& dst) {
    if (llConnect(old, dst)) return;
    std::cerr << "slot " << dst << " relink failed, link from " << old << " dropped" << std::endl;
    dst.LogicalDisconnect();
    ReleaseLink(old, dst);
}

// The link src -> dst is not made: src's output, started for it, is
// released again when src feeds nobody.
void AbandonOutput(Slot& src) {
    if (src.GetReceivers().empty()) src.IOnOutputRelease();
}

}  // namespace

bool Connect(Slot& src, Slot& dst) {
    Slot* old = dst.GetSource();
    if (old == &src) return true;
    if (src.GetReceivers().empty()) {
        if (!src.IOnOutputStream()) {
            std::cerr << "slot " << src << " don't have output stream to " << dst << std::endl;
            return false;
        }
        src.OnChangeOutputStream(true);
    }
    if (!old) {
        if (!dst.IOnInputStream()) {
            std::cerr << "slot " << dst << " don't have input stream from " << src << std::endl;
            AbandonOutput(src);
            return false;
        }
        dst.OnChangeInputStream(true);
    } else {
        llDisconnect(dst);
    }
    if (llConnect(src, dst)) {
        if (old) {
            dst.LogicalDisconnect();
            if (old->GetReceivers().empty()) old->IOnOutputRelease();
        }
        dst.LogicalConnect(src);
        return true;
    }
    if (old)
        RestoreLink(*old, dst);
    else
        dst.IOnInputRelease();
    AbandonOutput(src);
    return false;
}

bool Disconnect(Slot& dst) {
    Slot* old = dst.GetSource();
    if (!old) return true;
    bool unlinked = llDisconnect(dst);
    dst.LogicalDisconnect();
    ReleaseLink(*old, dst);
    return unlinked;
}

void DisconnectReceivers(Slot& src, const char* line) {
    size_t n = src.GetReceivers().size();
    for (size_t i = 0; i < n; ++i) {
        if (src.GetReceivers().empty()) {
            std::cerr << line << std::endl;
            return;
        }
        Disconnect(*src.GetReceivers().front());
    }
}
