#include "board/sim_mcc.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>

#include <algorithm>
#include <sstream>

#include "board/sim_bounded_log.h"
#include "board/sim_words.h"

SimMcc::SimMcc() : SimDriver(kPath) {
    serveRecord<Mcc::Allocate>(
        Mcc::MCC_ALLOCATE, [this](SimHandle& h, const Mcc::Allocate& r) { return allocate(h, r); });
    serveBare(Mcc::MCC_TIMESLOT, [this](SimHandle& h) { return timeslot(h); });
    serveReport<Mcc::Resources>(Mcc::MCC_RESOURCES,
                                [this](SimHandle&, Mcc::Resources& r) { return resources(r); });
}

bool SimMcc::setChannelPool(int first, int count) {
    if (!isChannel(first) || count < 1 || count > kChannelLimit - first) return false;
    poolFirst_ = first;
    poolCount_ = count;
    return true;
}

const SimMcc::Channel& SimMcc::channel(int number) const {
    static const Channel kIdle;
    auto it = channels_.find(number);
    return it == channels_.end() ? kIdle : it->second;
}

std::vector<int> SimMcc::allocated() const {
    std::vector<int> out;
    for (const auto& c : channels_)
        if (c.second.open) out.push_back(c.first);
    return out;
}

int SimMcc::channelOf(const SimHandle& h) const {
    for (const auto& c : channels_)
        if (c.second.open == &h) return c.first;
    return -1;
}

SimHandle* SimMcc::liveOpen(int c) const {
    SimHandle* h = channel(c).open;
    return h && !isDown(*h) ? h : nullptr;
}

// ---- requests --------------------------------------------------------------

// SS7 channels are data channels with another framing.
SimMcc::Use SimMcc::useOf(uint32_t kind) {
    if (kind == Mcc::kBri) return kBriUse;
    return kind == Mcc::kTransparent ? kTransparentUse : kDataUse;
}

uint32_t SimMcc::offered(Use use) const {
    const uint32_t counts[] = {counts_.data, counts_.bri, counts_.transparent};
    return counts[use];
}

uint32_t SimMcc::holding(Use use) const {
    uint32_t n = 0;
    for (const auto& c : channels_)
        if (c.second.open && useOf(c.second.allocation.kind) == use) ++n;
    return n;
}

int SimMcc::allocate(SimHandle& h, const Mcc::Allocate& r) {
    if (channelOf(h) >= 0) return refuse(EBUSY);
    if (r.kind > Mcc::kSs7 || r.reserved != 0 || r.rx_packet_size == 0) return refuse(EINVAL);
    if (holding(useOf(r.kind)) >= offered(useOf(r.kind))) return refuse(ENOSPC);
    for (int n = poolFirst_; n < poolFirst_ + poolCount_; ++n) {
        Channel& c = channels_[n];
        if (c.open) continue;
        c.open = &h;
        c.allocation = r;
        c.pacing = Pacing();
        return 0;
    }
    return refuse(ENOSPC);
}

int SimMcc::resources(Mcc::Resources& r) const {
    r = Mcc::Resources{counts_.data, counts_.bri, counts_.transparent, uint32_t(allocated().size())};
    return 0;
}

int SimMcc::timeslot(const SimHandle& h) const {
    int c = channelOf(h);
    return c >= 0 ? c : refuse(EINVAL);
}

void SimMcc::onClose(SimHandle& h) {
    SimDriver::onClose(h);
    int c = channelOf(h);
    if (c >= 0) channels_[c].open = nullptr;  // frames still held are lost with the open
}

ssize_t SimMcc::onWrite(SimHandle& h, int fd, const void* buf, size_t len) {
    if (isDown(h)) return refuse(EIO);
    if ((h.openFlags & O_ACCMODE) == O_RDONLY) return refuse(EBADF);
    int c = channelOf(h);
    if (c < 0 || len == 0) return refuse(EINVAL);
    if (!buf) return refuse(EFAULT);
    Channel& ch = channels_[c];
    if (ch.pace && !ch.pacing.buffered) {
        int bound = kPacedBuffer;
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bound, sizeof bound);
        ch.pacing.buffered = true;
    } else if (transmitBuffer_ > 0 && !ch.pace) {
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &transmitBuffer_, sizeof transmitBuffer_);
    }
    // Never block the daemon's one thread, whatever its descriptor's mode.
    ssize_t n = isStream(ch) ? sendStream(ch, fd, static_cast<const uint8_t*>(buf), len)
                             : ::send(fd, buf, len, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) return -1;
    if (!ch.held && !ch.pace) drain(c);
    return n;
}

size_t SimMcc::unit(const Channel& c) {
    return std::min<size_t>(c.allocation.rx_packet_size, size_t(kFrameLimit));
}

ssize_t SimMcc::sendStream(const Channel& c, int fd, const uint8_t* data, size_t len) {
    size_t taken = 0;
    while (taken < len) {
        size_t n = std::min(unit(c), len - taken);
        if (::send(fd, data + taken, n, MSG_DONTWAIT | MSG_NOSIGNAL) < 0) break;
        taken += n;
    }
    return taken > 0 ? ssize_t(taken) : -1;
}

// ---- the line --------------------------------------------------------------

void SimMcc::drain(int c) {
    // A failed open's end reads as end of file: nothing more to send.
    SimHandle* h = liveOpen(c);
    if (!h) return;
    scratch_.resize(kFrameLimit);
    for (ssize_t n; (n = ::recv(h->peer, scratch_.data(), scratch_.size(), MSG_DONTWAIT)) > 0;)
        deliver(c, Frame(scratch_.begin(), scratch_.begin() + std::min<ssize_t>(n, kFrameLimit)));
}

void SimMcc::deliver(int from, const Frame& frame) {
    Channel& c = channels_[from];
    keepNewest(c.sent, c.sentBytes, frame, kFrameLogLimit, kFrameLogBytes,
               [](const Frame& f) { return f.size(); });
    auto outside = peers_.find(from);
    if (outside != peers_.end()) {
        if (!outside->second->send(frame)) ++c.lost;
        return;
    }
    if (c.partner < 0) return;
    SimHandle* to = liveOpen(c.partner);
    if (!to || !emitTo(c.partner, *to, frame)) ++channels_[c.partner].lost;
}

bool SimMcc::emitTo(int c, SimHandle& h, const Frame& data) {
    const Channel& ch = channel(c);
    if (!isStream(ch) || data.empty()) return emit(h, data.data(), data.size());
    for (size_t at = 0; at < data.size(); at += unit(ch))
        if (!emit(h, data.data() + at, std::min(unit(ch), data.size() - at))) return false;
    return true;
}

bool SimMcc::patch(int a, int b) {
    if (!isChannel(a) || !isChannel(b)) return false;
    unpatch(a);
    unpatch(b);
    detach(a);
    detach(b);
    channels_[a].partner = b;
    channels_[b].partner = a;
    return true;
}

bool SimMcc::unpatch(int c) {
    if (!isChannel(c)) return false;
    int p = channels_[c].partner;
    if (p >= 0 && channels_[p].partner == c) channels_[p].partner = -1;
    channels_[c].partner = -1;
    return true;
}

bool SimMcc::hold(int c) {
    if (!isChannel(c)) return false;
    channels_[c].held = true;
    return true;
}

bool SimMcc::release(int c) {
    if (!isChannel(c)) return false;
    channels_[c].held = false;
    if (!channels_[c].pace) drain(c);
    return true;
}

// ---- the paced line ----------------------------------------------------------

bool SimMcc::setPace(int c, uint32_t rate) {
    if (!isChannel(c) || rate > kMaxPace) return false;
    Channel& ch = channels_[c];
    ch.pace = rate;
    ch.pacing.played = 0;
    ch.pacing.longestGap = 0;
    if (!rate && !ch.held) drain(c);
    return true;
}

bool SimMcc::ticking() const {
    for (const auto& c : channels_)
        if (c.second.pace && !c.second.held && liveOpen(c.first)) return true;
    return false;
}

void SimMcc::tick(uint64_t nowUs) {
    for (auto& c : channels_) {
        SimHandle* h = c.second.pace && !c.second.held ? liveOpen(c.first) : nullptr;
        if (h) play(c.first, *h, nowUs);
    }
}

// The line takes one buffer at a time, the next one as soon as what it has
// plays out within a buffer's time, so it never runs dry while the queue
// holds data and never holds more than two buffers ahead.
void SimMcc::play(int c, SimHandle& h, uint64_t nowUs) {
    Channel& ch = channels_[c];
    Pacing& p = ch.pacing;
    const uint64_t lead = uint64_t(unit(ch)) * 1000000 / ch.pace;
    scratch_.resize(kFrameLimit);
    while (!p.started || p.playedUntil < nowUs + lead) {
        ssize_t n = ::recv(h.peer, scratch_.data(), scratch_.size(), MSG_DONTWAIT);
        if (n <= 0) return;
        if (p.started && p.playedUntil < nowUs) p.longestGap = std::max(p.longestGap, nowUs - p.playedUntil);
        if (!p.started || p.playedUntil < nowUs) p.playedUntil = nowUs;
        p.started = true;
        p.playedUntil += uint64_t(n) * 1000000 / ch.pace;
        p.played += uint64_t(n);
        deliver(c, Frame(scratch_.begin(), scratch_.begin() + std::min<ssize_t>(n, kFrameLimit)));
    }
}

bool SimMcc::clearSent(int c) {
    if (!isChannel(c)) return false;
    channels_[c].sent.clear();
    channels_[c].sentBytes = 0;
    return true;
}

void SimMcc::clearLogs() {
    SimDevice::clearLogs();
    for (auto& c : channels_) {
        c.second.sent.clear();
        c.second.sentBytes = 0;
    }
}

bool SimMcc::receive(int c, const Frame& frame) {
    SimHandle* h = isChannel(c) ? liveOpen(c) : nullptr;
    return h && emitTo(c, *h, frame);
}

bool SimMcc::hangUp(int c) {
    SimHandle* h = isChannel(c) ? liveOpen(c) : nullptr;
    return h && hangUp(*h);
}

bool SimMcc::breakDown(int c) {
    SimHandle* h = isChannel(c) ? liveOpen(c) : nullptr;
    return h && breakDown(*h);
}

bool SimMcc::attach(int c, const std::string& path) {
    if (!isChannel(c) || !poller()) return false;
    detach(c);
    std::unique_ptr<SimMccPeer> peer = SimMccPeer::belowRoot(*poller(), path, [this, c](const Frame& f) {
        if (!receive(c, f)) ++channels_[c].lost;
    });
    if (!peer) return false;
    unpatch(c);
    peers_[c] = std::move(peer);
    return true;
}

bool SimMcc::detach(int c) {
    if (!isChannel(c)) return false;
    peers_.erase(c);
    return true;
}

// ---- control commands ------------------------------------------------------

std::string SimMcc::control(const std::vector<std::string>& words) {
    using namespace SimWords;
    if (words.empty()) return SimDriver::control(words);
    const std::string& verb = words[0];
    long a, b;
    if (verb == "pool" && words.size() == 3) {
        bool set = number(words[1], 0, kChannelLimit, a) && number(words[2], 0, kChannelLimit, b) &&
                   setChannelPool(int(a), int(b));
        return set ? ok() : error("bad pool");
    }
    if (verb == "counts" && (words.size() == 1 || words.size() == 4)) return countsCommand(words);
    if (verb == "buffer" && words.size() == 2) {
        if (!number(words[1], 0, 0x7FFFFFFF, a)) return error("bad size");
        setTransmitBuffer(int(a));
        return ok();
    }
    if (verb == "channels" && words.size() == 1) {
        std::string out;
        for (int c : allocated()) out += (out.empty() ? "" : " ") + std::to_string(c);
        return out;
    }
    if (verb == "pace" && (words.size() == 2 || words.size() == 3)) return paceCommand(words);
    if (verb == "patch" && words.size() == 3) {
        bool set = number(words[1], 0, kChannelLimit - 1, a) &&
                   number(words[2], 0, kChannelLimit - 1, b) && patch(int(a), int(b));
        return set ? ok() : error("bad channel");
    }
    if (words.size() >= 2 && verb != "raw") return channelCommand(words);
    return SimDriver::control(words);
}

std::string SimMcc::channelCommand(const std::vector<std::string>& words) {
    using namespace SimWords;
    const std::string& verb = words[0];
    long c;
    if (!number(words[1], 0, kChannelLimit - 1, c)) return error("bad channel");
    int n = int(c);
    if (verb == "attach" && words.size() == 3) return attach(n, words[2]) ? ok() : error("cannot listen there");
    if (verb == "rx" && words.size() <= 3) {
        Frame frame;
        if (words.size() == 3 && !bytes(words[2], frame)) return error("bad hex");
        return receive(n, frame) ? ok() : error("channel did not take the frame");
    }
    if (words.size() != 2) return SimDriver::control(words);
    if (verb == "state") return stateCommand(n);
    if (verb == "tx") {
        std::string out;
        for (const Frame& f : channel(n).sent) out += hex(f) + "\n";
        return out;
    }
    struct Action {
        const char* verb;
        bool (SimMcc::*run)(int);
    };
    static const Action kActions[] = {{"unpatch", &SimMcc::unpatch}, {"detach", &SimMcc::detach}, {"hold", &SimMcc::hold},
                                      {"release", &SimMcc::release}, {"clear", &SimMcc::clearSent},
                                      {"hangup", &SimMcc::hangUp},   {"fail", &SimMcc::breakDown}};
    for (const Action& a : kActions)
        if (verb == a.verb) return (this->*a.run)(n) ? ok() : error("channel has no open");
    return SimDriver::control(words);
}

std::string SimMcc::paceCommand(const std::vector<std::string>& words) {
    using namespace SimWords;
    long c = -1, rate = 0;
    bool all = words[1] == "all";
    if ((!all && !number(words[1], 0, kChannelLimit - 1, c)) || (all && words.size() != 3) ||
        (words.size() == 3 && !number(words[2], 0, kMaxPace, rate)))
        return error("usage: pace <c>|all [<bytes/s>]");
    if (words.size() == 2) {
        const Channel& ch = channel(int(c));
        return "pace=" + std::to_string(ch.pace) + " played=" + std::to_string(ch.pacing.played) +
               " gap_us=" + std::to_string(ch.pacing.longestGap);
    }
    if (!all) return setPace(int(c), uint32_t(rate)) ? ok() : error("bad channel");
    for (int n = poolFirst_; n < poolFirst_ + poolCount_; ++n) setPace(n, uint32_t(rate));
    return ok();
}

std::string SimMcc::countsCommand(const std::vector<std::string>& words) {
    using namespace SimWords;
    if (words.size() == 1) {
        Mcc::Resources r;
        resources(r);
        return "data=" + std::to_string(r.data) + " bri=" + std::to_string(r.bri) +
               " transparent=" + std::to_string(r.transparent) + " in-use=" + std::to_string(r.in_use);
    }
    uint32_t n[3];
    for (int i = 0; i < 3; ++i)
        if (!word32(words[size_t(i) + 1], n[i])) return error("bad count");
    setCounts(Counts{n[0], n[1], n[2]});
    return ok();
}

std::string SimMcc::stateCommand(int c) const {
    const Channel& ch = channel(c);
    const Mcc::Allocate& r = ch.allocation;
    std::ostringstream out;
    out << "open=" << (ch.open ? "yes" : "no") << " kind=" << r.kind << " size=" << r.rx_packet_size
        << " reserved=" << r.reserved << " rx=" << r.rx_threshold << " tx=" << r.tx_threshold
        << " partner=" << ch.partner << " held=" << (ch.held ? "yes" : "no")
        << " sent=" << ch.sent.size() << " lost=" << ch.lost;
    return out.str();
}
