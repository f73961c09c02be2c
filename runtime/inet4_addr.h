#ifndef KORVAND_RUNTIME_INET4_ADDR_H
#define KORVAND_RUNTIME_INET4_ADDR_H

#include <netinet/in.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace INet4 {

// An IPv4 address with a port, printed and parsed as "a.b.c.d:port".
class Addr {
public:
    Addr() { Reset(); }

    void Reset();
    // "a.b.c.d" or "a.b.c.d:port". Without a port the stored port stays and
    // *port becomes -1. A port that is not a decimal number in 0..65535 is
    // refused. Returns true when the text was taken.
    bool Assign(const char* text, int* port = nullptr);
    bool Assign(const std::string& text, int* port = nullptr) { return Assign(text.c_str(), port); }
    // The address in network order; the port stays.
    void Assign(unsigned long address);

    bool IsEqual(const Addr& o) const;
    void Put(std::ostream& os) const;
    std::string GetString() const;
    std::vector<uint8_t> GetVector() const;

    uint16_t port() const { return ntohs(sa_.sin_port); }
    void setPort(uint16_t p) { sa_.sin_port = htons(p); }
    uint32_t address() const { return sa_.sin_addr.s_addr; }
    const sockaddr_in& sockaddr() const { return sa_; }
    sockaddr_in& sockaddr() { return sa_; }

private:
    sockaddr_in sa_;
};

// The address of a dotted quad ("a.b.c.d", four decimal numbers of 0 to
// 255, nothing before or after), in network order; false for any other
// text. Every IPv4 address a controller names in text is converted here:
// the C library's inet_addr would answer 255.255.255.255, a real address,
// for text that is none.
bool ParseDottedQuad(const std::string& text, uint32_t& networkOrder);

inline std::ostream& operator<<(std::ostream& os, const Addr& a) {
    a.Put(os);
    return os;
}

}  // namespace INet4

#endif
