#ifndef KORVAND_CORE_SLOT_CONNECTION_H
#define KORVAND_CORE_SLOT_CONNECTION_H

class Slot;

// Links between slots. A link feeds the output of a source into the input
// of a receiver and has two halves: the logical link (Slot's source and
// receivers) and the hardware link, by default a time-slot switch
// connection from the source's transmit channel to the receiver's receive
// channel. The first receiver of a slot starts its output, the last one
// releases it; a source starts the receiver's input, its loss releases it.

// Links src's output to dst's input (dst leaves a previous source). False
// when either side cannot stream or the hardware link fails; a relink that
// fails puts the previous link back where it can.
bool Connect(Slot& src, Slot& dst);
// Unlinks dst from its source; true when dst had none. The logical link
// is removed even when the hardware unlink fails.
bool Disconnect(Slot& dst);
// Unlinks every receiver of src, one by one; writes `line` on the error
// stream and stops should the list run out before its first count.
void DisconnectReceivers(Slot& src, const char* line);

// The hardware halves: the slot with the higher connection priority acts;
// on a tie the receiver links and the source unlinks.
bool llConnect(Slot& src, Slot& dst);
bool llDisconnect(Slot& dst);

// The default hardware halves, through the installed switch, with a log
// line on success.
bool MuxConnect(Slot& src, Slot& dst);
bool MuxDisconnect(Slot& dst);

#endif
