// The event translators of Slot: the mapping from the DSP and RTP drivers'
// codes and bit masks to the control protocol's event types. The slot kinds
// only forward their raw events here.

#include <cstdio>
#include <iostream>

#include "board/dsp_driver.h"
#include "board/dtmf_driver.h"
#include "board/rtp_driver.h"
#include "core/slot.h"

namespace {

// The protocol's INTEGER is 32 bits wide: a driver word keeps its bits.
int asInteger(uint32_t word) {
    return static_cast<int>(word);
}

// A `tonec` signal with the given timestamp; the caller sets the event.
LGCP::TonecCode& tonecEvent(LGCP::Signal& s, uint32_t timestamp) {
    LGCP::TonecEvent& e = s.set_tonec();
    e.set_timestamp(asInteger(timestamp));
    return e.set_event();
}

// The tone detector's code as a protocol event; false when the code means
// nothing.
bool setToneCode(LGCP::TonecCode& event, uint32_t code) {
    if (code == Tonec::kCodeCed) {
        event.set_ced();
    } else if (code == Tonec::kCodeCng) {
        event.set_cng();
    } else if (code <= Tonec::kDtmfCodeLimit) {
        event.set_dtmf(code);
    } else {
        uint32_t iva = code >> Tonec::kIvaShift;
        if (iva >= Tonec::kIvaFirst && iva <= Tonec::kIvaLast)
            event.set_iva().set_code(iva);
        else if (iva == Tonec::kIvaRingOff)
            event.set_iva().set_ringoff();
        else
            return false;
    }
    return true;
}

}  // namespace

std::string bssScoreText(const dsproc_bss_event& e) {
    char text[31];
    if (std::snprintf(text, sizeof text, "%4.6f", static_cast<double>(e.score)) < 0) return "";
    return text;
}

void Slot::processTonecEvent(uint32_t code, uint32_t timestamp) {
    LGCP::Signal s;
    if (!setToneCode(tonecEvent(s, timestamp), code)) {
        std::cerr << "bad DTMF code, ignored." << std::endl;
        return;
    }
    SendSignal(s);
}

void Slot::processToneGenEvent() {
    LGCP::Signal s;
    tonecEvent(s, 0).set_dtmfDone();
    SendSignal(s);
}

void Slot::processToneFltEvent(const dsproc_tone_event* e) {
    LGCP::Signal s;
    LGCP::TonePresence& tone = tonecEvent(s, 0).set_tone_presence();
    tone.set_freq(asInteger(e->freq));
    tone.set_presence(e->presence > 0);
    SendSignal(s);
}

void Slot::SendVad(bool hasRx, bool rx, bool hasTx, bool tx) {
    LGCP::Signal s;
    LGCP::VADEvent& vad = s.set_vad();
    if (hasRx) vad.set_vad_rx(rx);
    if (hasTx) vad.set_vad_tx(tx);
    SendSignal(s);
}

void Slot::processVADEvent(int32_t vad_rx, int32_t vad_tx) {
    if (vad_rx < 0 && vad_tx < 0) {
        std::cerr << "bad VAD event, ignored." << std::endl;
        return;
    }
    SendVad(vad_rx >= 0, vad_rx != 0, vad_tx >= 0, vad_tx != 0);
}

void Slot::processSDEvent(int32_t sd_rx) {
    if (sd_rx < 0) {
        std::cerr << "bad SD event, ignored." << std::endl;
        return;
    }
    LGCP::Signal s;
    s.set_sd().set_sd_rx(sd_rx > 0);
    SendSignal(s);
}

void Slot::processFlagsEvent(const dsproc_flags_event* e) {
    const uint32_t flags = e->flags;
    const uint32_t mask = e->mask;
    if (mask & (DSProc::kFlagVadRx | DSProc::kFlagVadTx))
        SendVad(mask & DSProc::kFlagVadRx, flags & DSProc::kFlagVadRx, mask & DSProc::kFlagVadTx,
                flags & DSProc::kFlagVadTx);
    if (mask & DSProc::kFlagSelcal) {
        LGCP::Signal s;
        s.set_selcal().set_in_progress(flags & DSProc::kFlagSelcal);
        SendSignal(s);
    }
}

void Slot::processBSSEvent(const dsproc_bss_event* e) {
    LGCP::Signal s;
    s.set_bss().set_score(bssScoreText(*e));
    SendSignal(s);
}

void Slot::processRtpEvent(const rtp_event& e) {
    if (e.type != kRtpEventPd) return;
    LGCP::Signal s;
    LGCP::RtpPDEvent& pd = s.set_rtp().set_pd();
    pd.set_value(e.value);
    pd.set_timeout(e.timeout);
    SendSignal(s);
}
