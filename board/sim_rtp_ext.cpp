#include "board/sim_rtp_ext.h"

#include <arpa/inet.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <sstream>

#include "board/sim_control.h"
#include "board/sim_rtp.h"
#include "board/sim_words.h"

using namespace Rtp;

namespace {

const std::map<unsigned long, const char*> kRequestNames = {
    {RTP_EXT_INIT, "init"},           {RTP_EXT_ATTACH, "attach"},         {RTP_EXT_DETACH, "detach"},
    {RTP_EXT_PACKET_INFO, "info"},    {RTP_EXT_SET_FILTER, "set_filter"}, {RTP_EXT_RESET_FILTER, "reset_filter"},
};

std::string dotted(uint32_t networkOrder) {
    in_addr a;
    a.s_addr = networkOrder;
    return inet_ntoa(a);
}

}  // namespace

SimRtpExt::SimRtpExt(const SimRtp& rtp) : SimDriver(kPath), rtp_(rtp) {
    serveRecord<rtp_ext_init_params>(RTP_EXT_INIT, [](SimHandle& h, const rtp_ext_init_params& p) {
        Session& s = state(h);
        if (p.etype != kRtpExtLemz && p.etype != kRtpExtEd137) return refuse(EINVAL);
        if (s.initialised) return refuse(EBUSY);
        s.initialised = true;
        s.init = p;
        return 0;
    });
    serveReport<rtp_ext_attach_session_params>(
        RTP_EXT_ATTACH, [this](SimHandle& h, rtp_ext_attach_session_params& a) { return attach(h, a); });
    serveBare(RTP_EXT_DETACH, [](SimHandle& h) {
        Session& s = state(h);
        if (!s.attached) return refuse(EINVAL);
        s.attached = false;
        s.channel = -1;
        return 0;
    });
    serveReport<rtp_ext_packet_info>(RTP_EXT_PACKET_INFO,
                                     [this](SimHandle& h, rtp_ext_packet_info& i) { return packetInfo(h, i); });
    serveReport<rtp_ext_source_filter>(RTP_EXT_SET_FILTER, [](SimHandle& h, rtp_ext_source_filter& f) {
        if (f.reserved != 0) return refuse(EINVAL);
        Session& s = state(h);
        s.filtered = true;
        s.filter = f;
        return 0;
    });
    serveBare(RTP_EXT_RESET_FILTER, [](SimHandle& h) {
        Session& s = state(h);
        s.filtered = false;
        s.filter = rtp_ext_source_filter{};
        return 0;
    });
}

void SimRtpExt::onOpen(SimHandle& h) {
    h.state.reset(new Session);
}

SimRtpExt::Session& SimRtpExt::state(SimHandle& h) {
    return static_cast<Session&>(*h.state);
}

int32_t SimRtpExt::rtpChannel(int fd) const {
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) return -1;
    for (SimHandle* h : rtp_.handles())
        if (h->ino == st.st_ino && h->dev == st.st_dev && !rtp_.isDown(*h)) {
            int32_t channel = static_cast<const SimRtp::Session&>(*h->state).channel;
            return channel >= 0 ? channel : -2;
        }
    return -1;
}

int SimRtpExt::attach(SimHandle& h, const rtp_ext_attach_session_params& a) {
    Session& s = state(h);
    if (!s.initialised) return refuse(EINVAL);
    if (s.attached) return refuse(EBUSY);
    // The driver resolves the number in the process named (this one), or
    // in the caller's when the process is -1.
    if (a.pid_rtp != -1 && a.pid_rtp != ::getpid()) return refuse(ESRCH);
    int32_t channel = rtpChannel(a.fd_rtp);
    if (channel == -1) return refuse(EBADF);
    if (channel == -2) return refuse(EINVAL);
    if (holder(channel)) return refuse(EBUSY);
    s.attached = true;
    s.attach = a;
    s.channel = channel;
    return 0;
}

int SimRtpExt::packetInfo(SimHandle& h, rtp_ext_packet_info& info) {
    Session& s = state(h);
    info = rtp_ext_packet_info{};
    if (s.queued.empty()) return 0;
    int waiting = static_cast<int>(s.queued.size());
    info = s.queued.front();
    s.queued.pop_front();
    return infoCounts_ ? waiting : 0;
}

ssize_t SimRtpExt::onWrite(SimHandle& h, int, const void* buf, size_t len) {
    Session& s = state(h);
    if (isDown(h)) return refuse(EIO);
    if (!s.initialised) return refuse(EINVAL);
    if (len > kRtpExtPayloadMax) return refuse(EMSGSIZE);
    if (s.writes.size() >= kWritesKept) s.writes.pop_front();
    s.writes.push_back(padded(static_cast<const uint8_t*>(buf), len));
    ++s.written;
    return static_cast<ssize_t>(len);
}

std::vector<uint8_t> SimRtpExt::padded(const uint8_t* data, size_t len) {
    std::vector<uint8_t> out(data, data + len);
    out.resize((len + 3) / 4 * 4, 0);
    return out;
}

SimHandle* SimRtpExt::holder(int32_t channel) const {
    if (channel < 0) return nullptr;
    for (SimHandle* h : handles()) {
        const Session& s = static_cast<const Session&>(*h->state);
        if (!isDown(*h) && s.attached && s.channel == channel) return h;
    }
    return nullptr;
}

const SimRtpExt::Session* SimRtpExt::session(int32_t channel) const {
    SimHandle* h = holder(channel);
    return h ? &static_cast<const Session&>(*h->state) : nullptr;
}

SimRtpExt::Session* SimRtpExt::session(int32_t channel) {
    SimHandle* h = holder(channel);
    return h ? &state(*h) : nullptr;
}

// The record goes out first: the information is queued only for a payload
// the daemon can read, so the two never drift apart.
bool SimRtpExt::queue(SimHandle& h, const rtp_ext_packet_info& info, const std::vector<uint8_t>& payload) {
    Session& s = state(h);
    if (s.filtered && info.word[1] != s.filter.addr) return false;
    std::vector<uint8_t> wire = padded(payload.data(), payload.size());
    if (!emit(h, wire.data(), wire.size())) return false;
    s.queued.push_back(info);
    return true;
}

bool SimRtpExt::inject(int32_t channel, uint32_t source, uint32_t id, const std::vector<uint8_t>& payload) {
    SimHandle* h = holder(channel);
    return h && queue(*h, rtp_ext_packet_info{{id, source, 0}}, payload);
}

// ---- control commands ------------------------------------------------------

std::string SimRtpExt::control(const std::vector<std::string>& words) {
    if (words.empty()) return SimDriver::control(words);
    if (words[0] == "inject") return injectCommand(words);
    if (words[0] == "writes") return writesCommand(words);
    if (words[0] == "session") return sessionCommand(words);
    if (words[0] == "raw") return rawCommand(words);
    if (words[0] == "info") return infoCommand(words);
    if (words[0] == "log")
        return SimControl::log(*this, SimControl::tail(words, 1), [](unsigned long number) -> const char* {
            auto it = kRequestNames.find(number);
            return it == kRequestNames.end() ? nullptr : it->second;
        });
    return SimDriver::control(words);
}

std::string SimRtpExt::injectCommand(const std::vector<std::string>& words) {
    long channel, count = 1;
    uint32_t id;
    in_addr source;
    std::vector<uint8_t> payload;
    if (words.size() != 5 && words.size() != 6)
        return SimWords::error("usage: inject <channel> <a.b.c.d> <id> <hex> [<count>]");
    if (!SimWords::number(words[1], 0, 0x7FFFFFFF, channel) || inet_pton(AF_INET, words[2].c_str(), &source) != 1 ||
        !SimWords::word32(words[3], id) || !SimWords::bytes(words[4], payload) ||
        (words.size() == 6 && !SimWords::number(words[5], 1, kMaxInjectBurst, count)))
        return SimWords::error("bad word");
    if (payload.size() > kRtpExtPayloadMax) return SimWords::error("payload over 1024 bytes");
    if (!holder(static_cast<int32_t>(channel))) return SimWords::error("no session");
    for (long n = 0; n < count; ++n)
        if (!inject(static_cast<int32_t>(channel), source.s_addr, id, payload)) return SimWords::error("filtered");
    return SimWords::ok();
}

std::string SimRtpExt::writesCommand(const std::vector<std::string>& words) {
    long channel;
    bool clear = words.size() == 3 && words[2] == "clear";
    if ((words.size() != 2 && !clear) || !SimWords::number(words[1], 0, 0x7FFFFFFF, channel))
        return SimWords::error("usage: writes <channel> [clear]");
    Session* s = session(static_cast<int32_t>(channel));
    if (!s) return SimWords::error("no session");
    std::string out;
    for (const auto& w : s->writes) out += (out.empty() ? "" : "\n") + SimWords::hex(w);
    if (clear) s->writes.clear();
    return out;
}

std::string SimRtpExt::sessionCommand(const std::vector<std::string>& words) const {
    long channel;
    if (words.size() != 2 || !SimWords::number(words[1], 0, 0x7FFFFFFF, channel))
        return SimWords::error("usage: session <channel>");
    const Session* s = session(static_cast<int32_t>(channel));
    if (!s) return SimWords::error("no session");
    std::ostringstream out;
    out << "channel=" << s->channel << " etype=0x" << std::hex << s->init.etype << std::dec << " init=" << s->init.param[0]
        << "," << s->init.param[1] << "," << s->init.param[2] << "," << s->init.param[3] << " attach=" << s->attach.fd_rtp
        << "/" << s->attach.pid_rtp << " filter=" << (s->filtered ? dotted(s->filter.addr) : "off")
        << " queued=" << s->queued.size() << " written=" << s->written;
    return out.str();
}

std::string SimRtpExt::rawCommand(const std::vector<std::string>& words) {
    std::vector<uint8_t> payload;
    if (words.size() != 2 || !SimWords::bytes(words[1], payload)) return SimWords::error("usage: raw <hex>");
    size_t taken = 0;
    for (SimHandle* h : handles())
        if (!isDown(*h) && state(*h).initialised) taken += queue(*h, rtp_ext_packet_info{}, payload);
    return taken ? SimWords::ok() : SimWords::error("no open took it");
}

std::string SimRtpExt::infoCommand(const std::vector<std::string>& words) {
    if (words.size() == 1) return infoCounts_ ? "count" : "zero";
    if (words.size() != 2 || (words[1] != "count" && words[1] != "zero"))
        return SimWords::error("usage: info [count|zero]");
    infoCounts_ = words[1] == "count";
    return SimWords::ok();
}
