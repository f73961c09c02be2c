#include "protocol/strm_protocol.h"

#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>

#include <cstring>
#include <iostream>

#include "runtime/multiplexer.h"
#include "runtime/mux_clock.h"

bool strm_protocol_debug = false;

namespace {

int int_option(int fd, int option) {
    int value = 0;
    socklen_t len = sizeof value;
    return ::getsockopt(fd, SOL_SOCKET, option, &value, &len) == 0 ? value : 0;
}

int int_query(int fd, unsigned long request) {
    int value = 0;
    return ::ioctl(fd, request, &value) == 0 ? value : 0;
}

std::string error_text(int err) { return std::strerror(err); }

}  // namespace

StrmProtocol::StrmProtocol() { init(); }

StrmProtocol::StrmProtocol(Fd fd) : StrmProtocol() { attach(fd); }

StrmProtocol::~StrmProtocol() {
    if (strm_protocol_debug)
        std::clog << "Enter StrmProtocol::~StrmProtocol()" << " this=" << static_cast<const void*>(this)
                  << std::endl;
    release();
}

void StrmProtocol::init() {
    trace = false;
    failures = 0;
    event.Bind("StrmProtocol::on_event", &StrmProtocol::on_event, this);
}

void StrmProtocol::attach(Fd fd) {
    Fd copy = fd.dup();  // before release(), so attaching our own handle keeps it
    release();
    sock = copy;
    held = false;
    // The send queue of a fresh connection is empty: a query that answers
    // anything but 0 reports free room rather than queued octets.
    free_space_flag = outq_space() != 0;
}

void StrmProtocol::release() {
    read_retry.reset();
    starved = false;
    if (!sock) return;
    event.Release();
    sock.close();
}

bool StrmProtocol::peer_closed() const {
    pollfd p{sock.get(), POLLRDHUP, 0};
    return sock && ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

// ---- activation -----------------------------------------------------------------

void StrmProtocol::local_activate() {
    if (!sock) {
        on_deactivate(make_error(this, "fd not attached"));
        return;
    }
    resume_reading();
    on_activate();
}

void StrmProtocol::local_deactivate() {
    release();
    on_deactivate(make_success(this));
}

bool StrmProtocol::local_prepare_head(Packet& p) { return p.reserve_head(0); }

bool StrmProtocol::local_prepare_tail(Packet& p) { return p.reserve_tail(0); }

void StrmProtocol::on_error(const std::string& text) {
    release();
    on_deactivate(make_error(this, text));
}

// ---- reading --------------------------------------------------------------------

void StrmProtocol::on_event(int, short revents) {
    if (revents & POLLERR) {
        int err = int_option(sock.get(), SO_ERROR);
        on_error("pollerr: " + error_text(err ? err : errno));
    } else if (revents & POLLIN) {
        // Data that came before a hang-up is read first; the hang-up shows
        // again on a later pass, or as the end of the stream.
        do_read();
    } else if (revents & POLLHUP) {
        on_error("pollhup: " + error_text(errno));
    }
}

void StrmProtocol::do_read() {
    Packet p;
    // One block for the chunk and one more for what the layer above
    // assembles from it: a chunk is read only when it can be kept.
    if (!p.reserve_head(0) || Packet::free_blocks() < 1) {
        pause_reading();
        return;
    }
    starved = false;
    reads.begin();
    ssize_t n = ::recv(sock.get(), p.tail_space(), p.tail_room(), MSG_DONTWAIT | MSG_NOSIGNAL);
    int err = errno;
    reads.end();
    if (n < 0) {
        if (err != EAGAIN && err != EWOULDBLOCK && err != EINTR) on_error("read error: " + error_text(err));
        return;
    }
    if (n == 0) {
        on_error("read error: " + error_text(err));
        return;
    }
    if (trace) {
        PutHeader(std::clog);
        std::clog << "receive success";
        put_figures(std::clog);
        std::clog << std::endl;
    }
    p.put_tail(unsigned(n));
    on_message(p);
}

// The data stays in the socket; the descriptor leaves the loop for a while
// rather than have every pass find it ready again.
void StrmProtocol::pause_reading() {
    if (!starved) {
        PutHeader(std::cerr);
        std::cerr << "no free packet, read postponed" << std::endl;
        starved = true;
    }
    event.Release();
    read_retry.set(read_retry_ms, &StrmProtocol::resume_reading, this);
}

void StrmProtocol::resume_reading() {
    if (sock && !held) event.Schedule(sock, POLLIN);
}

void StrmProtocol::hold_receive(bool hold) {
    held = hold;
    if (held)
        event.Release();
    else
        resume_reading();
}

// ---- writing --------------------------------------------------------------------

bool StrmProtocol::message(Packet& p) {
    p.passert(!p.is_null(), "null packet");
    if (!sock) return false;
    uint32_t start = Mux::milliseconds();
    writes.begin();
    const uint8_t* at = p.data();
    unsigned left = p.length();
    while (left > 0) {
        ssize_t n = ::send(sock.get(), at, left, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) {
            at += n;
            left -= unsigned(n);
            continue;
        }
        int err = errno;
        if (err == EINTR) continue;
        if (err == EAGAIN || err == EWOULDBLOCK) {
            if (wait_writable(start)) continue;
            writes.end();
            write_failed("write timeout", "");
            return false;
        }
        writes.end();
        write_failed("write error", error_text(err));
        return false;
    }
    if (trace) {
        PutHeader(std::clog);
        std::clog << "write success";
        put_figures(std::clog);
        std::clog << std::endl;
    }
    writes.end();
    return true;
}

// Waits for room within what is left of the packet's budget. The loop is
// blocked meanwhile, so the watchdog is fed around the wait.
bool StrmProtocol::wait_writable(uint32_t start) {
    int32_t remaining = int32_t(start + write_budget_ms - Mux::milliseconds());
    if (remaining < 1) return false;
    multiplexer.resetWD();
    pollfd entry{sock.get(), POLLOUT, 0};
    int r = ::poll(&entry, 1, remaining);
    int err = errno;
    multiplexer.resetWD();
    return r > 0 || (r < 0 && err == EINTR);
}

void StrmProtocol::write_failed(const char* what, const std::string& error) {
    PutHeader(std::cerr);
    std::cerr << what;
    put_figures(std::cerr);
    if (!error.empty()) std::cerr << ", error=" << error;
    std::cerr << std::endl;
    ++failures;
    on_error(error.empty() ? std::string(what) : what + (": " + error));
}

// ---- socket figures -----------------------------------------------------------------

void StrmProtocol::put_figures(std::ostream& os) const {
    os << ", sendbuf=" << sendbuf_space() << ", recvbuf=" << recvbuf_space() << ", free=" << free_space()
       << ", inq=" << inq_space() << ", outq=" << outq_space();
}

int StrmProtocol::sendbuf_space() const { return sock ? int_option(sock.get(), SO_SNDBUF) : 0; }

int StrmProtocol::recvbuf_space() const { return sock ? int_option(sock.get(), SO_RCVBUF) : 0; }

int StrmProtocol::inq_space() const { return sock ? int_query(sock.get(), FIONREAD) : 0; }

int StrmProtocol::outq_space() const { return sock ? int_query(sock.get(), TIOCOUTQ) : 0; }

int StrmProtocol::free_space() const {
    return free_space_flag ? outq_space() : sendbuf_space() - outq_space();
}
