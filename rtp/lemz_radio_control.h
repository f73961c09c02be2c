#ifndef KORVAND_RTP_LEMZ_RADIO_CONTROL_H
#define KORVAND_RTP_LEMZ_RADIO_CONTROL_H

#include "rtp/lemz_radio_state.h"
#include "rtp/radio_control.h"
#include "rtp/sig_proto.h"

namespace RTPSignalling {

// The LEMZ packet functions the receive and send loops use.
struct LemzCodec {
    using Packet = sig_proto;
    static int init(sig_proto* p) { return sig_proto_init(p); }
    static int unpack(sig_proto* p, const unsigned char* data, int len) { return sig_proto_unpack(p, data, len); }
    static int pack(const sig_proto* p, unsigned char* buf, int len) { return sig_proto_pack(p, buf, len); }
    static int compare(const sig_proto* a, const sig_proto* b) { return cmp_sig_proto_header(a, b); }
};

// A LEMZ radio controller: packets from the channel (the far end of the
// header extensions) are checked against the access rules, merged into the
// radio state and reported to the slot; the controller's messages are
// merged into the channel state and sent to the channel. The two sides of
// the link derive from it.
class LemzRadioControl : public RadioProtoControl<LemzCodec> {
public:
    LemzRadioControl(int slotId, const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init);
    LemzRadioControl(int slotId, Fd rtp, const rtp_attach_session_params& attach);
    explicit LemzRadioControl(const rtp_ext_init_params& init);

    bool SendASNToChan(const TERM::RadioStatus& status) override;
    bool SendASNToChan(const TERM::RadioModifier& modifier) override;
    bool GetSQU() override { return channelState.sql > 0; }

    const LemzRadioState& GetRadioState() const { return radioState; }
    const LemzRadioState& GetChannelState() const { return channelState; }

protected:
    // The hooks of each side: 0 goes on (to send, or to report), nonzero
    // keeps the state only.
    virtual int PutProtoFromRadioToChan(const LemzRadioState&) { return 0; }
    virtual int PutProtoFromChanToRadio(const LemzRadioState&) { return 0; }
    virtual bool AccessFormChanToRadio(const LemzRadioState&) { return true; }
    virtual int EncodeProto(const LemzRadioState&, sig_proto&) { return 0; }

    void OnRtpProtoRXEvent(const sig_proto& p) override;
    void SendRadioStateToChan(const LemzRadioState& state);
    // Holds the radio for the channel state's transmitter while its ptt is set.
    void UpdateHolder();

    // The resend times of the gateway's announcements, by group.
    enum ResendGroup { kFlags, kChan, kRemote, kStandby, kGroups };
    static int GroupOf(int32_t command);
    uint32_t resendTime[kGroups];

    LemzRadioState radioState;
    LemzRadioState channelState;

private:
    void Init();
};

// The gateway side: the radio state is what the workstations command, the
// channel state what the gateway announces, again and again.
class LemzRadioGWControl : public LemzRadioControl {
public:
    using LemzRadioControl::LemzRadioControl;

protected:
    unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override;
    int PutProtoFromRadioToChan(const LemzRadioState& state) override;
    int PutProtoFromChanToRadio(const LemzRadioState& state) override;
    bool AccessFormChanToRadio(const LemzRadioState& state) override;
    int EncodeProto(const LemzRadioState& state, sig_proto& p) override;

private:
    // Sends the channel state as `command` when it encodes; true when sent.
    bool Announce(int32_t command, uint32_t now);
};

// The workstation side, the mirror of the gateway; no slot builds it.
class LemzRadioWSControl : public LemzRadioControl {
public:
    using LemzRadioControl::LemzRadioControl;

protected:
    int PutProtoFromRadioToChan(const LemzRadioState& state) override;
    int PutProtoFromChanToRadio(const LemzRadioState& state) override;
    int EncodeProto(const LemzRadioState& state, sig_proto& p) override;
};

}  // namespace RTPSignalling

#endif
