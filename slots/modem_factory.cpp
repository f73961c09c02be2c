#include "slots/modem_factory.h"

#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "board/modem_driver.h"
#include "hardware/hdlc_net_if.h"

namespace {

uint16_t PortFromEnvironment() {
    const char* text = std::getenv("KORVAND_AUTH_PORT");
    if (!text || !*text) return ModemFactory::kAuthPort;
    char* end = nullptr;
    long port = std::strtol(text, &end, 10);
    return *end == '\0' && port > 0 && port <= 65535 ? uint16_t(port) : ModemFactory::kAuthPort;
}

// Records that concern no modem: key -1 is no modem number.
bool NoModem(uint32_t key) {
    return key == AuthClient::kNoKey;
}

}  // namespace

// ---- AuthClient ---------------------------------------------------------------------

AuthClient::AuthClient(ModemFactory& f, Fd socket, const INet4::Addr& p) : factory(f), peer(p) {
    Bind("AuthClient::OnSocketEvent", &AuthClient::OnSocketEvent, this);
    Schedule(socket, POLLIN);
}

// What the peer sent before it hung up is read first.
void AuthClient::OnSocketEvent(int, short revents) {
    ++busy;
    if (revents & POLLIN) Receive();
    if ((revents & (POLLERR | POLLHUP)) && IsOpen()) Disconnect();
    if ((revents & POLLOUT) && IsOpen()) Flush();
    Done();
}

void AuthClient::Receive() {
    while (IsOpen()) {
        ssize_t n = ::recv(fd.get(), reader.space(), reader.room(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n <= 0) {
            Disconnect();
            return;
        }
        switch (reader.advance(size_t(n))) {
            case AuthReader::kMore:
                break;
            case AuthReader::kRecord:
                Deliver();
                break;
            case AuthReader::kBadLength:
                std::cerr << "auth client " << peer << ": bad record length, disconnected" << std::endl;
                Disconnect();
                return;
        }
    }
}

// A record too short for its type and key cannot be routed: it is dropped
// and the connection kept.
void AuthClient::Deliver() {
    attr record = reader.record();
    if (!record.hasHeader()) {
        std::cerr << "auth client " << peer << ": record of " << record.length() << " bytes dropped" << std::endl;
        return;
    }
    key = record.key();
    factory.OnAuth(record);
}

bool AuthClient::Send(const attr& record) {
    if (!IsOpen()) return false;
    ++busy;
    const uint8_t* data = record.data();
    size_t len = std::min<size_t>(record.length(), record.size());
    size_t written = 0;
    bool ok = true;
    if (pending.empty()) ok = WriteSome(data, len, written);
    if (ok && written < len) {
        if (pending.size() + len - written > kPendingLimit) {
            std::cerr << "auth client " << peer << ": not reading, disconnected" << std::endl;
            ok = false;
        } else {
            pending.insert(pending.end(), data + written, data + len);
            events = POLLIN | POLLOUT;
        }
    }
    if (!ok) Disconnect();
    Done();
    return ok;
}

bool AuthClient::WriteSome(const uint8_t* data, size_t len, size_t& written) {
    while (written < len) {
        ssize_t n = ::send(fd.get(), data + written, len - written, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        if (n <= 0) return false;
        written += size_t(n);
    }
    return true;
}

void AuthClient::Flush() {
    size_t written = 0;
    if (!WriteSome(pending.data(), pending.size(), written)) {
        Disconnect();
        return;
    }
    pending.erase(pending.begin(), pending.begin() + long(written));
    if (pending.empty()) events = POLLIN;
}

void AuthClient::Disconnect() {
    Release();
    pending.clear();
}

void AuthClient::Done() {
    if (--busy == 0 && !IsOpen()) factory.RemoveClient(this);
}

// ---- ModemFactory -------------------------------------------------------------------

ModemFactory::ModemFactory() : ModemFactory(PortFromEnvironment()) {}

ModemFactory::ModemFactory(uint16_t authPort) {
    IQuery();
    Init(authPort);
    listenEvent.Bind("ModemFactory::OnSocketEvent", &ModemFactory::OnSocketEvent, this);
    if (listenFd) listenEvent.Schedule(listenFd, POLLIN);
}

ModemFactory::~ModemFactory() {
    for (AuthClient* c : clients) delete c;
    clients.clear();
    CloseListener();
}

std::ostream& ModemFactory::Log(std::ostream& os) const {
    return os << "modem[" << dspModems << "," << modemSlots.size() << "]: ";
}

Slot* ModemFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.is_modem()) return nullptr;
    const TERM::ModemParams& modem = params.get_modem();
    if (modem.has_ddm() && !modem.get_ddm().empty() && !freeIfaces.empty()) {
        std::string name = freeIfaces.front();
        freeIfaces.pop_front();
        HdlcModemSlot* slot = new HdlcModemSlot(*this, modem, name);
        modemSlots.push_back(slot);
        hdlcSlots.push_back(slot);
        return slot;
    }
    DspModemSlot* slot = new DspModemSlot(*this, modem);
    modemSlots.push_back(slot);
    dspSlots.push_back(slot);
    return slot;
}

void ModemFactory::Query(LGCP::Resources& resources) {
    IQuery();
    resources.set_modem(int(dspModems));
    resources.set_digital_modems(int(foundIfaces.size()));
}

void ModemFactory::ReleaseModemSlot(DspModemSlot* slot) {
    modemSlots.remove(slot);
    dspSlots.remove(slot);
}

void ModemFactory::ReleaseModemSlot(HdlcModemSlot* slot) {
    auto it = std::find(hdlcSlots.begin(), hdlcSlots.end(), slot);
    if (it == hdlcSlots.end()) return;
    hdlcSlots.erase(it);
    modemSlots.remove(slot);
    // An interface that the last discovery no longer found stays out.
    const std::string& name = slot->Interface();
    if (std::find(foundIfaces.begin(), foundIfaces.end(), name) != foundIfaces.end()) freeIfaces.push_back(name);
}

ModemSlot* ModemFactory::FindModemByDsp(int number) const {
    for (ModemSlot* s : modemSlots)
        if (ModemSlot::EqAuthId(s, number)) return s;
    return nullptr;
}

void ModemFactory::OnAuth(const attr& record) {
    ModemSlot* slot = NoModem(record.key()) ? nullptr : FindModemByDsp(int(record.key()));
    if (slot)
        slot->OnAuth(record);
    else
        Log(std::cerr) << "receive auth request for unknown session " << int(record.key()) << std::endl;
}

// A record for no modem (an HDLC modem's, key -1) has no client to go to:
// the clients that have not sent a record yet carry key -1 as well.
void ModemFactory::SendAuth(const attr& record) {
    uint32_t key = record.key();
    if (!NoModem(key)) {
        for (AuthClient* c : clients) {
            if (c->Key() != key) continue;
            c->Send(record);
            return;
        }
    }
    Log(std::clog) << "send error: unknown auth " << int(key) << " session." << std::endl;
}

// ---- discovery ----------------------------------------------------------------------

void ModemFactory::IQuery() {
    QueryDspModems();
    QueryInterfaces();
}

void ModemFactory::QueryDspModems() {
    dspModems = 0;
    int fd = boardIo().open(Mdm::kDevice, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        Log(std::cerr) << "fail to open \"" << Mdm::kDevice << "\" : " << std::strerror(errno) << std::endl;
        return;
    }
    for (long previous = -1;; ++dspModems) {
        int next = boardIo().ioctl(fd, Mdm::MDM_ENUM, previous);
        if (next < 0) {
            if (errno != ENODEV) Log(std::cerr) << "enum fail: " << std::strerror(errno) << std::endl;
            break;
        }
        // A driver that answered the same number again would never end.
        if (next <= previous) break;
        previous = next;
    }
    boardIo().close(fd);
}

// Interfaces that live HDLC modem slots hold stay theirs; the report still
// counts them.
void ModemFactory::QueryInterfaces() {
    freeIfaces.clear();
    int fd = HdlcNet::OpenSocket();
    foundIfaces = fd < 0 ? std::vector<std::string>() : HdlcNet::PointToPoint(fd);
    if (fd >= 0) ::close(fd);
    for (const std::string& name : foundIfaces) {
        bool held = std::any_of(hdlcSlots.begin(), hdlcSlots.end(),
                                [&](const HdlcModemSlot* s) { return s->Interface() == name; });
        if (!held) freeIfaces.push_back(name);
    }
    if (foundIfaces.empty()) return;
    Log(std::clog) << "found point-o-point devices:";
    for (const std::string& name : foundIfaces) std::clog << " " << name;
    std::clog << std::endl;
}

// ---- the listener -------------------------------------------------------------------

void ModemFactory::Init(uint16_t port) {
    listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (!listenFd) {
        Log(std::cerr) << "fail to bind auth socket: " << std::strerror(errno) << std::endl;
        return;
    }
    // A restart binds at once, however many connections of the last run
    // linger in TIME_WAIT.
    int one = 1;
    ::setsockopt(listenFd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    INet4::Addr address;
    address.Assign("127.0.0.1");
    address.setPort(port);
    const char* failure = nullptr;
    if (::bind(listenFd.get(), reinterpret_cast<const sockaddr*>(&address.sockaddr()), sizeof(sockaddr_in)) != 0)
        failure = "fail to bind auth socket: ";
    else if (::listen(listenFd.get(), kBacklog) != 0)
        failure = "fail to listen auth socket: ";
    else if (!listenFd.NonBlock())
        failure = "can't set socket to non block mode: ";
    if (!failure) return;
    Log(std::cerr) << failure << std::strerror(errno) << std::endl;
    listenFd.close();
}

uint16_t ModemFactory::AuthPort() const {
    sockaddr_in a;
    socklen_t len = sizeof a;
    if (!listenFd || ::getsockname(listenFd.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

void ModemFactory::CloseListener() {
    acceptPause.reset();
    listenEvent.Release();
    listenFd.close();
}

void ModemFactory::OnSocketEvent(int, short revents) {
    if (revents & (POLLERR | POLLHUP)) {
        Log(std::cerr) << "auth server socket error." << std::endl;
        CloseListener();
        return;
    }
    if (revents & POLLIN) Accept();
}

void ModemFactory::Accept() {
    sockaddr_in from;
    socklen_t len = sizeof from;
    int fd = ::accept4(listenFd.get(), reinterpret_cast<sockaddr*>(&from), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
        Log(std::cerr) << "fail to set nonblock mode." << std::endl;
        // Out of descriptors or memory the same connection waits on every
        // pass: the listener rests instead of spinning.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            listenEvent.Release();
            acceptPause.set(kAcceptPauseMs, &ModemFactory::ResumeAccept, this);
        }
        return;
    }
    INet4::Addr peer;
    peer.sockaddr() = from;
    if (clients.size() >= MaxClients()) {
        ::close(fd);
        Log(std::cerr) << "auth connection from " << peer << " refused: " << clients.size() << " clients connected."
                       << std::endl;
        return;
    }
    clients.push_back(new AuthClient(*this, Fd(fd), peer));
    ::close(fd);
    Log(std::cerr) << "incoming auth connection from " << peer << std::endl;
}

size_t ModemFactory::MaxClients() const {
    return std::max(kMinClients, kClientsPerModem * (dspModems + foundIfaces.size()));
}

void ModemFactory::ResumeAccept() {
    if (listenFd) listenEvent.Schedule(listenFd, POLLIN);
}

void ModemFactory::RemoveClient(AuthClient* client) {
    Log(std::clog) << "auth client " << client->Peer() << " disconnected." << std::endl;
    clients.remove(client);
    delete client;
}
