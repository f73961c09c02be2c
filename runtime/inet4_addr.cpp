#include "runtime/inet4_addr.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>

namespace INet4 {

void Addr::Reset() {
    std::memset(&sa_, 0, sizeof sa_);
    sa_.sin_family = AF_INET;
}

namespace {

bool parsePort(const char* text, long* out) {
    if (*text < '0' || *text > '9') return false;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*end != '\0' || v > 65535) return false;
    *out = v;
    return true;
}

}  // namespace

bool Addr::Assign(const char* text, int* port) {
    const char* colon = std::strchr(text, ':');
    struct in_addr in;
    if (!colon) {
        if (port) *port = -1;
        if (!inet_aton(text, &in)) return false;
        sa_.sin_addr = in;
        return true;
    }
    long p = 0;
    if (!parsePort(colon + 1, &p)) return false;
    std::string host(text, static_cast<size_t>(colon - text));
    if (!inet_aton(host.c_str(), &in)) return false;
    sa_.sin_addr = in;
    sa_.sin_port = htons(static_cast<uint16_t>(p));
    if (port) *port = static_cast<int>(p);
    return true;
}

bool ParseDottedQuad(const std::string& text, uint32_t& networkOrder) {
    in_addr a;
    // A NUL inside the text would end it early for inet_pton.
    if (text.find('\0') != std::string::npos || inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    networkOrder = a.s_addr;
    return true;
}

void Addr::Assign(unsigned long address) { sa_.sin_addr.s_addr = static_cast<in_addr_t>(address); }

bool Addr::IsEqual(const Addr& o) const {
    return sa_.sin_addr.s_addr == o.sa_.sin_addr.s_addr && sa_.sin_port == o.sa_.sin_port;
}

void Addr::Put(std::ostream& os) const { os << GetString(); }

std::string Addr::GetString() const {
    char buf[INET_ADDRSTRLEN + 8];
    char host[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &sa_.sin_addr, host, sizeof host);
    snprintf(buf, sizeof buf, "%s:%d", host, static_cast<int>(ntohs(sa_.sin_port)));
    return buf;
}

std::vector<uint8_t> Addr::GetVector() const {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&sa_.sin_addr.s_addr);
    return std::vector<uint8_t>(p, p + 4);
}

}  // namespace INet4
