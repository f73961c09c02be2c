#ifndef KORVAND_SLOTS_MIXER_SLOT_H
#define KORVAND_SLOTS_MIXER_SLOT_H

#include <iosfwd>
#include <vector>

#include "board/mixer_driver.h"
#include "board/voice_driver.h"
#include "core/slot.h"
#include "core/slot_factory.h"
#include "hardware/slot_dsp_events.h"

// Mixer inputs and outputs: TDM channels of the board's mixers, which sum
// channels into other channels. An input's signal is added into a
// summator channel; an output carries the sum of a list of input channels,
// each with its own gain. Both carry the tone and voice-processing DSP
// services of their channel.
namespace Mixer {

// Opens "/dev/mixer", issues the one request, closes it; the request's
// result, with its errno kept across the close (-1 with the open's errno
// when the device does not open). No descriptor stays open.
int mixer_ctl(unsigned long request, void* argument);

class Mixer;
class MixerFactory;

// The base of both kinds.
class MixerSlot : public Slot {};

// What both kinds hold: a channel of a mixer, its board TDM channel and the
// channel's DSP services. The slot leaves its mixer when it is released or
// deleted, and turns off what the channel left on in the DSPs.
class MixerChannelSlot : public MixerSlot, protected Hardware::SlotDspEvents {
public:
    int GetChannel() const { return channel; }
    int GetTimeslot() const { return timeslot; }
    // The unit of its mixer; -1 once released.
    int GetUnit() const;

    // The release both kinds share: the switch output of the time slot is
    // disabled, a DTMF sequence still being sent stops, then `ReleaseSums`,
    // then the slot leaves its mixer.
    bool IBeforeDestroy() override;

protected:
    MixerChannelSlot(Mixer& mixer, int channel, int timeslot, unsigned reportedEvents);
    ~MixerChannelSlot() override;

    virtual void ReleaseSums() = 0;

    Mixer* mixer;
    int channel;
    int timeslot;

private:
    unsigned tonec_timeslot() const override { return unsigned(timeslot); }
    unsigned dsproc_timeslot() const override { return unsigned(timeslot); }
};

// A mixer channel whose signal is added into a summator channel.
class TdmInput : public MixerChannelSlot {
public:
    TdmInput(Mixer& mixer, int channel, int timeslot);

    // Adds the channel into `summator`, remembered for the release.
    void SetSummator(int summator);
    // The channel's echo canceller: on for either echo mode.
    void SetEchoCanceller(const LGCP::EchoCancelMode& ecm);

    bool Ioctl(const LGCP::IoctlParams& params) override;
    bool IOnInputStream() override { return true; }
    int IGetReceiveChannel() const override { return timeslot; }
    const char* GetName() const override { return "mixer tdm input"; }

    int GetSummator() const { return summator; }

private:
    // Removes the channel from its summator's sum.
    void ReleaseSums() override;

    bool hasSummator = false;
    int summator = -1;
};

// A mixer channel that carries the sum of its inputs.
class TdmOutput : public MixerChannelSlot {
public:
    TdmOutput(Mixer& mixer, int channel, int timeslot);

    bool Ioctl(const LGCP::IoctlParams& params) override;
    bool IOnOutputStream() override { return true; }
    int IGetTransmitChannel() const override { return timeslot; }
    const char* GetName() const override { return "mixer tdm output"; }

private:
    // Clears the channel's sum.
    void ReleaseSums() override;
};

// One mixer that the driver reports. It lives while the driver reports it
// or while a slot of it lives, whichever is longer.
class Mixer {
public:
    Mixer(int unit, MixerFactory& factory);

    Slot* New(const LGCP::MixerInParams& params);
    Slot* New(const LGCP::MixerOutParams& params);

    MixerSlot* Register(MixerSlot* slot);
    // Takes the slot out; a stale mixer without slots deletes itself.
    void UnRegister(MixerSlot* slot);
    // Deletes the mixer when it is stale and has no slot left; true then.
    bool CheckForDestroy();

    // Removes every term of every sum of the first `channels` channels.
    void Reset(int channels);
    // Each slot sends Signal `abort` 0: the driver no longer reports the mixer.
    void AbortSlots();

    // The record of a mixer channel; false for an `rtp` channel.
    bool Channel2Slot(const LGCP::MixerChannel& channel, mix_slot& slot) const;
    mix_slot TdmSlot(int channel) const { return mix_slot{unit, Mix::kTdm, channel}; }
    // The board TDM channel of a mixer channel, or -1 after the failure line.
    int channel2timeslot(int channel);

    // "mixer [" unit "]: "
    void PutHeader(std::ostream& os) const;

    const int unit;
    bool stale = false;
    const std::vector<MixerSlot*>& GetSlots() const { return slots; }

private:
    // The channel a new slot names: tdm, below the channel count, held by no
    // other mixer slot, with a board TDM channel; its number and time slot,
    // or false.
    bool CheckChannel(const LGCP::MixerChannel& channel, int& number, int& timeslot);
    // The sum of the output channel `out`: its inputs with their gains, or
    // the channel itself at unity gain when there are none.
    bool SetTX(const mix_slot& out, const LGCP::MixerOutParams& params);
    bool ClearTX(const mix_slot& out);

    MixerFactory& factory;
    std::vector<MixerSlot*> slots;
};

// Builds mixer inputs (`mixerIn`) and outputs (`mixerOut`) on the mixers
// the last resource query found: none before the first query.
class MixerFactory : public SlotFactory {
public:
    static const size_t kMaxMixers = 100;
    static const int kDpuPerMixer = 770;
    static const int kDpuPerEc = 17;
    static const int kDpuPerLms = 24;

    MixerFactory() = default;
    // Deletes the listed mixers without slots; the others go with their
    // last slot.
    ~MixerFactory() override;

    const char* GetName() const override { return "Mixer"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override;
    // Enumerates the mixers again and reports each with the smallest sizes.
    void Query(LGCP::Resources& resources) override;

    // Enumeration: new mixers are reset, vanished ones dropped (their slots
    // told with `abort` 0), and the voice driver's version read.
    void RefreshResources();

    // The smallest sizes over the mixers found; -1 before an answer.
    int TdmChannels() const { return tdmChannels; }
    int MixerInputs() const { return mixerInputs; }
    const std::vector<Mixer*>& GetMixers() const { return mixers; }
    Mixer* Find(int unit) const;
    // The live slot on channel `channel` of mixer `unit`, or null. A
    // channel carries one sum and one switch output: a second slot on it
    // would set or clear the first one's sums and disable the channel the
    // first one still uses. A vanished mixer's slots still hold theirs.
    MixerChannelSlot* Holder(int unit, int channel) const;
    bool VersionValid() const { return valid; }
    const Voice::VersionRecord& VersionRecord() const { return version; }

private:
    void ReadVoiceVersion();
    void DropStale();

    std::vector<Mixer*> mixers;
    int mixerInputs = -1;
    int tdmChannels = -1;
    bool valid = false;
    Voice::VersionRecord version{};
};

}  // namespace Mixer

#endif
