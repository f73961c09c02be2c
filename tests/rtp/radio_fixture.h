#ifndef KORVAND_TESTS_RTP_RADIO_FIXTURE_H
#define KORVAND_TESTS_RTP_RADIO_FIXTURE_H

#include <arpa/inet.h>
#include <fcntl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "board/board_io.h"
#include "board/sim_rtp.h"
#include "board/sim_rtp_ext.h"
#include "rtp/r2s_proto.h"
#include "rtp/radio_control.h"
#include "rtp/sig_proto.h"
#include "tests/support/capture.h"
#include "tests/support/pump.h"
#include "tests/support/sim_scope.h"
#include "tests/support/test_clock.h"

using Bytes = std::vector<uint8_t>;

// Value notation on one line, each run of blanks and line ends one blank.
inline std::string oneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        bool blank = c == ' ' || c == '\n';
        if (!blank || (!line.empty() && line.back() != ' ')) line += blank ? ' ' : c;
    }
    return line;
}

// What a controller tells its slot.
// Requests in value notation on one line.
struct NotifyRecorder : RTPSignalling::IRadioControlNotify {
    void RadioControlNotify(const TERM::RtpRadioRequest& r) override { requests.push_back(oneLine(r.asValueNotation())); }
    void RadioControlNotify(int code) override { codes.push_back(code); }
    std::vector<std::string> requests;
    std::vector<int> codes;
};

inline uint32_t addr(const char* dotted) {
    return inet_addr(dotted);
}

template <class T>
T parse(const std::string& text) {
    T v;
    EXPECT_TRUE(v.setFromValueNotation(text)) << text;
    return v;
}

// The LEMZ flags of a radio request in value notation.
inline std::string flags(int prio, bool ptt) {
    return "flags { prio " + std::to_string(prio) + ", ptt " + (ptt ? "TRUE" : "FALSE") +
           ", bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, pwr FALSE, rv FALSE, resv FALSE, "
           "selcall 0, li 0 }";
}

// A full LEMZ status: priority 5, channel 3 on 121.5, remote 1/9, standby set.
inline std::string lemzStatusText() {
    return "lemz : { " + flags(5, false) + ", freq { channel 3, frequency \"121.5\" }, remote { no 1, ch 9 }, "
           "squelshe on, rte a1b, standby-state-channel active, standby-group 2, standby-state-receiver standby }";
}

inline Bytes lemzPacket(uint32_t type, const std::function<void(sig_proto&)>& fill = nullptr) {
    sig_proto p;
    sig_proto_init(&p);
    p.type = type;
    if (fill) fill(p);
    Bytes b(300);
    b.resize(size_t(sig_proto_pack(&p, b.data(), int(b.size()))));
    return b;
}

// A packet of `type` with push-to-talk `ptt` at priority `prio`.
inline Bytes lemzFlags(uint32_t type, int prio, int ptt = 1) {
    return lemzPacket(type, [&](sig_proto& p) { sig_proto_set_base(&p, prio, 0, ptt, 0, 0, 0, 0, 0, 0, 0, 0, 0); });
}

inline Bytes r2sTx(unsigned pttType, unsigned pttId) {
    r2s_proto p;
    r2s_proto_init(&p, 0);
    r2s_proto_set_tx_header(&p, pttType, pttId, 0, 0);
    Bytes b(64);
    b.resize(size_t(r2s_proto_pack(&p, b.data(), int(b.size()))));
    return b;
}

// An RTP session with a channel on the simulated board, for controllers to
// attach their extension session to; the loop runs on the test clock.
class RadioSession : public ::testing::Test {
protected:
    void SetUp() override {
        session = boardIo().open("/dev/rtp", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        rtp_connection_params p{};
        rtp_channel_info add{-1, -1, -1, 0};
        ASSERT_EQ(0, boardIo().ioctl(session.get(), Rtp::RTP_BEGIN_SESSION, &p));
        ASSERT_EQ(0, boardIo().ioctl(session.get(), Rtp::RTP_ADD_CHANNEL, &add));
        channel = add.tdm;
    }
    void TearDown() override { session.close(); }

    rtp_ext_attach_session_params attach(int pid = -1) const { return {session.get(), pid}; }
    static rtp_ext_init_params init(uint16_t etype, uint32_t keepAlives = 0, uint32_t sigtime = 0) {
        rtp_ext_init_params i{};
        i.etype = etype;
        if (etype == kRtpExtEd137) i.param[0] = 1, i.param[1] = 123, i.param[2] = keepAlives, i.param[3] = sigtime;
        return i;
    }
    // Queues a payload from `source` and lets the controller read it.
    void receive(const Bytes& payload, uint32_t source, uint32_t id = 0) {
        ASSERT_TRUE(ext.inject(channel, source, id, payload));
        pumpPasses(2);
    }
    // The payloads written since the last call.
    std::vector<Bytes> written() {
        std::vector<Bytes> out;
        if (SimRtpExt::Session* s = ext.session(channel)) {
            out.assign(s->writes.begin(), s->writes.end());
            s->writes.clear();
        }
        return out;
    }
    // Runs the clock for `ms` in 10 ms steps; each payload written, with
    // the time it went out (ms from now) and its first byte.
    std::vector<std::pair<uint64_t, int>> runFor(uint64_t ms) {
        std::vector<std::pair<uint64_t, int>> out;
        for (uint64_t t = 10; t <= ms; t += 10) {
            advanceAndPump(clock, 10);
            for (const Bytes& b : written()) out.push_back({t, b.empty() ? -1 : b[0]});
        }
        return out;
    }

    TestClock clock;
    SimScope sim;
    StreamCapture log{std::clog};
    StreamCapture err{std::cerr};
    SimRtp& rtp = sim.model<SimRtp>(SimRtp::kPath);
    SimRtpExt& ext = sim.model<SimRtpExt>(SimRtpExt::kPath);
    Fd session;
    int channel = -1;
    NotifyRecorder notify;
};

#endif
