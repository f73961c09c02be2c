#ifndef KORVAND_LINKS_DLOGFRAME_H
#define KORVAND_LINKS_DLOGFRAME_H

#include <cstddef>
#include <cstdint>

namespace ISDN {

const size_t kLogBufSize = 1024;

// The text of the last frame printed; shared by every link, filled and
// written out within one call.
extern char logbuf[kLogBufSize];

}  // namespace ISDN

// Writes the trace text of one LAPD frame (its address and control field,
// and for SAPI 0 the Q.931 message inside it) into `out`: a hex line, the
// direction ("network->user" when `dir` is non-zero), the frame kind, the
// call reference and message type, and one block per information element.
//
// At most `size` characters are written, the terminating NUL included; a
// text that does not fit is cut with a visible mark. Nothing is read past
// the `len` octets of the frame: an element that claims more octets than
// the frame holds is printed with what is there and marked as cut short.
// A frame of fewer than 3 octets writes nothing at all, not even the NUL.
void dlogframe(const uint8_t* frame, int len, int dir, char* out, size_t size = ISDN::kLogBufSize);

// Prints one frame into logbuf and returns it. The printer writes nothing
// for a frame too short to print: the text is then empty rather than the
// last frame's.
const char* logframe(const uint8_t* frame, unsigned len, int dir);

// What marks a text cut at the end of the buffer.
extern const char* const kTraceCutMark;

// The names the printer gives a message type, an information element
// identifier and a Q.850 cause value; null for one it does not know.
const char* q931MessageName(uint8_t type);
const char* q931ElementName(uint8_t id);
const char* q850CauseText(uint8_t value);

#endif
