#include "protocol/tpkt_tracer.h"

#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cstring>
#include <iostream>

#include "runtime/inet4_addr.h"

// ---- Connection ---------------------------------------------------------------------

void TPKTTracer::Connection::Restart() {
    phase = Header;
    expected = int(header_size);
    received = 0;
}

TPKTTracer::Connection::Outcome TPKTTracer::Connection::Received(unsigned n) {
    received += int(n);
    if (received < expected) return More;
    if (phase == Body) return Payload;
    unsigned length = unsigned(buffer[2]) << 8 | buffer[3];
    if (buffer[0] != 3 || buffer[1] != 0 || length < header_size ||
        length - header_size > max_payload)
        return Close;
    Restart();
    if (length > header_size) {  // an empty frame carries nothing
        phase = Body;
        expected = int(length - header_size);
    }
    return More;
}

// ---- listening ----------------------------------------------------------------------

TPKTTracer::TPKTTracer() : current(connections.end()) {}

bool TPKTTracer::Listen(unsigned short port) {
    Fd sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    INet4::Addr any;
    any.setPort(port);
    const sockaddr_in& sa = any.sockaddr();
    bool ok = sock && ::bind(sock.get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 &&
              ::listen(sock.get(), 1) == 0 && sock.NonBlock();
    if (ok) {
        listening.Bind("TPKTTracer::OnEvent", &TPKTTracer::OnEvent, this);
        listening.Schedule(sock, POLLIN);
    }
    sock.close();
    return ok && listening.fd;
}

void TPKTTracer::OnEvent(int fd, short revents) {
    if (revents & POLLIN) Accept(fd);
}

void TPKTTracer::Accept(int fd) {
    for (;;) {
        INet4::Addr peer;
        socklen_t len = sizeof(sockaddr_in);
        Fd client = ::accept4(fd, reinterpret_cast<sockaddr*>(&peer.sockaddr()), &len,
                              SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (!client) {
            // The pending client would be found again every pass.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                listening.events = 0;
                resume.set(accept_retry_ms, &TPKTTracer::ResumeAccepting, this);
            }
            return;
        }
        std::clog << "ACP connection open from " << peer << std::endl;
        std::unique_ptr<Connection> c(new Connection);
        c->event.Bind("TPKTTracer::OnDataEvent", &TPKTTracer::OnDataEvent, this);
        c->event.Schedule(client, POLLIN);
        client.close();
        if (c->event.fd) connections.push_back(std::move(c));
    }
}

void TPKTTracer::ResumeAccepting() {
    listening.events = POLLIN;
}

// ---- receiving ----------------------------------------------------------------------

TPKTTracer::List::iterator TPKTTracer::FindConnection(int fd) {
    for (auto it = connections.begin(); it != connections.end(); ++it)
        if ((*it)->event.fd.get() == fd) return it;
    return connections.end();
}

void TPKTTracer::OnDataEvent(int fd, short revents) {
    List::iterator pos = FindConnection(fd);
    if (pos == connections.end()) return;
    if (revents & (POLLERR | POLLHUP)) {
        CloseConnection(pos);
    } else if (revents & POLLIN) {
        current = pos;
        ReadFrom(pos);
        current = connections.end();
    }
}

// Reads what the client sent until it has no more; the receiver may close
// the connection meanwhile (a reply it cannot take), which clears current.
void TPKTTracer::ReadFrom(List::iterator pos) {
    while (current != connections.end()) {
        Connection& c = **pos;
        ssize_t n = ::recv(c.event.fd.get(), c.Space(), c.Wanted(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        Connection::Outcome outcome = n > 0 ? c.Received(unsigned(n)) : Connection::Close;
        if (outcome == Connection::Close) {
            CloseConnection(pos);
        } else if (outcome == Connection::Payload) {
            // A copy, so that a receiver that closes the connection keeps
            // valid bytes.
            uint8_t payload[max_payload];
            unsigned size = c.Size();
            std::memcpy(payload, c.Data(), size);
            c.Restart();
            if (receiver) receiver->OnTrace(payload, size);
        }
    }
}

void TPKTTracer::CloseConnection(List::iterator pos) {
    if (pos == current) current = connections.end();
    connections.erase(pos);
}

// ---- sending ------------------------------------------------------------------------

void TPKTTracer::Send(const void* data, unsigned len) {
    if (len > max_frame_payload) return;  // the 16-bit length would wrap
    unsigned total = len + header_size;
    const uint8_t header[header_size] = {3, 0, uint8_t(total >> 8), uint8_t(total)};
    if (current != connections.end()) {
        SendTo(current, header, data, len);
        return;
    }
    for (auto it = connections.begin(); it != connections.end();) {
        auto next = std::next(it);
        SendTo(it, header, data, len);
        it = next;
    }
}

// A client that cannot take the whole frame at once is dropped: a part
// would break its framing.
void TPKTTracer::SendTo(List::iterator pos, const uint8_t* header, const void* data, unsigned len) {
    iovec parts[2] = {{const_cast<uint8_t*>(header), header_size}, {const_cast<void*>(data), len}};
    msghdr msg;
    std::memset(&msg, 0, sizeof msg);
    msg.msg_iov = parts;
    msg.msg_iovlen = 2;
    ssize_t n;
    do {
        n = ::sendmsg((*pos)->event.fd.get(), &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n != ssize_t(len + header_size)) CloseConnection(pos);
}
