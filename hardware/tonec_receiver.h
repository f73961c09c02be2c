#ifndef KORVAND_HARDWARE_TONEC_RECEIVER_H
#define KORVAND_HARDWARE_TONEC_RECEIVER_H

#include <cstdint>
#include <map>
#include <utility>

#include "asn1/gen/lgcp.h"
#include "board/dtmf_driver.h"
#include "hardware/dsp_device.h"
#include "runtime/dual_list.h"
#include "runtime/timer.h"

namespace Dtmf {

// The 16 DTMF frequency pairs of ITU-T Q.23 (low-group frequency first)
// with their digits "0123456789*#ABCD".
extern const std::map<std::pair<unsigned, unsigned>, char> tonesValidator;

}  // namespace Dtmf

namespace Hardware {

// A channel's handle on the tone DSP "/dev/dtmf": a base that a slot class
// inherits privately. The slot tells the time slot (`tonec_timeslot`) and
// receives the detected tones (`tonec_event`) and the end of a DTMF
// sequence it had sent (`tone_gen_complete`). The handle keeps the states
// of the channel's DTMF detector, IVA detector and DTMF rejection, and plays
// DTMF sequences and the audible-call cadence on its own timer.
//
// DTMF and IVA detection are switched apart: tone codes up to 127 (DTMF
// digits and the fax tones) reach the slot while the DTMF detector is on
// and carry the id of its last enable; IVA codes (above 127) reach it while
// the IVA detector is on.
class TonecReceiver : public F_dual_list_item<TonecReceiver> {
public:
    // One detected tone: the driver's code and timestamp.
    struct Params {
        uint32_t code;
        uint32_t timestamp;
    };

    // Links the receiver at the tail of the list of live tone receivers;
    // the first receiver of a time slot in that list gets its events.
    TonecReceiver();
    // Unlinks it and drops its pending timer; the owner calls
    // CleanBeforeDestroy first.
    virtual ~TonecReceiver();
    TonecReceiver(const TonecReceiver&) = delete;
    TonecReceiver& operator=(const TonecReceiver&) = delete;

    // What the owning slot implements.
    virtual void tonec_event(const Params& p) = 0;
    virtual unsigned tonec_timeslot() const = 0;
    virtual void tone_gen_complete() {}

    // Requests on the receiver's own time slot; true on success. The
    // states change only on success.
    bool configureDTMF(const LGCP::DTMFParams& p);
    bool enableDTMF(bool on);
    bool disableDTMF() { return enableDTMF(false); }
    bool echoCancel(bool on);
    bool enableDTMFReject(bool on);
    // All four 0 turn the generator off.
    bool enableToneGenerator(uint16_t freq1, uint16_t freq2, uint16_t level1, uint16_t level2);
    bool enableSilence() { return enableToneGenerator(1000, 1000, 0, 0); }
    // Without `force` only while a DTMF sequence runs (false otherwise):
    // stops the sequence or the cadence and turns the generator off.
    bool disableToneGenerator(bool force);
    bool enableIVA(bool on);
    bool configureIVA(const LGCP::IVAParams& p);
    bool translateSelcal(const TERM::SelcalCommand& c);

    // Sends the digits of `p` as DTMF tones: each tone for toneDuration
    // (70 ms when absent) at levels amp1 and amp2 (16384 when absent), then
    // silence for pauseDuration (70 ms); after the last pause the generator
    // goes off and tone_gen_complete() follows. A sequence given while one
    // runs replaces the digits not yet sent.
    void translateDTMF(const LGCP::TranslateDtmfParams& p);
    // 425 Hz for 1000 ms, silence for 3000 ms, repeated. Neither starts nor
    // cancels while a DTMF sequence runs.
    void activateAudibleCall();
    void cancelAudibleCall();

    // Turns off what the receiver turned on (DTMF and IVA detection, DTMF
    // rejection) and a running sequence or cadence with the generator, so
    // the next user of the time slot starts clean.
    void CleanBeforeDestroy();

    bool dtmfEnabled() const { return dtmfEnabled_; }
    bool ivaEnabled() const { return ivaEnabled_; }
    bool dtmfRejectEnabled() const { return dtmfRejectEnabled_; }
    bool sequenceRunning() const { return sequenceRunning_; }
    // The id of the last successful DTMF detector enable; 0 before any.
    uint32_t requestId() const { return requestId_; }

private:
    friend class TonecReceiverService;

    void OnPauseEnd();
    void OnToneEnd();
    void OnCallTone();
    void OnCallPause();
    void stopSequence();

    Timer timer_;  // the sequence's or the cadence's next step
    bool sequenceRunning_ = false;
    uint32_t requestId_ = 0;
    LGCP::TranslateDtmfParams pending_;
    size_t nextDigit_ = 0;
    bool dtmfEnabled_ = false;
    bool ivaEnabled_ = false;
    bool dtmfRejectEnabled_ = false;
};

// The single owner of the tone DSP device: it issues the requests for a
// time slot and hands each event record read from the device to the first
// receiver of that time slot. Success lines go to the log stream (the DTMF
// detector's to the error stream), failure lines to the error stream.
class TonecReceiverService {
public:
    // The service, created on first use; it opens the device at once.
    static TonecReceiverService& instance();

    TonecReceiverService();
    TonecReceiverService(const TonecReceiverService&) = delete;
    TonecReceiverService& operator=(const TonecReceiverService&) = delete;

    // Opens the device unless it is open; false when it stays closed.
    bool init();
    bool isOpen() const { return device.isOpen(); }

    // These two open the device first when it is closed.
    bool configureDTMF(unsigned timeslot, const LGCP::DTMFParams& p);
    bool configureIVA(TonecReceiver& r, const LGCP::IVAParams& p);

    bool echoCancel(unsigned timeslot, bool on);
    bool enableDTMFReject(unsigned timeslot, bool on);
    // Nothing to do (true) when the receiver's DTMF detector is already so.
    bool enableDTMF(TonecReceiver& r, bool on);
    bool enableToneGenerator(unsigned timeslot, uint16_t freq1, uint16_t freq2, uint16_t level1,
                             uint16_t level2);
    bool enableIVA(TonecReceiver& r, bool on);
    // Signs shorter than four characters are refused without a request.
    bool translateSelcal(TonecReceiver& r, const TERM::SelcalCommand& c);

    // The poll callback: reads the event records and hands them out.
    void OnEvent(int fd, short revents);

    DspDevice device;

private:
    // A plain time-slot request; `name` and `suffix` make its name.
    bool onOff(unsigned long request, unsigned timeslot, const char* name, const char* suffix);
    void dispatch(const Tonec::Event& e);
};

}  // namespace Hardware

#endif
