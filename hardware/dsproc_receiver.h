#ifndef KORVAND_HARDWARE_DSPROC_RECEIVER_H
#define KORVAND_HARDWARE_DSPROC_RECEIVER_H

#include <cstdint>

#include "asn1/gen/lgcp.h"
#include "board/dsp_driver.h"
#include "hardware/dsp_device.h"
#include "runtime/dual_list.h"

namespace Hardware {

// A voice activity event: each direction's value, -1 when the record does
// not carry that direction.
struct DSProcVADEvent {
    int32_t vad_rx;
    int32_t vad_tx;
};

// A signal detection event.
struct DSProcSDEvent {
    int32_t sd_rx;
};

// A channel's handle on the voice-processing DSP "/dev/dsp": a base that a
// slot class inherits privately. The slot tells the time slot
// (`dsproc_timeslot`) and receives the events of the functions it turned
// on: VAD and SD events while the function is not off and only with the id
// of its last enable, BSS events while BSS is not off, tone-filter and
// flags events always. The handle keeps each function's state, so it
// issues no request for a state the function already has, and
// CleanBeforeDestroy can turn off what the channel turned on.
class DSProcReceiver : public F_dual_list_item<DSProcReceiver> {
public:
    // A function's state: -1 not yet set, 0 off, 1 on, with the id of its
    // last successful enable.
    struct Function {
        int32_t state;
        uint32_t id;
    };

    // Links the receiver at the tail of the list of live DSP receivers; the
    // first receiver of a time slot in that list gets its events.
    DSProcReceiver();
    virtual ~DSProcReceiver();
    DSProcReceiver(const DSProcReceiver&) = delete;
    DSProcReceiver& operator=(const DSProcReceiver&) = delete;

    // What the owning slot implements. Inside a derived class the record
    // types are named with "::", as the member functions hide them.
    virtual void dsproc_vad_event(const DSProcVADEvent& e) = 0;
    virtual void dsproc_bss_event(const ::dsproc_bss_event* e) = 0;
    virtual void dsproc_sd_event(const DSProcSDEvent& e) = 0;
    virtual void dsproc_tone_flt_event(const ::dsproc_tone_event* e) = 0;
    virtual void dsproc_flags_event(const ::dsproc_flags_event* e) = 0;
    virtual unsigned dsproc_timeslot() const = 0;

    // Requests on the receiver's own time slot; true on success. The states
    // change only on success.
    bool configureVAD(const LGCP::VADParams& p);
    bool enableVAD(bool on);
    bool disableVAD() { return enableVAD(false); }
    bool enableBSS(bool on);
    bool disableBSS() { return enableBSS(false); }
    bool enableNG(bool on);
    bool disableNG() { return enableNG(false); }
    bool enableSelcalSh(bool on);
    bool disableSelcalSh() { return enableSelcalSh(false); }
    bool configureSD();
    bool enableSD(bool on);
    bool disableSD() { return enableSD(false); }
    bool enableMute(bool first, bool second);
    bool disableMute() { return enableMute(false, false); }
    bool configureDelays(unsigned rx, unsigned tx, unsigned selcal);
    bool configureRxGain(int8_t gain_dB);
    bool configureToneFilter(unsigned freq, unsigned en, int dur_th_msec, int det_lvl_dB);
    bool disableToneAll();

    // Turns off what the channel turned on: VAD, BSS, NG, the SELCAL
    // shaper, SD and mute where on, delays and receive gain where set, and
    // every tone filter, so the next user of the time slot starts clean.
    void CleanBeforeDestroy();

    const Function& vad() const { return vad_; }
    const Function& bss() const { return bss_; }
    const Function& ng() const { return ng_; }
    const Function& selcalSh() const { return selcalSh_; }
    const Function& sd() const { return sd_; }
    int32_t mute1() const { return mute1_; }
    int32_t mute2() const { return mute2_; }
    uint32_t muteId() const { return muteId_; }
    bool delaysSet() const { return delaysSet_; }
    bool rxGainSet() const { return rxGainSet_; }

private:
    friend class DSProcReceiverService;

    Function vad_{-1, 0};
    Function bss_{0, 0};
    Function ng_{0, 0};
    Function selcalSh_{0, 0};
    Function sd_{-1, 0};
    int32_t mute1_ = -1;
    int32_t mute2_ = -1;
    uint32_t muteId_ = 0;
    bool delaysSet_ = false;
    bool rxGainSet_ = false;
};

// The single owner of the voice-processing DSP device: it configures,
// enables and disables the functions of a time slot, stamping every enable
// with a fresh request id, and hands each event record read from the device
// to the first receiver of that time slot. Enable lines go to the error
// stream, configure lines to the log stream (failures to the error stream);
// event traces and drop lines appear under the trace switch
// "signalling.events".
class DSProcReceiverService {
public:
    // The service, created on first use; it opens the device at once.
    static DSProcReceiverService& instance();

    DSProcReceiverService();
    DSProcReceiverService(const DSProcReceiverService&) = delete;
    DSProcReceiverService& operator=(const DSProcReceiverService&) = delete;

    // Opens the device unless it is open; false when it stays closed.
    bool init();
    bool isOpen() const { return device.isOpen(); }

    // The configure operations and disableToneAll open the device first
    // when it is closed; the enable operations do not.
    bool configureVAD(unsigned timeslot, const LGCP::VADParams& p);
    bool configureSD(unsigned timeslot);
    bool configureDelays(unsigned timeslot, unsigned rx, unsigned tx, unsigned selcal);
    bool configureRxGain(unsigned timeslot, int8_t gain_dB);
    bool configureToneFilter(unsigned timeslot, unsigned freq, unsigned en, int dur_th_msec,
                             int det_lvl_dB);
    bool disableToneAll(DSProcReceiver& r);

    bool enableVAD(DSProcReceiver& r, bool on);
    bool enableBSS(DSProcReceiver& r, bool on);
    bool enableNG(DSProcReceiver& r, bool on);
    bool enableSelcalSh(DSProcReceiver& r, bool on);
    bool enableSD(DSProcReceiver& r, bool on);
    bool enableMute(DSProcReceiver& r, bool first, bool second);

    // The poll callback: reads the event records and hands them out.
    void OnEvent(int fd, short revents);

    DspDevice device;

private:
    // Enables (`on`) or disables the functions named by `code` on the
    // receiver's time slot and reports it under `name`. An enable returns
    // the fresh id through `id`.
    bool switchFunctions(DSProcReceiver& r, uint32_t code, const char* name, bool on, uint32_t& id);
    bool enableFunction(DSProcReceiver& r, DSProcReceiver::Function& f, uint32_t code,
                        const char* name, bool on);
    // DSPROC_CONFIGURE of `function` with its 12 bytes of `params`, after
    // opening the device when it is closed (`notOpened` when it stays
    // closed). A failure prints `failText` and the error; the caller prints
    // the success line.
    bool configure(unsigned timeslot, uint32_t function, const void* params, const char* notOpened,
                   const char* failText);
    void dispatch(const DSProc::Event& e);
};

}  // namespace Hardware

#endif
