#include "rtp/rtp_factory.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/socket.h>

#include <cstring>
#include <iostream>
#include <random>

#include "board/board_io.h"
#include "board/voice_driver.h"
#include "hardware/hw_mux.h"
#include "rtp/rtp_slot.h"
#include "runtime/inet4_addr.h"

RtpFactory::RtpFactory() {
    NewSsrc();
    IQuery();
}

std::ostream& operator<<(std::ostream& os, const RtpFactory& f) {
    f.PutHeader(os);
    return os;
}

void RtpFactory::PutHeader(std::ostream& os) const {
    os << prefix << "[" << g723 << "," << g729 << "," << g711 << "," << universal << "]: ";
}

// ---- resources -------------------------------------------------------------------

void RtpFactory::IQuery() {
    g729 = g723 = g711 = g711mcc = universal = 0;
    Fd voice = boardIo().open(GetVoiceDevName(), O_RDONLY | O_CLOEXEC);
    if (!voice) {
        std::cerr << "device \"" << GetVoiceDevName() << "\" open fail: " << std::strerror(errno) << std::endl;
        return;
    }
    const struct {
        int32_t mask;
        uint32_t* counter;
    } queries[] = {{Voice::kMaskG729, &g729},
                   {Voice::kMaskG723, &g723},
                   {Voice::kMaskG711, &g711},
                   {Voice::kMaskG711Mcc, &g711mcc},
                   {Voice::kMaskUniversal, &universal}};
    for (const auto& q : queries) {
        int32_t mask = q.mask;
        int capacity = boardIo().ioctl(voice.get(), Voice::VOICE_CAPACITY, &mask);
        if (capacity > 0) *q.counter = uint32_t(capacity);
    }
    voice.close();
}

void RtpFactory::Query(LGCP::Resources& r) {
    IQuery();
    r.set_rtp_g729(int(g729));
    r.set_rtp_g723(int(g723));
    r.set_rtp_g711(int(g711));
    r.set_rtp_g711mcc(int(g711mcc));
    r.set_universal(int(universal));
}

// ---- the session record -----------------------------------------------------------

uint16_t RtpFactory::translateCodec(const TERM::Payload& p) {
    switch (p.getValue()) {
        case TERM::Payload::ptG711_Alaw: return 8;
        case TERM::Payload::ptG723: return 4;
        case TERM::Payload::ptG729: return 18;
        case TERM::Payload::ptG711mcc_Alaw: return 136;
        case TERM::Payload::ptG711mcc_Ulaw: return 128;
        case TERM::Payload::ptG728: return 15;
        default: return 0;
    }
}

uint16_t RtpFactory::translateCodec(const TERM::Payload& codec, const TERM::Payload& direction) {
    int d = direction.getValue();
    bool g711 = d == TERM::Payload::ptG711_Alaw || d == TERM::Payload::ptG711_Ulaw;
    return translateCodec(g711 && d != codec.getValue() ? direction : codec);
}

namespace {

// Every board and every start picks other SSRCs: the source is seeded once,
// from the system's entropy.
std::mt19937& ssrcSource() {
    static std::mt19937 source = [] {
        uint32_t seed[8];
        if (getrandom(seed, sizeof seed, 0) != ssize_t(sizeof seed)) {
            std::random_device device;
            for (uint32_t& s : seed) s = device();
        }
        std::seed_seq sequence(std::begin(seed), std::end(seed));
        return std::mt19937(sequence);
    }();
    return source;
}

}  // namespace

uint32_t RtpFactory::NewSsrc() {
    return uint32_t(ssrcSource()());
}

bool RtpFactory::HostAddress(const char* field, const TERM::HostAddress& host, uint32_t& networkOrder) const {
    if (INet4::ParseDottedQuad(host.get_iaddr(), networkOrder)) return true;
    std::cerr << *this << "rtp do not created: " << field << " address " << host.get_iaddr() << " not valid"
              << std::endl;
    return false;
}

bool RtpFactory::FillParams(const LGCP::CreateRtpParams& p, rtp_connection_params& r) const {
    const TERM::RtpParams& c = p.get_codecRTP();
    std::memset(&r, 0, sizeof r);
    if (!HostAddress("dhost", c.get_dhost(), r.remote_addr)) return false;
    if (c.has_shost() && !HostAddress("shost", c.get_shost(), r.local_addr)) return false;
    r.remote_port = uint16_t(c.get_dhost().get_port().getValue());
    r.local_port = c.has_shost() ? uint16_t(c.get_shost().get_port().getValue()) : r.remote_port;
    r.rx_pt = translateCodec(c.get_payload(), p.get_rxPayload());
    r.tx_pt = translateCodec(c.get_payload(), p.get_txPayload());
    r.packet_factor = c.has_pfactor() ? uint16_t(c.get_pfactor().getValue()) : 0;
    r.vad = c.has_vad() && c.get_vad().getValue();
    r.crate = c.has_crate() && c.get_crate().getValue() != 0;
    r.ssrc = c.has_ssrc() ? c.get_ssrc().getValue() : NewSsrc();
    r.ttl = c.has_ttl() ? int32_t(c.get_ttl().getValue()) : 0;
    r.tos = c.has_qos_dscp() ? (c.get_qos_dscp().getValue() * 4) & 0xFC : -1;
    return true;
}

// ---- creation ----------------------------------------------------------------------

RtpFactory::Session::~Session() {
    socket.close();
    device.close();
}

namespace {

bool knownPayload(const TERM::Payload& p) {
    switch (p.getValue()) {
        case TERM::Payload::ptG711_Alaw: case TERM::Payload::ptG711_Ulaw: case TERM::Payload::ptG723:
        case TERM::Payload::ptG729: case TERM::Payload::ptG711mcc_Alaw: case TERM::Payload::ptG711mcc_Ulaw:
        case TERM::Payload::ptG728:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool RtpFactory::OpenSocket(uint16_t port, Session& s) const {
    s.socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int on = 1;
    if (!s.socket || ::setsockopt(s.socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        std::cerr << *this << "rtp do not created: can not create socket [errno=" << std::strerror(errno) << "]"
                  << std::endl;
        return false;
    }
    sockaddr_in local;
    std::memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (::bind(s.socket.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::cerr << *this << "rtp do not created: can not bind socket [errno=" << std::strerror(errno)
                  << ", port=" << port << "]" << std::endl;
        return false;
    }
    return true;
}

bool RtpFactory::OpenDevice(int32_t bss, Session& s) const {
    // Non-blocking: the slot drains the driver's events until it has none.
    s.device = boardIo().open(GetRtpDevName(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (!s.device) {
        std::cerr << "device \"" << GetRtpDevName() << "\" open fail: " << std::strerror(errno) << std::endl;
        return false;
    }
    if (boardIo().ioctl(s.device.get(), Rtp::RTP_BEGIN_SESSION, &s.params) < 0) {
        std::cerr << "begin session fail !!! " << std::endl;
        return false;
    }
    rtp_channel_info add{-1, -1, -1, bss};
    if (boardIo().ioctl(s.device.get(), Rtp::RTP_ADD_CHANNEL, &add) < 0) {
        std::cerr << "add channel fail !!!" << std::endl;
        return false;
    }
    s.channel = add.tdm;
    return true;
}

bool RtpFactory::OpenSession(const LGCP::CreateRtpParams& p, int32_t bss, Session& s) const {
    const TERM::RtpParams& c = p.get_codecRTP();
    if (!knownPayload(c.get_payload())) {
        std::cerr << *this << "rtp do not created: payload " << c.get_payload() << "not found" << std::endl;
        return false;
    }
    if (!FillParams(p, s.params)) return false;
    // The RTCP ports are the RTP ports + 1, in 16 bits.
    if (!OpenSocket(uint16_t(s.params.local_port + 1), s)) return false;
    if (!OpenDevice(bss, s)) return false;
    std::memset(&s.peer, 0, sizeof s.peer);
    s.peer.sin_family = AF_INET;
    s.peer.sin_addr.s_addr = s.params.remote_addr;
    s.peer.sin_port = htons(uint16_t(s.params.remote_port + 1));
    return true;
}

void RtpFactory::StartSlot(RtpSlot& slot, const TERM::RtpParams& p, Session& s) {
    slot.startRTPC(s.socket, s.peer);
    if (p.has_echo() && p.get_echo().get_suppressor().getValue())
        slot.dsp().echoCancel(p.get_echo().get_canceller().getValue());
}

Slot* RtpFactory::INewSlot(const LGCP::CreateParams& cp) {
    if (!cp.is_rtp() || cp.get_rtp().get_codecRTP().has_radio()) return nullptr;
    const LGCP::CreateRtpParams& p = cp.get_rtp();
    std::clog << *this << "do create rtp: " << p.get_codecRTP() << std::endl;
    Session s;
    if (!OpenSession(p, 0, s)) return nullptr;
    RtpSlot* slot = new RtpSlot(s.channel, s.device, s.params);
    s.device = Fd();  // the slot owns it now
    StartSlot(*slot, p.get_codecRTP(), s);
    return slot;
}
