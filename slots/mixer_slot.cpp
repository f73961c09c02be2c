#include "slots/mixer_slot.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "hardware/hw_mux.h"
#include "runtime/stream_items.h"

namespace Mixer {

namespace {

const char* const kFactoryPrefix = "mixer: ";

// The events of the channel's DSPs each kind reports.
const unsigned kInputEvents = Hardware::kTonecEvents | Hardware::kVadEvents | Hardware::kBssEvents |
                              Hardware::kSdEvents | Hardware::kToneFltEvents | Hardware::kFlagsEvents;
const unsigned kOutputEvents = Hardware::kToneGenComplete | Hardware::kToneFltEvents | Hardware::kFlagsEvents;

// The ioctls both kinds take alike; -1 for the others.
int SharedIoctl(Hardware::SlotDspEvents& dsp, const Mixer& mixer, const LGCP::IoctlParams& p) {
    typedef LGCP::IoctlParams P;
    switch (p.currentSelection()) {
        case P::e_translateDTMF:
            dsp.translateDTMF(p.get_translateDTMF());
            return true;
        case P::e_dtmf_params:
            return dsp.configureDTMF(p.get_dtmf_params());
        case P::e_vad_params:
            return dsp.configureVAD(p.get_vad_params());
        case P::e_vad_enable:
            return dsp.enableVAD(p.get_vad_enable().getValue());
        case P::e_vad_disable:
            return dsp.disableVAD();
        case P::e_sd_params:
            return dsp.configureSD();
        case P::e_sd_enable:
            return dsp.enableSD(p.get_sd_enable().getValue());
        case P::e_sd_disable:
            return dsp.disableSD();
        case P::e_iva_enable:
            return dsp.enableIVA(p.get_iva_enable().getValue());
        case P::e_delays: {
            const LGCP::Delays& d = p.get_delays();
            if (d.has_selcal())
                std::cerr << ext::header(mixer) << "error: selcal delay isn't supported for mixer!!! Set to zero."
                          << std::endl;
            dsp.configureDelays(d.has_rx() ? unsigned(d.get_rx().getValue()) : 0,
                                d.has_tx() ? unsigned(d.get_tx().getValue()) : 0, 0);
            return true;
        }
        case P::e_tone_filter: {
            const LGCP::ToneFilter& f = p.get_tone_filter();
            dsp.configureToneFilter(unsigned(f.get_freq().getValue()), f.get_enable().getValue(),
                                    f.get_duration_th_msec().getValue(), f.get_det_level_dB().getValue());
            return true;
        }
        default:
            return -1;
    }
}

}  // namespace

int mixer_ctl(unsigned long request, void* argument) {
    int fd = boardIo().open(GetMixerDevName(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    int result = boardIo().ioctl(fd, request, argument);
    int err = errno;
    boardIo().close(fd);
    errno = err;
    return result;
}

// ---- both kinds ------------------------------------------------------------------

MixerChannelSlot::MixerChannelSlot(Mixer& mixer, int channel, int timeslot, unsigned reportedEvents)
    : SlotDspEvents(*this, reportedEvents), mixer(&mixer), channel(channel), timeslot(timeslot) {}

MixerChannelSlot::~MixerChannelSlot() {
    SlotDspEvents::CleanBeforeDestroy();
    if (mixer) mixer->UnRegister(this);
}

int MixerChannelSlot::GetUnit() const {
    return mixer ? mixer->unit : -1;
}

bool MixerChannelSlot::IBeforeDestroy() {
    HwMux::instance().Disable(timeslot);
    if (sequenceRunning()) {
        enableSilence();
        disableToneGenerator(true);
    }
    ReleaseSums();
    Mixer* m = mixer;
    mixer = nullptr;
    m->UnRegister(this);
    return true;
}

// ---- input -----------------------------------------------------------------------

TdmInput::TdmInput(Mixer& mixer, int channel, int timeslot)
    : MixerChannelSlot(mixer, channel, timeslot, kInputEvents) {}

void TdmInput::SetSummator(int s) {
    hasSummator = true;
    summator = s;
    mix_rx r{mixer->TdmSlot(s), mixer->TdmSlot(channel), Mix::kUnityGain};
    if (mixer_ctl(Mix::MIX_RX_ADD, &r) < 0)
        std::cerr << ext::header(*mixer) << "MIX_RX_ADD" << " fail : " << std::strerror(errno) << std::endl;
}

void TdmInput::SetEchoCanceller(const LGCP::EchoCancelMode& ecm) {
    echoCancel(ecm.get_ec().getValue() || ecm.get_es().getValue());
}

void TdmInput::ReleaseSums() {
    if (summator < 0) return;
    mix_rx r{mixer->TdmSlot(summator), mixer->TdmSlot(channel), 0};
    if (mixer_ctl(Mix::MIX_RX_REMOVE, &r) < 0)
        std::cerr << ext::header(*mixer) << "MIX_RX_REMOVE" << " rx.number=" << summator << " tx.number=" << channel
                  << " fail : " << std::strerror(errno) << std::endl;
}

bool TdmInput::Ioctl(const LGCP::IoctlParams& p) {
    typedef LGCP::IoctlParams P;
    int shared = SharedIoctl(*this, *mixer, p);
    if (shared >= 0) return shared;
    switch (p.currentSelection()) {
        case P::e_echoSuppressor:
            return echoCancel(p.get_echoSuppressor().getValue());
        case P::e_dtmf_enable:
            return enableDTMF(p.get_dtmf_enable().getValue());
        case P::e_dtmf_reject_enable:
            return enableDTMFReject(p.get_dtmf_reject_enable().getValue());
        case P::e_iva_params:
            return configureIVA(p.get_iva_params());
        case P::e_rx_gain:
            configureRxGain(int8_t(uint8_t(p.get_rx_gain().get_gainDB().getValue() & 0xFF)));
            return true;
        default:
            return false;
    }
}

// ---- output ----------------------------------------------------------------------

TdmOutput::TdmOutput(Mixer& mixer, int channel, int timeslot)
    : MixerChannelSlot(mixer, channel, timeslot, kOutputEvents) {}

void TdmOutput::ReleaseSums() {
    std::clog << ext::header(*mixer) << "clear tdm output " << channel << std::endl;
    mix_slot s = mixer->TdmSlot(channel);
    mixer_ctl(Mix::MIX_RX_CLEAR, &s);
}

bool TdmOutput::Ioctl(const LGCP::IoctlParams& p) {
    typedef LGCP::IoctlParams P;
    int shared = SharedIoctl(*this, *mixer, p);
    if (shared >= 0) return shared;
    switch (p.currentSelection()) {
        case P::e_dtmf_disable:
            return disableToneGenerator(false);
        case P::e_dtmf_reject_disable:
            return enableDTMFReject(false);
        case P::e_tone_gen_enable: {
            const LGCP::ToneGenerator& g = p.get_tone_gen_enable();
            disableToneGenerator(false);
            enableToneGenerator(uint16_t(g.get_freq().getValue()), 0, uint16_t(g.get_amp().getValue()), 0);
            return true;
        }
        case P::e_tone_gen_disable:
            disableToneGenerator(true);
            return true;
        default:
            return false;
    }
}

// ---- mixer -----------------------------------------------------------------------

Mixer::Mixer(int unit, MixerFactory& factory) : unit(unit), factory(factory) {}

void Mixer::PutHeader(std::ostream& os) const {
    os << "mixer [" << unit << "]: ";
}

MixerSlot* Mixer::Register(MixerSlot* slot) {
    slots.push_back(slot);
    return slot;
}

void Mixer::UnRegister(MixerSlot* slot) {
    slots.erase(std::remove(slots.begin(), slots.end(), slot), slots.end());
    CheckForDestroy();
}

bool Mixer::CheckForDestroy() {
    if (!stale || !slots.empty()) return false;
    delete this;
    return true;
}

void Mixer::AbortSlots() {
    for (MixerSlot* slot : std::vector<MixerSlot*>(slots)) slot->OnAbort(0);
}

void Mixer::Reset(int channels) {
    std::clog << ext::header(*this) << "clear all inputs" << std::endl;
    int failures = 0;
    for (int n = 0; n < channels; ++n) {
        mix_slot s = TdmSlot(n);
        if (mixer_ctl(Mix::MIX_RX_CLEAR, &s) < 0) ++failures;
    }
    if (failures) std::cerr << ext::header(*this) << "reset fail: " << failures << " errors." << std::endl;
}

bool Mixer::Channel2Slot(const LGCP::MixerChannel& channel, mix_slot& slot) const {
    slot = mix_slot{unit, 0, 0};
    if (!channel.is_tdm()) return false;
    slot.type = Mix::kTdm;
    slot.number = channel.get_tdm().getValue();
    return true;
}

int Mixer::channel2timeslot(int channel) {
    mix_slot s = TdmSlot(channel);
    int ts = mixer_ctl(Mix::MIX_TDM, &s);
    if (ts >= 0) return ts;
    std::cerr << ext::header(*this) << "MIX_TDM" << " number=" << channel << " fail : " << std::strerror(errno)
              << std::endl;
    return -1;
}

bool Mixer::CheckChannel(const LGCP::MixerChannel& channel, int& number, int& timeslot) {
    if (!channel.is_tdm()) return false;
    number = channel.get_tdm().getValue();
    if (number < 0 || number >= factory.TdmChannels()) return false;
    if (MixerChannelSlot* holder = factory.Holder(unit, number)) {
        std::cerr << ext::header(*this) << "channel " << number << " is held by " << *holder << std::endl;
        return false;
    }
    timeslot = channel2timeslot(number);
    return timeslot >= 0;
}

Slot* Mixer::New(const LGCP::MixerInParams& p) {
    int n, ts;
    if (!CheckChannel(p.get_channel(), n, ts)) return nullptr;
    TdmInput* slot = new TdmInput(*this, n, ts);
    if (p.has_summator()) {
        // An rtp summator is no channel of this mixer: nothing is added.
        if (p.get_summator().is_tdm())
            slot->SetSummator(p.get_summator().get_tdm().getValue());
        else
            std::cerr << ext::header(*this) << "wrong summator coding !" << std::endl;
    }
    if (p.has_ecm()) slot->SetEchoCanceller(p.get_ecm());
    return Register(slot);
}

// The channel is checked before any sum is touched, and a sum that could
// not be set whole is cleared, so a refused output leaves no sum behind.
Slot* Mixer::New(const LGCP::MixerOutParams& p) {
    int n, ts;
    if (!CheckChannel(p.get_channel(), n, ts)) return nullptr;
    mix_slot out = TdmSlot(n);
    if (!ClearTX(out)) return nullptr;
    if (!SetTX(out, p)) {
        mixer_ctl(Mix::MIX_RX_CLEAR, &out);
        return nullptr;
    }
    return Register(new TdmOutput(*this, n, ts));
}

bool Mixer::ClearTX(const mix_slot& out) {
    mix_slot s = out;
    if (mixer_ctl(Mix::MIX_RX_CLEAR, &s) >= 0) return true;
    std::cerr << ext::header(*this) << "MIX_RX_CLEAR" << " dev_no=" << s.dev_no << " type=" << s.type
              << " number=" << s.number << " fail : " << std::strerror(errno) << std::endl;
    return false;
}

bool Mixer::SetTX(const mix_slot& out, const LGCP::MixerOutParams& p) {
    std::vector<mix_rx> terms;
    if (p.get_inputs().size() == 0) terms.push_back(mix_rx{out, out, Mix::kUnityGain});
    for (const LGCP::MixerInput& input : p.get_inputs()) {
        mix_rx r{out, {}, int32_t(input.get_gain().getValue())};
        if (!Channel2Slot(input.get_channel(), r.tx)) {
            std::cerr << ext::header(*this) << "SetTX error: translation fail [2]" << std::endl;
            return false;
        }
        terms.push_back(r);
    }
    for (mix_rx& r : terms) {
        if (mixer_ctl(Mix::MIX_RX_ADD, &r) >= 0) continue;
        std::cerr << ext::header(*this) << "MIX_RX_ADD" << " fail : " << std::strerror(errno) << std::endl;
        return false;
    }
    return true;
}

// ---- factory ---------------------------------------------------------------------

MixerFactory::~MixerFactory() {
    for (Mixer* m : mixers) {
        m->stale = true;
        m->CheckForDestroy();
    }
}

Mixer* MixerFactory::Find(int unit) const {
    for (Mixer* m : mixers)
        if (m->unit == unit && !m->stale) return m;
    return nullptr;
}

MixerChannelSlot* MixerFactory::Holder(int unit, int channel) const {
    for (Slot* slot : GetSlots()) {
        auto* held = dynamic_cast<MixerChannelSlot*>(slot);
        if (held && !held->IsDestroying() && held->GetUnit() == unit && held->GetChannel() == channel) return held;
    }
    return nullptr;
}

Slot* MixerFactory::INewSlot(const LGCP::CreateParams& params) {
    if (params.is_mixerOut()) {
        Mixer* m = Find(params.get_mixerOut().get_unit().getValue());
        return m ? m->New(params.get_mixerOut()) : nullptr;
    }
    if (params.is_mixerIn()) {
        Mixer* m = Find(params.get_mixerIn().get_unit().getValue());
        return m ? m->New(params.get_mixerIn()) : nullptr;
    }
    return nullptr;
}

void MixerFactory::Query(LGCP::Resources& resources) {
    RefreshResources();
    ASN1::SEQUENCE_OF<LGCP::MixerResources_subtype>& list = resources.set_mixer();
    list.clear();
    for (Mixer* m : mixers) {
        LGCP::MixerResources_subtype r;
        r.set_unit(m->unit);
        r.set_tdm_inputs(std::max(tdmChannels, 0));
        r.set_tdm_outputs(std::max(tdmChannels, 0));
        r.set_mixer_inputs(std::max(mixerInputs, 0));
        r.set_dpu_per_mixer(kDpuPerMixer);
        r.set_dpu_per_ec(kDpuPerEc);
        r.set_dpu_per_lms(kDpuPerLms);
        list.push_back(r);
    }
}

// At most kMaxMixers answers: a driver that keeps answering known units
// cannot hold the loop.
void MixerFactory::RefreshResources() {
    for (Mixer* m : mixers) m->stale = true;
    mixerInputs = tdmChannels = -1;
    mix_info info{-1, 0, 0, 0};
    for (size_t answers = 0; answers < kMaxMixers && mixers.size() < kMaxMixers; ++answers) {
        if (mixer_ctl(Mix::MIX_ENUM, &info) < 0) break;
        mixerInputs = mixerInputs < 0 ? info.inputs : std::min(mixerInputs, int(info.inputs));
        tdmChannels = tdmChannels < 0 ? info.tdm : std::min(tdmChannels, int(info.tdm));
        bool known = false;
        for (Mixer* m : mixers)
            if (m->unit == info.unit) known = true, m->stale = false;
        if (known) continue;
        mixers.push_back(new Mixer(info.unit, *this));
        mixers.back()->Reset(tdmChannels);
    }
    DropStale();
    ReadVoiceVersion();
}

void MixerFactory::DropStale() {
    std::vector<Mixer*> gone;
    for (Mixer* m : mixers)
        if (m->stale) gone.push_back(m);
    mixers.erase(std::remove_if(mixers.begin(), mixers.end(), [](Mixer* m) { return m->stale; }), mixers.end());
    for (Mixer* m : gone) {
        m->AbortSlots();
        m->CheckForDestroy();
    }
}

void MixerFactory::ReadVoiceVersion() {
    int fd = boardIo().open(GetVoiceDevName(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::cerr << kFactoryPrefix << "device " << ext::quoted(GetVoiceDevName())
                  << " open fail: " << std::strerror(errno) << std::endl;
        return;
    }
    Voice::VersionRecord r{};
    valid = boardIo().ioctl(fd, Voice::VOICE_VERSION, static_cast<void*>(&r)) >= 0;
    if (valid) version = r;
    boardIo().close(fd);
}

}  // namespace Mixer
