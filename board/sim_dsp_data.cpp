#include "board/sim_dsp_data.h"

#include <errno.h>
#include <sys/socket.h>

#include <sstream>

#include "board/sim_bounded_log.h"
#include "board/sim_words.h"

SimDspData::SimDspData() : SimDriver(kPath) {
    serveValue(DspData::DSPDATA_SIGNALLING, [this](SimHandle& h, long) {
        int i = interfaceOf(h);
        return i >= 0 ? signalling(i) : refuse(EBUSY);
    });
    serveReport<DspData::BChannel>(DspData::DSPDATA_ADD_B,
                                   [this](SimHandle& h, DspData::BChannel& r) { return addB(h, r); });
    serveRecord<DspData::BChannel>(DspData::DSPDATA_REMOVE_B,
                                   [this](SimHandle& h, const DspData::BChannel& r) { return removeB(h, r); });
}

const SimDspData::Interface& SimDspData::interface(int i) const {
    static const Interface kFree;
    return isInterface(i) ? interfaces_[i] : kFree;
}

int SimDspData::interfaceOf(const SimHandle& h) const {
    for (int i = 0; i < kInterfaces; ++i)
        if (interfaces_[i].open == &h) return i;
    return -1;
}

// An open beyond the interfaces holds none: its requests fail.
void SimDspData::onOpen(SimHandle& h) {
    for (Interface& i : interfaces_)
        if (!i.open) {
            i = Interface();
            i.open = &h;
            return;
        }
}

void SimDspData::onClose(SimHandle& h) {
    SimDriver::onClose(h);
    int i = interfaceOf(h);
    if (i >= 0) interfaces_[i].open = nullptr;
}

int SimDspData::addB(SimHandle& h, DspData::BChannel& r) {
    int i = interfaceOf(h);
    if (i < 0) return refuse(EBUSY);
    if (r.number < 0 || r.number > 2) return refuse(EINVAL);
    bool& on = interfaces_[i].b[r.number];
    if (on) return refuse(EBUSY);
    on = true;
    r.tdm = signalling(i) + 1 + r.number;
    return 0;
}

int SimDspData::removeB(SimHandle& h, const DspData::BChannel& r) {
    int i = interfaceOf(h);
    if (i < 0 || r.number < 0 || r.number > 2) return refuse(EINVAL);
    bool& on = interfaces_[i].b[r.number];
    if (!on || r.tdm != signalling(i) + 1 + r.number) return refuse(EINVAL);
    on = false;
    return 0;
}

ssize_t SimDspData::onWrite(SimHandle& h, int, const void* buf, size_t len) {
    if (isDown(h)) return refuse(EIO);
    int i = interfaceOf(h);
    if (i < 0 || len == 0) return refuse(EINVAL);
    if (!buf) return refuse(EFAULT);
    const uint8_t* bytes = static_cast<const uint8_t*>(buf);
    Interface& in = interfaces_[i];
    keepNewest(in.sent, in.sentBytes, Frame(bytes, bytes + len), kFrameLogLimit, kFrameLogBytes,
               [](const Frame& f) { return f.size(); });
    auto outside = peers_.find(i);
    if (outside != peers_.end() && !outside->second->send(in.sent.back())) ++in.lost;
    return ssize_t(len);
}

bool SimDspData::receive(int i, const Frame& frame) {
    SimHandle* h = isInterface(i) ? interfaces_[i].open : nullptr;
    return h && !isDown(*h) && emit(*h, frame.data(), frame.size());
}

bool SimDspData::attach(int i, const std::string& path) {
    if (!isInterface(i) || !poller()) return false;
    std::unique_ptr<SimMccPeer> peer = SimMccPeer::belowRoot(*poller(), path, [this, i](const Frame& f) {
        if (!receive(i, f)) ++interfaces_[i].lost;
    });
    if (!peer) return false;
    peers_[i] = std::move(peer);
    return true;
}

bool SimDspData::detach(int i) {
    return isInterface(i) && peers_.erase(i) > 0;
}

std::string SimDspData::control(const std::vector<std::string>& words) {
    using namespace SimWords;
    long i;
    if (words.size() < 2 || words[0] == "raw") return SimDriver::control(words);
    if (!number(words[1], 0, kInterfaces - 1, i)) return error("bad interface");
    const std::string& verb = words[0];
    int n = int(i);
    if (verb == "state" && words.size() == 2) return stateCommand(n);
    if (verb == "tx" && words.size() == 2) {
        std::string out;
        for (const Frame& f : interfaces_[n].sent) out += hex(f) + "\n";
        return out;
    }
    if (verb == "rx" && words.size() == 3) {
        Frame frame;
        if (!bytes(words[2], frame) || frame.empty()) return error("bad hex");
        return receive(n, frame) ? ok() : error("interface did not take the frame");
    }
    if (verb == "attach" && words.size() == 3) return attach(n, words[2]) ? ok() : error("cannot listen there");
    if (verb == "detach" && words.size() == 2) return detach(n) ? ok() : error("not attached");
    return SimDriver::control(words);
}

std::string SimDspData::stateCommand(int i) const {
    const Interface& in = interfaces_[i];
    std::ostringstream out;
    out << "open=" << (in.open ? "yes" : "no") << " signalling=" << signalling(i) << " b=" << in.b[0] << ","
        << in.b[1] << "," << in.b[2] << " sent=" << in.sent.size() << " lost=" << in.lost;
    return out.str();
}
