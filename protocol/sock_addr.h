#ifndef KORVAND_PROTOCOL_SOCK_ADDR_H
#define KORVAND_PROTOCOL_SOCK_ADDR_H

#include <sys/socket.h>

#include <string>

#include "runtime/inet4_addr.h"

namespace Control {

// The address of a stream socket end: IPv4 with a port, or a local
// (AF_UNIX) path. The acceptors and connectors of both families share
// their logic through it.
class SockAddr {
public:
    SockAddr();
    explicit SockAddr(const INet4::Addr& a);

    // A local address; false when `path` is empty or does not fit sun_path
    // with its terminating NUL (it would be cut and name another file).
    bool set_local(const std::string& path);

    int family() const { return storage.ss_family; }
    bool valid() const { return family() != AF_UNSPEC; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    socklen_t size() const { return length; }

    // Room for accept() to fill in; the length is reset to the whole room.
    sockaddr* receive();
    socklen_t* receive_size() { return &length; }

    // "a.b.c.d:port", or the path (empty for an unnamed local socket).
    std::string text() const;
    INet4::Addr inet4() const;
    std::string path() const;

private:
    sockaddr_storage storage;
    socklen_t length;
};

}  // namespace Control

#endif
