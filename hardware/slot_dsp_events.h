#ifndef KORVAND_HARDWARE_SLOT_DSP_EVENTS_H
#define KORVAND_HARDWARE_SLOT_DSP_EVENTS_H

#include "core/slot.h"
#include "hardware/dsproc_receiver.h"
#include "hardware/tonec_receiver.h"

namespace Hardware {

// The events of its channel's DSPs that a slot kind reports to the
// controller; the others are dropped.
enum SlotDspEvent : unsigned {
    kTonecEvents = 1u << 0,      // detected tones and IVA codes
    kToneGenComplete = 1u << 1,  // the end of a DTMF sequence the slot sent
    kVadEvents = 1u << 2,
    kBssEvents = 1u << 3,
    kSdEvents = 1u << 4,
    kToneFltEvents = 1u << 5,
    kFlagsEvents = 1u << 6,
    kAllDspEvents = (1u << 7) - 1,
};

// A slot kind's handles on the tone DSP and the voice-processing DSP of its
// channel, with their events wired to the slot's translators. A kind
// inherits it privately after Slot, hands it itself and the events it
// reports, and names its channel's time slot for both DSPs:
//
//   class RtpSlot : public Slot, private Hardware::SlotDspEvents {
//   public:
//       RtpSlot(unsigned ts)
//           : SlotDspEvents(*this, Hardware::kAllDspEvents & ~Hardware::kToneGenComplete),
//             ts(ts) {}
//       bool IBeforeDestroy() override { CleanBeforeDestroy(); return true; }
//   private:
//       unsigned tonec_timeslot() const override { return ts; }
//       unsigned dsproc_timeslot() const override { return ts; }
//       unsigned ts;
//   };
//
// The kind drives the DSPs through the receivers' operations (enableDTMF,
// translateDTMF, enableVAD, ...) and may still override a handler below.
class SlotDspEvents : public TonecReceiver, public DSProcReceiver {
public:
    // `slot` is the kind itself; `reported` the SlotDspEvent bits.
    SlotDspEvents(Slot& slot, unsigned reported) : slot_(slot), reported_(reported) {}

    // Turns off what the slot turned on in both DSPs, so the next user of
    // the time slot starts clean; the kind calls it before it goes away.
    void CleanBeforeDestroy();

    void tonec_event(const TonecReceiver::Params& p) override;
    void tone_gen_complete() override;
    void dsproc_vad_event(const DSProcVADEvent& e) override;
    void dsproc_bss_event(const ::dsproc_bss_event* e) override;
    void dsproc_sd_event(const DSProcSDEvent& e) override;
    void dsproc_tone_flt_event(const ::dsproc_tone_event* e) override;
    void dsproc_flags_event(const ::dsproc_flags_event* e) override;

private:
    bool reports(SlotDspEvent event) const { return reported_ & event; }

    Slot& slot_;
    unsigned reported_;
};

}  // namespace Hardware

#endif
