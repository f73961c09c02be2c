#ifndef KORVAND_BOARD_SIM_RTP_H
#define KORVAND_BOARD_SIM_RTP_H

#include <cstdint>
#include <string>
#include <vector>

#include "board/rtp_driver.h"
#include "board/sim_driver.h"

// The RTP streaming driver "/dev/rtp". Each open is one session: a
// begin-session request stores its rtp_connection_params, an add-channel
// request attaches a TDM channel of the RTP engine (the lowest free one
// for -1, or the one named when it is free) and writes it back. A session
// whose open closes gives its channel back. It also keeps the input switch,
// the packet-detection state and the user an RTP-attach request names, refuses a second begin or channel on one
// session with EBUSY, an add-channel before begin with EINVAL, and a full
// engine with EBUSY.
//
// Command words (after "/dev/rtp"):
//   event <channel> <type> <value> <timeout> [<count>]
//                             emits the rtp_event record on the session of
//                             the channel, `count` times (1 to 64)
//   sessions                  one line per session with a channel (below)
//   session <channel>         "channel=256 remote=10.0.0.9:5004 local=0.0.0.0:5004
//                             rx_pt=8 tx_pt=8 packet_factor=2 vad=0 crate=0
//                             ssrc=0x12345678 ttl=0 tos=-1 bss=0 input=off
//                             pd=off|<timeout>[ attach=<fd>/<pid>]"
//   log [<name>|clear]        the request log (SimControl::log)
// and raw, hangup, fail (SimDriver).
class SimRtp : public SimDriver {
public:
    static constexpr const char* kPath = "/dev/rtp";
    static const int32_t kFirstChannel = 256;
    static const int32_t kChannels = 128;  // a fully fitted board
    // The records one event command emits at most, well within what the
    // session's socket holds.
    static const long kMaxEventBurst = 64;

    struct Session : SimState {
        bool begun = false;
        rtp_connection_params params{};
        int32_t channel = -1;
        int32_t bss = 0;
        bool input = false;
        bool pd = false;
        int32_t pdTimeout = 0;
        bool attached = false;
        rtp_attach_session_params attach{};
    };

    SimRtp();

    void onOpen(SimHandle& h) override;

    // The session holding `channel`, or null.
    const Session* session(int32_t channel) const;
    // The sessions that hold a channel, by channel.
    std::vector<const Session*> sessions() const;
    // Emits `e` on the open of the session holding `channel`.
    bool emitEvent(int32_t channel, const rtp_event& e);

    std::string control(const std::vector<std::string>& words) override;

private:
    static Session& state(SimHandle& h);
    SimHandle* holder(int32_t channel) const;
    int addChannel(SimHandle& h, rtp_channel_info& r);

    std::string eventCommand(const std::vector<std::string>& words);
    std::string sessionCommand(const std::vector<std::string>& words) const;
    static std::string describe(const Session& s);
};

#endif
