#include "board/sim_rtp.h"

#include <arpa/inet.h>
#include <errno.h>

#include <map>
#include <sstream>

#include "board/sim_control.h"
#include "board/sim_words.h"

using namespace Rtp;

namespace {

const std::map<unsigned long, const char*> kRequestNames = {
    {RTP_BEGIN_SESSION, "begin"},  {RTP_ADD_CHANNEL, "add_channel"}, {RTP_INPUT_ON, "input_on"},
    {RTP_INPUT_OFF, "input_off"},  {RTP_TEARDOWN_0, "teardown_10"},  {RTP_TEARDOWN_1, "teardown_3"},
    {RTP_TEARDOWN_2, "teardown_11"}, {RTP_SET_PD, "set_pd"},         {RTP_RESET_PD, "reset_pd"},
    {RTP_ATTACH, "attach"},
};

}  // namespace

SimRtp::SimRtp() : SimDriver(kPath) {
    serveRecord<rtp_connection_params>(RTP_BEGIN_SESSION, [](SimHandle& h, const rtp_connection_params& p) {
        Session& s = state(h);
        if (s.begun) return refuse(EBUSY);
        s.begun = true;
        s.params = p;
        return 0;
    });
    serveReport<rtp_channel_info>(RTP_ADD_CHANNEL,
                                       [this](SimHandle& h, rtp_channel_info& r) { return addChannel(h, r); });
    serveBare(RTP_INPUT_ON, [](SimHandle& h) { return state(h).input = true, 0; });
    serveBare(RTP_INPUT_OFF, [](SimHandle& h) { return state(h).input = false, 0; });
    serveBare(RTP_TEARDOWN_0, [](SimHandle& h) { return state(h).input = false, 0; });
    serveBare(RTP_TEARDOWN_1, [](SimHandle& h) { return state(h).channel = -1, 0; });
    serveBare(RTP_TEARDOWN_2, [](SimHandle& h) { return state(h).begun = false, 0; });
    serveReport<rtp_pd_params>(RTP_SET_PD, [](SimHandle& h, rtp_pd_params& r) {
        if (r.word[0] != 1 || r.word[2] < 0 || r.word[5] != r.word[2]) return refuse(EINVAL);
        Session& s = state(h);
        s.pd = true;
        s.pdTimeout = r.word[2];
        return 0;
    });
    serveRecord<int32_t>(RTP_RESET_PD, [](SimHandle& h, const int32_t& one) {
        if (one != 1) return refuse(EINVAL);
        state(h).pd = false;
        return 0;
    });
    serveReport<rtp_attach_session_params>(RTP_ATTACH, [](SimHandle& h, rtp_attach_session_params& a) {
        Session& s = state(h);
        if (s.channel < 0) return refuse(EINVAL);
        s.attached = true;
        s.attach = a;
        return 0;
    });
}

void SimRtp::onOpen(SimHandle& h) {
    h.state.reset(new Session);
}

SimRtp::Session& SimRtp::state(SimHandle& h) {
    return static_cast<Session&>(*h.state);
}

SimHandle* SimRtp::holder(int32_t channel) const {
    for (SimHandle* h : handles())
        if (!isDown(*h) && static_cast<const Session&>(*h->state).channel == channel) return h;
    return nullptr;
}

int SimRtp::addChannel(SimHandle& h, rtp_channel_info& r) {
    Session& s = state(h);
    if (!s.begun) return refuse(EINVAL);
    if (s.channel >= 0) return refuse(EBUSY);
    int32_t channel = r.tdm;
    if (channel == -1) {
        for (channel = kFirstChannel; channel < kFirstChannel + kChannels && holder(channel); ++channel) {
        }
    }
    if (channel < kFirstChannel || channel >= kFirstChannel + kChannels) return refuse(channel == -1 ? EBUSY : EINVAL);
    if (holder(channel)) return refuse(EBUSY);
    s.channel = r.tdm = channel;
    s.bss = r.bss_enable;
    return 0;
}

const SimRtp::Session* SimRtp::session(int32_t channel) const {
    SimHandle* h = channel >= 0 ? holder(channel) : nullptr;
    return h ? &static_cast<const Session&>(*h->state) : nullptr;
}

std::vector<const SimRtp::Session*> SimRtp::sessions() const {
    std::vector<const Session*> out;
    for (int32_t c = kFirstChannel; c < kFirstChannel + kChannels; ++c)
        if (const Session* s = session(c)) out.push_back(s);
    return out;
}

bool SimRtp::emitEvent(int32_t channel, const rtp_event& e) {
    SimHandle* h = channel >= 0 ? holder(channel) : nullptr;
    return h && emit(*h, &e, sizeof e);
}

// ---- control commands ------------------------------------------------------

std::string SimRtp::control(const std::vector<std::string>& words) {
    if (words.empty()) return SimDriver::control(words);
    if (words[0] == "event") return eventCommand(words);
    if (words[0] == "session" || words[0] == "sessions") return sessionCommand(words);
    if (words[0] == "log")
        return SimControl::log(*this, SimControl::tail(words, 1), [](unsigned long number) -> const char* {
            auto it = kRequestNames.find(number);
            return it == kRequestNames.end() ? nullptr : it->second;
        });
    return SimDriver::control(words);
}

std::string SimRtp::eventCommand(const std::vector<std::string>& words) {
    long v[5] = {0, 0, 0, 0, 1};
    if (words.size() != 5 && words.size() != 6)
        return SimWords::error("usage: event <channel> <type> <value> <timeout> [<count>]");
    for (size_t i = 0; i < 4; ++i)
        if (!SimWords::number(words[1 + i], -0x80000000L, 0xFFFFFFFFL, v[i])) return SimWords::error("bad number");
    if (words.size() == 6 && !SimWords::number(words[5], 1, kMaxEventBurst, v[4])) return SimWords::error("bad count");
    rtp_event e{};
    e.type = static_cast<uint32_t>(v[1]);
    e.value = static_cast<int32_t>(v[2]);
    e.timeout = static_cast<int32_t>(v[3]);
    for (long n = 0; n < v[4]; ++n)
        if (!emitEvent(static_cast<int32_t>(v[0]), e)) return SimWords::error("no session took it");
    return SimWords::ok();
}

std::string SimRtp::sessionCommand(const std::vector<std::string>& words) const {
    if (words[0] == "sessions" && words.size() == 1) {
        std::string out;
        for (const Session* s : sessions()) out += (out.empty() ? "" : "\n") + describe(*s);
        return out;
    }
    long channel;
    if (words[0] != "session" || words.size() != 2 || !SimWords::number(words[1], 0, 0x7FFFFFFF, channel))
        return SimWords::error("usage: session <channel> | sessions");
    const Session* s = session(static_cast<int32_t>(channel));
    return s ? describe(*s) : SimWords::error("no session");
}

std::string SimRtp::describe(const Session& s) {
    auto address = [](uint32_t a, uint16_t port) {
        in_addr in;
        in.s_addr = a;
        return std::string(inet_ntoa(in)) + ":" + std::to_string(port);
    };
    const rtp_connection_params& p = s.params;
    std::ostringstream out;
    out << "channel=" << s.channel << " remote=" << address(p.remote_addr, p.remote_port)
        << " local=" << address(p.local_addr, p.local_port) << " rx_pt=" << p.rx_pt << " tx_pt=" << p.tx_pt
        << " packet_factor=" << p.packet_factor << " vad=" << int(p.vad) << " crate=" << int(p.crate) << " ssrc=0x"
        << std::hex << p.ssrc << std::dec << " ttl=" << p.ttl << " tos=" << p.tos << " bss=" << s.bss
        << " input=" << SimWords::onOff(s.input) << " pd=" << (s.pd ? std::to_string(s.pdTimeout) : "off");
    if (s.attached) out << " attach=" << s.attach.fd_rtp << "/" << s.attach.pid_rtp;
    return out.str();
}
