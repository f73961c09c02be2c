#include "tests/links/hdlc_pair.h"

#include <algorithm>

#include "runtime/mux_clock.h"

namespace {

// A frame on the line: the flag that opens it and the two check octets.
const size_t kFramingOctets = 3;

}  // namespace

HdlcPair::HdlcPair(uint32_t seed) : a(*this), b(*this), random_(seed) {
    a.peer_ = &b;
    b.peer_ = &a;
}

bool HdlcPair::chance(double p) {
    return p > 0 && std::uniform_real_distribution<double>(0, 1)(random_) < p;
}

size_t HdlcPair::below(size_t n) {
    return std::uniform_int_distribution<size_t>(0, n - 1)(random_);
}

// ---- one end ------------------------------------------------------------------

void HdlcPair::End::open() {
    open_ = true;
    owesReady_ = true;
    ready_.set(0, &End::owedReady, this);
}

bool HdlcPair::End::refuseNow() {
    if (forcedRefusals_ > 0) {
        --forcedRefusals_;
        ready_.set(0, &End::owedReady, this);
        return true;
    }
    return line.capacity > 0 && queue_.size() >= line.capacity;
}

bool HdlcPair::End::hdlc_transmit(Packet& p) {
    if (p.length() == 0) return true;
    if (!open_ || refuseNow()) {
        ++counters.refused;
        if (open_) owesReady_ = true;
        return false;
    }
    Frame frame = bytesOf(p);
    if (record) sent.push_back(frame);

    uint32_t now = Mux::microseconds();
    uint32_t due = now;
    if (line.bitRate > 0) {
        if (static_cast<int32_t>(lineFreeUs_ - now) > 0) due = lineFreeUs_;
        due += lineTimeUs(frame.size());
        lineFreeUs_ = due;
    }
    bool keep = !pair_.chance(line.loss);
    if (keep && pair_.chance(line.corruption)) {
        frame[pair_.below(frame.size())] ^= uint8_t(1u << pair_.below(8));
        ++counters.corrupted;
    }
    if (keep && line.tamper) keep = line.tamper(frame);
    if (!keep) {
        ++counters.lost;
        return true;
    }
    queue_.push_back(InFlight{std::move(frame), due});
    if (!delivery_.armed()) armDelivery();
    return true;
}

uint32_t HdlcPair::End::lineTimeUs(size_t octets) const {
    return static_cast<uint32_t>((octets + kFramingOctets) * 8u * 1000000u / line.bitRate);
}

void HdlcPair::End::armDelivery() {
    if (queue_.empty()) return;
    int32_t wait = static_cast<int32_t>(queue_.front().dueUs - Mux::microseconds());
    unsigned ms = wait <= 0 ? 0 : static_cast<unsigned>(wait + 999) / 1000u;
    delivery_.set(ms, &End::deliverDue, this);
}

// Hands every frame that has reached the far end to its listener, oldest
// first. A listener may send from inside the call: its frames queue behind.
void HdlcPair::End::deliverDue() {
    while (!queue_.empty() &&
           static_cast<int32_t>(Mux::microseconds() - queue_.front().dueUs) >= 0) {
        Frame frame = std::move(queue_.front().frame);
        queue_.pop_front();
        if (owesReady_ && open_ && !ready_.armed()) ready_.set(0, &End::owedReady, this);
        Packet p = makePacket(frame);
        if (peer_->open_ && peer_->listener_)
            peer_->listener_->on_hdlc_receive(p);
        else
            ++counters.lost;
    }
    armDelivery();
}

void HdlcPair::End::owedReady() {
    if (!owesReady_ || !open_) return;
    if (line.capacity > 0 && queue_.size() >= line.capacity) return;  // a delivery re-arms it
    owesReady_ = false;
    if (listener_) listener_->on_hdlc_ready();
}

// ---- packets --------------------------------------------------------------------

Packet makePacket(const HdlcPair::Frame& bytes, unsigned headRoom) {
    Packet p;
    if (p.reserve_head(headRoom)) p.put(bytes.data(), static_cast<unsigned>(bytes.size()));
    return p;
}

HdlcPair::Frame bytesOf(const Packet& p) {
    const uint8_t* d = p.data();
    return d ? HdlcPair::Frame(d, d + p.length()) : HdlcPair::Frame();
}

bool sendDown(ProtocolsFamily& family, const HdlcPair::Frame& bytes) {
    Packet p;
    family.prepare_head(p);
    p.put(bytes.data(), static_cast<unsigned>(bytes.size()));
    return family.message(p);
}

HdlcPair::Frame joined(std::initializer_list<uint8_t> head, const HdlcPair::Frame& tail) {
    HdlcPair::Frame out(head.size() + tail.size());
    std::copy(tail.begin(), tail.end(), std::copy(head.begin(), head.end(), out.begin()));
    return out;
}
