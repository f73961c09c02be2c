#ifndef KORVAND_BOARD_SIM_RTP_EXT_H
#define KORVAND_BOARD_SIM_RTP_EXT_H

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "board/rtp_driver.h"
#include "board/sim_driver.h"

class SimRtp;

// The RTP header-extension driver "/dev/rtp_ext". Each open is one
// extension session: an init request sets its profile (0x1337 or 0x0167)
// and four words, an attach request binds it to an RTP session of this
// process named by its descriptor number (the open of "/dev/rtp" behind
// that descriptor, which must hold a channel; EBADF for a descriptor that
// is no RTP session), a detach request unbinds it. One RTP session takes
// one extension session (EBUSY for a second).
//
// A received payload is queued with its packet information and made
// readable as one record: the packet-information request gives the
// information of the next one, which the following read returns, and
// answers the number of payloads waiting (0 when none) or, switched to
// answer as a driver may that answers 0 for success, 0 in every case; the
// daemon must read after it either way. While a source filter is set only
// payloads from its address are queued. Payloads are padded with zeros to
// whole 32-bit words, as they travel in an RTP header extension; so are the
// payloads the daemon writes, which the model keeps (the last 256 of each
// session). The descriptor never blocks a write; a payload over 1024 bytes
// is refused with EMSGSIZE, a write before init with EINVAL.
//
// Command words (after "/dev/rtp_ext"):
//   inject <channel> <a.b.c.d> <id> <hex> [<count>]
//                             queues the payload from that source on the
//                             session attached to the channel's RTP
//                             session, `count` times (1 to 64); "filtered"
//                             when the source filter dropped it
//   info [count|zero]         what the packet-information request answers:
//                             the payloads waiting (count, at start) or 0
//                             (zero); without a word, the one in use
//   writes <channel> [clear]  the payloads written, one hex line each
//   session <channel>         "channel=256 etype=0x1337 init=0,0,0,0
//                             attach=12/4321 filter=off|10.0.0.9 queued=0
//                             written=3"
//   log [<name>|clear]        the request log (SimControl::log)
// and raw <hex> (queued on every session from 0.0.0.0), hangup, fail.
class SimRtpExt : public SimDriver {
public:
    static constexpr const char* kPath = "/dev/rtp_ext";
    static const size_t kWritesKept = 256;
    static const long kMaxInjectBurst = 64;

    struct Session : SimState {
        bool initialised = false;
        rtp_ext_init_params init{};
        bool attached = false;
        rtp_ext_attach_session_params attach{};
        int32_t channel = -1;  // of the RTP session attached
        bool filtered = false;
        rtp_ext_source_filter filter{};
        std::deque<rtp_ext_packet_info> queued;
        std::deque<std::vector<uint8_t>> writes;
        unsigned long written = 0;
    };

    explicit SimRtpExt(const SimRtp& rtp);

    void onOpen(SimHandle& h) override;
    ssize_t onWrite(SimHandle& h, int fd, const void* buf, size_t len) override;

    // The session attached to the RTP session of `channel`, or null.
    const Session* session(int32_t channel) const;
    Session* session(int32_t channel);
    // Queues `payload` from `source` (network order) with the second source
    // word `id` on the session of `channel`; false when there is none or the
    // filter drops it.
    bool inject(int32_t channel, uint32_t source, uint32_t id, const std::vector<uint8_t>& payload);

    std::string control(const std::vector<std::string>& words) override;

    // Zero bytes up to a whole number of 32-bit words.
    static std::vector<uint8_t> padded(const uint8_t* data, size_t len);

private:
    static Session& state(SimHandle& h);
    SimHandle* holder(int32_t channel) const;
    bool queue(SimHandle& h, const rtp_ext_packet_info& info, const std::vector<uint8_t>& payload);
    int attach(SimHandle& h, const rtp_ext_attach_session_params& a);
    int packetInfo(SimHandle& h, rtp_ext_packet_info& info);
    // The channel of the RTP session behind this process's descriptor `fd`:
    // -1 when `fd` is no open of "/dev/rtp", -2 when it holds no channel.
    int32_t rtpChannel(int fd) const;

    std::string injectCommand(const std::vector<std::string>& words);
    std::string writesCommand(const std::vector<std::string>& words);
    std::string sessionCommand(const std::vector<std::string>& words) const;
    std::string rawCommand(const std::vector<std::string>& words);
    std::string infoCommand(const std::vector<std::string>& words);

    const SimRtp& rtp_;
    // Whether the packet-information request answers the payloads waiting
    // (at start) or 0.
    bool infoCounts_ = true;
};

#endif
