#include "protocol/cdr_sender.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <sstream>

#include "runtime/inet4_addr.h"

namespace CDR_Sender {

Sender::Sender()
    : sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_UDP)) {}

Sender::~Sender() {
    sock.close();
}

bool Sender::SendTo(std::string& record, const std::string& addresses) {
    if (!sock) return false;
    std::istringstream words(addresses);
    std::string word;
    while (words >> word) {
        INet4::Addr to;
        int port = -1;
        if (!to.Assign(word, &port) || port < 0) continue;
        const sockaddr_in& sa = to.sockaddr();
        (void)::sendto(sock.get(), record.data(), record.size(), MSG_NOSIGNAL,
                       reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    }
    return true;
}

}  // namespace CDR_Sender
