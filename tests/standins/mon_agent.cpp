#include "tests/standins/mon_agent.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iterator>

#include "asn1/coder_env.h"

namespace {

const size_t kTpktHeader = 4;

}  // namespace

MonAgent::MonAgent(int port) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(s, 4) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port_ = ntohs(a.sin_port);
        listen_.Bind("MonAgent::listen", &MonAgent::OnListen, this);
        listen_.Schedule(s, POLLIN);
    }
    ::close(s);
}

MonAgent::~MonAgent() {
    conn_.Release();
    listen_.Release();
}

// A second connection waits in the backlog until the first is gone.
void MonAgent::OnListen(int fd, short) {
    if (connected()) return;
    int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (c < 0) return;
    ++connections;
    input_.clear();
    conn_.Bind("MonAgent::connection", &MonAgent::OnData, this);
    conn_.Schedule(c, POLLIN);
    ::close(c);
}

void MonAgent::OnData(int fd, short) {
    char buf[65536];
    bool closed = false;
    for (;;) {
        ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            input_.append(buf, static_cast<size_t>(n));
            continue;
        }
        closed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
    }
    // What came before a close is read first.
    takeFrames();
    if (closed) drop();
}

void MonAgent::takeFrames() {
    while (input_.size() >= kTpktHeader) {
        size_t length = static_cast<uint8_t>(input_[2]) << 8 | static_cast<uint8_t>(input_[3]);
        if (input_[0] != 3 || length < kTpktHeader) {
            ++badFrames;
            drop();
            return;
        }
        if (input_.size() < length) return;
        std::string payload = input_.substr(kTpktHeader, length - kTpktHeader);
        input_.erase(0, length);
        MON::Message m;
        ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
        if (!env.decode(payload.data(), payload.data() + payload.size(), m, false)) {
            ++badFrames;
            continue;
        }
        take(m);
    }
}

void MonAgent::take(const MON::Message& m) {
    messages.push_back(m);
    if (m.get_pdu().is_command()) {
        const MON::Command& c = m.get_pdu().get_command();
        if (c.is_ping()) {
            ++pings;
            if (!silent_) {
                MON::Message answer;
                answer.set_pdu().set_response().set_ping().set_success();
                sendMessage(answer);
            }
        } else if (c.is_snmp_set()) {
            ++setMessages;
            for (const MON::SnmpSetCommand& s : c.get_snmp_set().get_commands()) {
                const MON::SnmpSetCommandId& id = s.get_id();
                if (id.is_name())
                    sets.push_back(Set{s.get_uniq().getValue(), id.get_name().get_section(),
                                       id.get_name().get_name(),
                                       id.get_name().get_index().getValue(), s.get_value()});
                else
                    sets.push_back(Set{s.get_uniq().getValue(), id.get_oid(), "", 0, s.get_value()});
            }
        } else if (c.is_snmp_trapsink_set()) {
            ++trapsinkLists;
            trapsinks.clear();
            for (const MON::SnmpTrapsink& t : c.get_snmp_trapsink_set().get_trapsinks())
                trapsinks.push_back(t.get_host());
        }
    }
    if (onMessage) onMessage(m.asValueNotation());
}

void MonAgent::sendFrame(const std::string& payload) {
    if (!connected()) return;
    size_t n = payload.size() + kTpktHeader;
    std::string frame{3, 0, static_cast<char>(n >> 8), static_cast<char>(n)};
    frame += payload;
    if (::send(conn_.fd.get(), frame.data(), frame.size(), MSG_NOSIGNAL) != ssize_t(frame.size()))
        drop();
}

void MonAgent::sendMessage(const MON::Message& m) {
    std::vector<char> octets;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    if (ASN1::encode(m, &env, std::back_inserter(octets)))
        sendFrame(std::string(octets.begin(), octets.end()));
}

void MonAgent::sendGarbage() {
    sendFrame(std::string("\xff\xfe\xfd", 3));
}

void MonAgent::sendCommand() {
    MON::Message m;
    m.set_pdu().set_command().set_ping();
    sendMessage(m);
}

void MonAgent::drop() {
    conn_.Release();
    input_.clear();
}
