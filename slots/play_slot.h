#ifndef KORVAND_SLOTS_PLAY_SLOT_H
#define KORVAND_SLOTS_PLAY_SLOT_H

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "protocol/async_connect.h"
#include "protocol/async_copy.h"
#include "runtime/dpc.h"
#include "runtime/fd.h"
#include "slots/voice_slot.h"

// A player: an MCC channel whose transmit side the daemon feeds. Its
// copier and connector are members that stop rather than go away, so no
// engine is ever deleted from inside one of its own callbacks; a
// completion with status Stopped is the slot's own doing and is ignored.
class PlaySlotGeneric : public VoiceSlot {
public:
    // Takes a duplicate of the allocated channel.
    PlaySlotGeneric(VoiceFactory& factory, int timeslot, Fd channel);
    ~PlaySlotGeneric() override;

    bool IBeforeDestroy() override;
    int IGetTransmitChannel() const override { return timeslot; }
    const char* GetName() const override { return "player"; }

    // "player[" timeslot "]: "
    void PutHeader(std::ostream& os) const;

protected:
    VoiceFactory& factory;
    int timeslot;
    Fd fd;
};

// Plays what a TCP peer sends: on the first connection as a source it
// connects, tells the controller `startPlaying`, sends the peer the 4-byte
// id (big-endian) and copies the socket into the channel until the peer
// closes; then (or when the connect fails) Signal `abort` 0.
class PlaySlotNetwork : public PlaySlotGeneric {
public:
    enum State { idle, connecting, playing, released };

    PlaySlotNetwork(VoiceFactory& factory, int timeslot, Fd channel, const std::string& host, int id);

    bool IOnOutputStream() override;

    State GetState() const { return state; }

private:
    void OnConnect(ASync::Connect::Status::Type status, Fd socket);
    void OnCopy(ASync::Copy::Status::Type status);
    void Release();

    std::string host;
    int id;
    State state = idle;
    ASync::Copy copier;
    ASync::Connect connector;
};

// Plays a list of phrase files from "/usr/local/voice/" (below the
// filesystem root), `repeat` times (0: until destroyed). Names that are
// absolute, hold a ".." component or a NUL, and files that are no regular
// files are skipped like files that do not open. A pass that plays no byte
// ends the playing as a list without a playable phrase does: Signal `abort`
// 0, once.
class PlaySlotFile : public PlaySlotGeneric {
public:
    static const unsigned kBufferSize = 8192;

    PlaySlotFile(VoiceFactory& factory, int timeslot, Fd channel, const std::vector<std::string>& names,
                 int repeat);
    ~PlaySlotFile() override { file.close(); }

    bool IOnOutputStream() override;

    // The descriptor of the phrase file `name`, or -1 when it may not or
    // cannot be played.
    static Fd OpenPhrase(const std::string& name);

    // The passes still allowed (0: endless).
    int Repeat() const { return repeat; }
    bool Ended() const { return ended; }

private:
    bool restart();
    bool next_phrase();
    void OnCopy(ASync::Copy::Status::Type status);
    void delayed_abort();
    // Nothing (more) to play: Signal `abort` 0.
    void Unplayable();
    void Release();

    ASync::Copy copier;
    Fd file;
    int repeat;
    bool started = false;
    bool ended = false;
    Dpc abortCall;
    std::vector<std::string> names;
    size_t position = 0;
    uint64_t passBytes = 0;  // played in the current pass
};

#endif
