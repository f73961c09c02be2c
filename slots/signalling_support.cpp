#include "slots/signalling_support.h"

#include "core/slot.h"
#include "core/slot_factory.h"

namespace ControllerData {

bool PoolAllows(unsigned blocks) {
    return Packet::free_blocks() >= kPoolReserve + blocks;
}

const char* SendDown(ProtocolsFamily& stack, const std::vector<char>& data) {
    if (!stack.top()) return "no link";
    Packet p;
    if (!PoolAllows(1) || !stack.prepare_head(p)) return "packet pool low";
    if (data.size() > p.tail_room()) return "too long for one frame";
    p.put(data.data(), unsigned(data.size()));
    return stack.message(p) ? nullptr : "discarded by the link";
}

}  // namespace ControllerData

LGCP::IoctlResponse HdlcLinkInfo(const HDLC& channel) {
    const HDLC::Counters& c = channel.counters();
    LGCP::IoctlResponse r;
    LGCP::HdlcLinkInfo& info = r.set_hdlcLinkInfo();
    info.set_txSU(int(c.txSU));
    info.set_txDiscard(int(c.txDiscard));
    info.set_txError(int(c.txError));
    info.set_txOverflow(int(c.txOverflow));
    info.set_rxSU(int(c.rxSU));
    return r;
}

void ForwardTrunkStatus(const SlotFactory& factory, const LGCP::Signal& signal) {
    if (!signal.is_trunkStatus()) return;
    const ACP::TrunkStatus& status = signal.get_trunkStatus();
    if (status.get_type().getValue() != ACP::TrunkType::e1) return;
    unsigned trunk = unsigned(status.get_trunk().getValue());
    ACP::TrunkState::NamedNumber state = ACP::TrunkState::NamedNumber(status.get_state().getValue());
    for (Slot* slot : factory.GetSlots()) slot->OnTrunkStatus(trunk, state);
}
