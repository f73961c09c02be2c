#include "protocol/sock_addr.h"

#include <sys/un.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace Control {

SockAddr::SockAddr() : length(0) {
    std::memset(&storage, 0, sizeof storage);
    storage.ss_family = AF_UNSPEC;
}

SockAddr::SockAddr(const INet4::Addr& a) : SockAddr() {
    std::memcpy(&storage, &a.sockaddr(), sizeof(sockaddr_in));
    length = sizeof(sockaddr_in);
}

bool SockAddr::set_local(const std::string& p) {
    sockaddr_un un;
    if (p.empty() || p.size() >= sizeof un.sun_path) return false;
    *this = SockAddr();
    std::memset(&un, 0, sizeof un);
    un.sun_family = AF_UNIX;
    std::memcpy(un.sun_path, p.data(), p.size());
    std::memcpy(&storage, &un, sizeof un);
    length = socklen_t(offsetof(sockaddr_un, sun_path) + p.size() + 1);
    return true;
}

sockaddr* SockAddr::receive() {
    *this = SockAddr();
    length = sizeof storage;
    return reinterpret_cast<sockaddr*>(&storage);
}

INet4::Addr SockAddr::inet4() const {
    INet4::Addr a;
    if (family() == AF_INET) std::memcpy(&a.sockaddr(), &storage, sizeof(sockaddr_in));
    return a;
}

std::string SockAddr::path() const {
    const sockaddr_un* un = reinterpret_cast<const sockaddr_un*>(&storage);
    size_t offset = offsetof(sockaddr_un, sun_path);
    if (family() != AF_UNIX || length <= offset || un->sun_path[0] == '\0') return std::string();
    size_t room = std::min(size_t(length) - offset, sizeof un->sun_path);
    return std::string(un->sun_path, strnlen(un->sun_path, room));
}

std::string SockAddr::text() const {
    return family() == AF_INET ? inet4().GetString() : path();
}

}  // namespace Control
