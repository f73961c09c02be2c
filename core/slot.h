#ifndef KORVAND_CORE_SLOT_H
#define KORVAND_CORE_SLOT_H

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "asn1/gen/lgcp.h"

class SlotFactory;
class Slots;
struct dsproc_bss_event;
struct dsproc_flags_event;
struct dsproc_tone_event;
struct rtp_event;

// One channel endpoint that the controller addresses by a slot id (0 to
// 1023). Every slot kind derives from it: the slot table and the connection
// logic call the virtual operations below, whose defaults describe a slot
// that can do nothing. The slot table owns every slot.
//
// Links: a slot has at most one source (whose output feeds its input) and
// any number of receivers (which its output feeds); B has the source A
// exactly when B is among the receivers of A.
class Slot {
public:
    Slot() = default;
    // Only frees the receiver list: unlinking, table and factory removal
    // are done before (by the slot table).
    virtual ~Slot() = default;
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

    // ---- what a slot kind overrides ------------------------------------------

    virtual int GetTrunk() const { return -1; }
    virtual int GetTrunkTimeSlot() const { return -1; }
    virtual void OnTrunkStatus(unsigned /*trunk*/, const ACP::TrunkState::NamedNumber& /*state*/) {}
    // Right after the create command was answered with success.
    virtual void IAfterCreate() {}
    // True: the slot may be deleted now. False: it finishes later and then
    // calls on_release exactly once; its destructor must cancel whatever
    // would call it, since a controller loss deletes it regardless.
    virtual bool IBeforeDestroy() { return true; }
    // False answers the command with `unsupported`.
    virtual bool IActivate(const TERM::TermActivateParams&) { return false; }
    virtual bool IDeactivate() { return false; }
    virtual bool IUserData(const std::vector<char>&) { return false; }
    virtual bool Ioctl(const LGCP::IoctlParams&) { return false; }
    // Of two slots being linked, the one with the higher priority makes
    // the hardware link (on a tie the receiver links, the source unlinks).
    virtual int GetConnectionPriority() const { return 0; }
    // The hardware link; the defaults connect the source's transmit channel
    // to the receiver's receive channel in the time-slot switch.
    virtual bool IHwConnectTransmitter(Slot& receiver);
    virtual bool IHwConnectReceiver(Slot& source);
    virtual bool IHwDisconnectTransmitter(Slot& receiver);
    virtual bool IHwDisconnectReceiver(Slot& source);
    // Start producing output / consuming input; false when the slot cannot.
    virtual bool IOnOutputStream() { return false; }
    virtual bool IOnInputStream() { return false; }
    // The last receiver is gone / the source is gone.
    virtual void IOnOutputRelease() {}
    virtual void IOnInputRelease() {}
    // The switch channels the slot transmits and receives on; -1 when none.
    virtual int IGetTransmitChannel() const { return -1; }
    virtual int IGetReceiveChannel() const { return -1; }
    // The kind's name in log lines ("trunk", "rtp").
    virtual const char* GetName() const = 0;

    // ---- what a slot kind calls ----------------------------------------------

    // The log name: the id in two digits ("05"), "i" and the id for an id
    // out of range, "na" before the slot is stored; then ":" and GetName().
    void Put(std::ostream& os) const;

    // Sends a signal for this slot to the controller, through the slot table
    // (the other bound services see it first).
    void SendSignal(const LGCP::Signal& signal);

    void OnTonecEvent(const LGCP::TonecEvent& e);
    void OnNumber(const std::string& number);
    void OnModem(const TERM::ModemProceeding& m);
    void OnModem(const TERM::ModemInformation& m);
    void OnActivated();
    void OnDeactivated();
    void OnAbort(int code);
    void OnUserData(const std::vector<char>& data);
    void OnIoctlResponse(const LGCP::IoctlResponse& r);
    void OnRtpRadioEvent(const TERM::RtpRadioRequest& r);
    void OnVADEvent(const LGCP::VADEvent& e);
    void OnProtoLemzEvent(const LEMZGW::ProtoLemzPackets& p);
    void OnSDEvent(const LGCP::SDEvent& e);
    void OnRtpEvent(const LGCP::RtpEvent& e);

    // ---- event translators: the raw events of the channel's tone DSP,
    // voice-processing DSP and RTP session as signals of this slot. Events
    // that carry nothing usable are dropped with a line on the error stream
    // (RTP events of other types silently). Records are not null.

    // A detected tone (signal `tonec`): the fax tones `ced` and `cng`, IVA
    // codes 1 to 20 and the ring-off (code / 256), DTMF codes up to 127.
    void processTonecEvent(uint32_t code, uint32_t timestamp);
    // The end of a DTMF sequence the channel sent (`tonec` `dtmfDone`).
    void processToneGenEvent();
    // A tone filter's report (`tonec` `tone-presence`).
    void processToneFltEvent(const dsproc_tone_event* e);
    // Voice activity per direction (`vad`); a negative value is absent.
    void processVADEvent(int32_t vad_rx, int32_t vad_tx);
    // Signal detection (`sd`); a negative value is absent.
    void processSDEvent(int32_t sd_rx);
    // The valid VAD flags (`vad`) and the SELCAL flag (`selcal`).
    void processFlagsEvent(const dsproc_flags_event* e);
    // The BSS score as text (`bss`).
    void processBSSEvent(const dsproc_bss_event* e);
    // Packet detection (`rtp` `pd`); other types are not reported.
    void processRtpEvent(const rtp_event& e);

    // Report a change of the input (signal `receiver`) or output (signal
    // `transmitter`) stream; nothing when the state is unchanged. Turning
    // the input off first unlinks the source, turning the output off first
    // unlinks every receiver.
    void OnChangeInputStream(bool on);
    void OnChangeOutputStream(bool on);

    // Completes a destruction that IBeforeDestroy postponed: the slot table
    // answers the pending destroy request and takes the slot out. The slot
    // is deleted on a later loop pass, so the caller may still touch its
    // members until it returns. Does nothing unless the slot is being
    // destroyed, and nothing the second time.
    void on_release();

    // ---- state ---------------------------------------------------------------

    int GetId() const { return id; }
    Slot* GetSource() const { return source; }
    // Sorted by address, without duplicates.
    const std::vector<Slot*>& GetReceivers() const { return receivers; }
    SlotFactory* GetSlotFactory() const { return factory; }
    bool IsInputActive() const { return inputActive; }
    bool IsOutputActive() const { return outputActive; }
    bool IsDestroying() const { return destroying; }
    // The sequence number of a destroy request whose answer waits for the
    // slot to finish; 0 when none does.
    unsigned GetDelayedSeq() const { return delayedSeq; }

    // ---- used by the slot table and the connection logic ---------------------

    // IBeforeDestroy(); when it allows the deletion, the slot also leaves
    // its factory's list.
    bool BeforeDestroy();
    // The logical halves of a link, on the receiver.
    void LogicalConnect(Slot& src);
    void LogicalDisconnect();

private:
    friend class Slots;
    friend class SlotFactory;

    // Sends `vad` with each direction whose `has` is set.
    void SendVad(bool hasRx, bool rx, bool hasTx, bool tx);

    // Sends the signal whose alternative `set` stores `value`.
    template <class Value>
    void Emit(void (LGCP::Signal::*set)(const Value&), const Value& value) {
        LGCP::Signal s;
        (s.*set)(value);
        SendSignal(s);
    }

    int id = -1;
    std::vector<Slot*> receivers;
    Slot* source = nullptr;
    SlotFactory* factory = nullptr;
    bool inputActive = false;
    bool outputActive = false;
    bool destroying = false;
    // The slot has left the table and waits for its deletion.
    bool released = false;
    // Sequence number of a destroy request whose answer waits for the slot.
    unsigned delayedSeq = 0;
};

// Writes the slot's log name (Slot::Put).
std::ostream& operator<<(std::ostream& os, const Slot& slot);

// The BSS score as the controller gets it: "%4.6f", cut to 30 characters.
std::string bssScoreText(const dsproc_bss_event& e);

#endif
