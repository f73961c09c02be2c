#ifndef KORVAND_SLOTS_VOICE_SLOT_H
#define KORVAND_SLOTS_VOICE_SLOT_H

#include <string>
#include <vector>

#include "board/mcc_driver.h"
#include "core/slot.h"
#include "core/slot_factory.h"

// Voice play and record: slots that copy voice samples between a byte
// channel of the MCC controller and a file or a TCP peer, on the event loop
// (the players in play_slot.h, the recorder in record_slot.h).

class PlaySlotGeneric;
class RecordSlot;

// The base of the three kinds.
class VoiceSlot : public Slot {};

// "a.b.c.d:port", the form the asynchronous connect parses.
std::string dhost2str(const TERM::HostAddress& host);

// Builds voice slots (`voice` parameters): a recorder for `record`, a
// network or file player for `player`, each on its own MCC channel.
class VoiceFactory : public SlotFactory {
public:
    static const unsigned kConnectTimeoutMs = 5000;

    VoiceFactory() = default;

    const char* GetName() const override { return "Voice/mcc"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override;
    // Voice channels are counted with the MCC channels.
    void Query(LGCP::Resources&) override {}

    Slot* CreatePlay(const LGCP::PlayerParams& params);
    Slot* CreateRecord(const std::string& host);

    void OnDestroy(RecordSlot* slot);
    void OnDestroy(PlaySlotGeneric* slot);

    // The live slots, in creation order.
    const std::vector<PlaySlotGeneric*>& Players() const { return players; }
    const std::vector<RecordSlot*>& Recorders() const { return recorders; }

private:
    // Opens "/dev/mcc/ctl" with `access` and allocates a channel with
    // `record`: its descriptor and TDM channel, or -1 after the failure line.
    int OpenChannel(int access, const char* use, const Mcc::Allocate& record, int& timeslot);

    std::vector<RecordSlot*> recorders;
    std::vector<PlaySlotGeneric*> players;
};

#endif
