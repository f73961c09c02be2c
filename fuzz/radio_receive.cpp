// The LEMZ and ED-137 gateway controllers on the simulated header-extension
// driver under hostile input: payloads of any content from a few senders,
// and radio requests of any content as the controller's ioctls and create
// commands bring them (aligned PER). Each input starts from the statuses of
// the create commands. What the controllers report must print, and encode
// as an LGCP signal whatever the radios sent, as long as the controller's
// own messages lay within their types (the decoder does not check that);
// while they lay within the types' roots, so must the signal, which a
// strict decoder at the controller would refuse whole otherwise. Nothing
// may fault.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/gen/lgcp.h"
#include "board/board_io.h"
#include "board/sim_board.h"
#include "board/sim_rtp_ext.h"
#include "fuzz/fuzz_input.h"
#include "rtp/ed137_radio_control.h"
#include "rtp/lemz_radio_control.h"
#include "runtime/multiplexer.h"

namespace {

using namespace RTPSignalling;

const uint32_t kSenders[] = {0x0100000A, 0x0200000A, 0x0300000A, 0};

struct Rig : IRadioControlNotify {
    Rig() : board(SimBoard::makeStandard()) {
        setBoardIo(board.get());
        ext = &board->model<SimRtpExt>(SimRtpExt::kPath);
        rtp_ext_init_params lemzInit{}, ed137Init{};
        lemzInit.etype = kRtpExtLemz;
        ed137Init.etype = kRtpExtEd137;
        ed137Init.param[0] = 1, ed137Init.param[1] = 123, ed137Init.param[2] = 10, ed137Init.param[3] = 1;
        lemz.reset(new LemzRadioGWControl(open(0), rtp_ext_attach_session_params{session[0].get(), ::getpid()}, lemzInit));
        ed137.reset(new ED137RadioGWControl(open(1), rtp_ext_attach_session_params{session[1].get(), -1}, ed137Init));
        lemz->SetNotify(this);
        ed137->SetNotify(this);
        lemzStatus.setFromValueNotation(
            "lemz : { flags { prio 5, ptt FALSE, bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, "
            "pwr FALSE, rv FALSE, resv FALSE, selcall 0, li 0 }, freq { channel 3, frequency \"121.5\" }, remote { "
            "no 1, ch 9 }, squelshe on, rte a1b, standby-state-channel active, standby-group 2, "
            "standby-state-receiver standby }");
        ed137Status.setFromValueNotation("ed-137 : { header { ptt ptt-off, squ squ-on, ptt-id 5, ptt-mute FALSE, "
                                         "ptt-summation FALSE, sct FALSE }, sqi { bss-method rssi, bss-quality 0 } }");
    }
    void reset() {
        lemz->SendASNToChan(lemzStatus);
        ed137->SendASNToChan(ed137Status);
        controllerValid = controllerStrict = true;
    }
    int open(int i) {
        session[i] = boardIo().open("/dev/rtp", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        rtp_connection_params p{};
        rtp_channel_info add{-1, -1, -1, 0};
        boardIo().ioctl(session[i].get(), Rtp::RTP_BEGIN_SESSION, &p);
        boardIo().ioctl(session[i].get(), Rtp::RTP_ADD_CHANNEL, &add);
        return channel[i] = add.tdm;
    }
    void RadioControlNotify(const TERM::RtpRadioRequest& r) override {
        LGCP::Signal s;
        s.set_rtpExt(r);
        if (s.asValueNotation().empty()) std::abort();
        ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
        std::vector<char> octets;
        if (!ASN1::encode(s, &env, std::back_inserter(octets)) && controllerValid) std::abort();
        if (controllerStrict && !s.isStrictlyValid()) std::abort();
    }
    void RadioControlNotify(int) override {}

    template <class Value>
    bool decode(const std::string& octets, Value& v) {
        ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
        std::vector<char> in(octets.begin(), octets.end());
        return ASN1::decode(in.data(), in.data() + in.size(), &env, v, true);
    }

    std::unique_ptr<SimBoard> board;
    SimRtpExt* ext;
    Fd session[2];
    int channel[2];
    std::unique_ptr<LemzRadioGWControl> lemz;
    std::unique_ptr<ED137RadioGWControl> ed137;
    TERM::RadioStatus lemzStatus, ed137Status;
    bool controllerValid = true;
    bool controllerStrict = true;
};

Rig& rig() {
    static Rig* r = new Rig;  // lives to the end of the process with the board
    return *r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192) return 0;
    Rig& r = rig();
    r.reset();
    FuzzInput in(data, size);
    while (!in.empty()) {
        uint8_t op = in.byte();
        std::string bytes = in.bytes(in.byte());
        switch (op & 3) {
            case 0:
            case 1: {
                std::vector<uint8_t> payload(bytes.begin(), bytes.end());
                r.ext->inject(r.channel[op & 1], kSenders[(op >> 2) & 3], op >> 4, payload);
                break;
            }
            case 2: {
                TERM::RadioModifier m;
                if (!r.decode(bytes, m)) break;
                r.controllerValid &= m.isValid();
                r.controllerStrict &= m.isStrictlyValid();
                r.lemz->SendASNToChan(m), r.ed137->SendASNToChan(m);
                break;
            }
            case 3: {
                TERM::RadioStatus s;
                if (!r.decode(bytes, s)) break;
                r.controllerValid &= s.isValid();
                r.controllerStrict &= s.isStrictlyValid();
                r.lemz->SendASNToChan(s), r.ed137->SendASNToChan(s);
                break;
            }
        }
        multiplexer.runOnce(0);
    }
    return 0;
}
