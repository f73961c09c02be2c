#ifndef KORVAND_SLOTS_SWITCH_OUTPUT_H
#define KORVAND_SLOTS_SWITCH_OUTPUT_H

class Slot;

// A switch output carries one stream: two slots receiving on one channel
// would each take it for their own, a link of one silently replacing the
// other's and an unlink of one idling the channel the other still counts
// on. The slot kinds that name their receive channel freely check it here.

// The live slot, other than one being destroyed, that receives on
// `channel`; null when none does.
Slot* ReceivingSlot(int channel);

// True when no slot receives on `channel`; otherwise writes "<prefix>receive
// channel <channel> is held by <slot>" to the error stream.
bool OutputFree(int channel, const char* prefix);

#endif
