#ifndef KORVAND_RTP_ED137_RADIO_CONTROL_H
#define KORVAND_RTP_ED137_RADIO_CONTROL_H

#include "rtp/ed137_radio_state.h"
#include "rtp/r2s_proto.h"
#include "rtp/radio_control.h"
#include "runtime/mux_clock.h"

namespace RTPSignalling {

// The R2S payload functions the receive and send loops use; the gateway
// receives the ground side's tx payloads.
struct R2sCodec {
    using Packet = r2s_proto;
    static int init(r2s_proto* p) { return r2s_proto_init(p, 0); }
    static int unpack(r2s_proto* p, const unsigned char* data, int len) { return r2s_proto_unpack_tx(p, data, len); }
    static int pack(const r2s_proto* p, unsigned char* buf, int len) { return r2s_proto_pack(p, buf, len); }
    static int compare(const r2s_proto* a, const r2s_proto* b) { return cmp_r2s_proto_source(a, b); }
};

// An ED-137 radio controller: the ground side's R2S payloads are reported to
// the slot (an unchanged state at most once per status interval), the
// controller's radio states are sent to the ground side when they change.
class ED137RadioControl : public RadioProtoControl<R2sCodec> {
public:
    ED137RadioControl(int slotId, const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init);
    ED137RadioControl(int slotId, Fd rtp, const rtp_attach_session_params& attach);
    explicit ED137RadioControl(const rtp_ext_init_params& init);

    void SetParams(const ED137RadioParams& p) { params = p; }
    const ED137RadioParams& GetParams() const { return params; }

    bool SendASNToChan(const TERM::RadioStatus& status) override;
    bool SendASNToChan(const TERM::RadioModifier& modifier) override;
    bool GetSQU() override { return channelState.squ > 0; }

    const ED137RadioState& GetRadioState() const { return radioState; }
    const ED137RadioState& GetChannelState() const { return channelState; }

protected:
    virtual int PutProtoFromRadioToChan(const ED137RadioState&) { return 0; }
    virtual int PutProtoFromChanToRadio(const ED137RadioState&) { return 0; }
    virtual bool AccessFormChanToRadio(const ED137RadioState&) { return true; }
    virtual int EncodeProto(const ED137RadioState&, r2s_proto&) { return 0; }

    void OnReceiveStart() override { lastStatusTime = Mux::milliseconds(); }
    void OnDecoded() override { lastDecoded = lastStatusTime; }
    void OnRtpProtoRXEvent(const r2s_proto& p) override;
    // Whether a state differs from what was sent, or the driver keeps no
    // interval of its own (its sigtime or keep-alive count is below 1).
    bool NeedSendProto(const ED137RadioState& state) const;
    void SendRadioStateToChan(const ED137RadioState& state);

    ED137RadioParams params;
    uint32_t lastKeepAlive = 0;
    uint32_t lastReport = 0;
    uint32_t lastDecoded = 0;
    ED137RadioState radioState;
    ED137RadioState channelState;

private:
    void Init();
};

// The radio side of the link: it answers the ground side's push-to-talk,
// keeps the link alive and gives the slot up (151) when the ground falls
// silent.
class ED137RadioGWControl : public ED137RadioControl {
public:
    using ED137RadioControl::ED137RadioControl;

    // The code the slot aborts with when the ground side falls silent.
    static const int kKeepAliveLost = 151;

protected:
    unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override;
    int PutProtoFromRadioToChan(const ED137RadioState& state) override;
    int PutProtoFromChanToRadio(const ED137RadioState& state) override;
    bool AccessFormChanToRadio(const ED137RadioState& state) override;
    int EncodeProto(const ED137RadioState& state, r2s_proto& p) override;
};

}  // namespace RTPSignalling

#endif
