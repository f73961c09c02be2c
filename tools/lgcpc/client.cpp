#include "tools/lgcpc/client.h"

#include <errno.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <iterator>
#include <sstream>

#include "asn1/coder_env.h"
#include "runtime/fd.h"
#include "runtime/inet4_addr.h"
#include "runtime/multiplexer.h"
#include "tools/lgcpc/lgcpc.h"

namespace Lgcpc {

// A TCP message connection over a socket the client connected itself: it
// neither listens nor reconnects, and prints nothing.
class Client::Link : public Control::ServiceNet {
public:
    Link() : ServiceNet(false) {}

protected:
    bool ImplActivate() override { return true; }
    void ImplDeactivate() override { Release(); }
    void ImplOnDisconnect() override {}
};

namespace {

bool resolve(const std::string& host, uint16_t port, INet4::Addr& peer, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0 || !found) {
        error = "cannot resolve " + host + ": " + ::gai_strerror(status);
        return false;
    }
    peer.sockaddr() = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    peer.setPort(port);
    ::freeaddrinfo(found);
    return true;
}

// A connected non-blocking socket, or an invalid Fd with `reason` set.
Fd connectWithin(const INet4::Addr& peer, int ms, std::string& reason) {
    Fd sock(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (sock.get() < 0) {
        reason = std::strerror(errno);
        return Fd();
    }
    const sockaddr_in& address = peer.sockaddr();
    int failure = 0;
    if (::connect(sock.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        failure = errno;
        if (failure == EINPROGRESS) {
            pollfd entry{sock.get(), POLLOUT, 0};
            int ready = ::poll(&entry, 1, ms);
            socklen_t len = sizeof failure;
            if (ready <= 0)
                failure = ready == 0 ? ETIMEDOUT : errno;
            else if (::getsockopt(sock.get(), SOL_SOCKET, SO_ERROR, &failure, &len) != 0)
                failure = errno;
        }
    }
    if (failure == 0) return sock;
    reason = std::strerror(failure);
    sock.close();
    return Fd();
}

}  // namespace

Client::Client() = default;

Client::~Client() {
    Close();
}

bool Client::Connect(const std::string& host, uint16_t port, std::string& error, int ms) {
    Close();
    INet4::Addr peer;
    if (!resolve(host, port, peer, error)) return false;
    std::string reason;
    sock = connectWithin(peer, ms, reason);
    if (sock.get() < 0) {
        error = "cannot connect to " + peer.GetString() + ": " + reason;
        return false;
    }
    lost = false;
    link.reset(new Link);
    link->Bind(this);
    link->Connected(sock, peer);  // the link keeps its own duplicate
    return true;
}

void Client::Finish() {
    if (sock.get() >= 0) ::shutdown(sock.get(), SHUT_WR);
}

void Client::Close() {
    sock.close();
    if (!link) return;
    link->UnBind();
    link->Deactivate();
    link.reset();
}

bool Client::Connected() const {
    return link && !lost && link->GetState() == Control::Service::Connected;
}

bool Client::Send(const std::string& text, std::string& error) {
    LGCP::Message msg;
    if (!msg.setFromValueNotation(text)) {
        error = "LGCP.Message: not a value in value notation: " + text;
        return false;
    }
    return Send(msg, error);
}

bool Client::Send(const LGCP::Message& msg, std::string& error) {
    std::vector<char> octets;
    if (!encodeValue(msg, octets, error)) {
        error = "LGCP.Message: " + error;
        return false;
    }
    return SendOctets(octets, error);
}

bool Client::SendOctets(const std::vector<char>& payload, std::string& error) {
    if (!Connected() || !link->Send(payload.data(), int(payload.size()))) {
        error = link ? "connection to " + link->GetConnectionName() + " lost" : "not connected";
        return false;
    }
    return true;
}

void Client::OnMessage(const char* data, int len) {
    LGCP::Message msg;
    std::vector<char> octets(data, data + len);
    std::string error;
    std::ostringstream text;
    bool decoded = decodeOctets(octets, msg, error);
    if (decoded)
        text << msg;
    else
        text << "-- undecodable: " << toHex(octets);
    received.push_back(text.str());
    if (onReceive) onReceive(received.back(), decoded ? &msg : nullptr);
}

// ---- waiting ----------------------------------------------------------------------

bool Client::Pump(const std::function<bool()>& done, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() < 0) return false;
        multiplexer.runOnce(int(std::min<long long>(left.count(), 10)));
    }
    return true;
}

bool Client::WaitFor(size_t count, int ms) {
    Pump([&] { return received.size() >= count || lost; }, ms);
    return received.size() >= count;
}

void Client::Listen(int ms) {
    Pump([&] { return lost; }, ms);
}

bool Client::WaitForClose(int ms) {
    return Pump([&] { return lost; }, ms);
}

// ---- value notation ---------------------------------------------------------------

std::string canonical(const std::string& text) {
    LGCP::Message msg;
    if (!msg.setFromValueNotation(text)) return std::string();
    std::ostringstream os;
    os << msg;
    return os.str();
}

}  // namespace Lgcpc
