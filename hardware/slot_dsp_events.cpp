#include "hardware/slot_dsp_events.h"

namespace Hardware {

void SlotDspEvents::CleanBeforeDestroy() {
    TonecReceiver::CleanBeforeDestroy();
    DSProcReceiver::CleanBeforeDestroy();
}

void SlotDspEvents::tonec_event(const TonecReceiver::Params& p) {
    if (reports(kTonecEvents)) slot_.processTonecEvent(p.code, p.timestamp);
}

void SlotDspEvents::tone_gen_complete() {
    if (reports(kToneGenComplete)) slot_.processToneGenEvent();
}

void SlotDspEvents::dsproc_vad_event(const DSProcVADEvent& e) {
    if (reports(kVadEvents)) slot_.processVADEvent(e.vad_rx, e.vad_tx);
}

void SlotDspEvents::dsproc_bss_event(const ::dsproc_bss_event* e) {
    if (reports(kBssEvents)) slot_.processBSSEvent(e);
}

void SlotDspEvents::dsproc_sd_event(const DSProcSDEvent& e) {
    if (reports(kSdEvents)) slot_.processSDEvent(e.sd_rx);
}

void SlotDspEvents::dsproc_tone_flt_event(const ::dsproc_tone_event* e) {
    if (reports(kToneFltEvents)) slot_.processToneFltEvent(e);
}

void SlotDspEvents::dsproc_flags_event(const ::dsproc_flags_event* e) {
    if (reports(kFlagsEvents)) slot_.processFlagsEvent(e);
}

}  // namespace Hardware
