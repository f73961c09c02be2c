#ifndef KORVAND_PROTOCOL_STRM_PROTOCOL_H
#define KORVAND_PROTOCOL_STRM_PROTOCOL_H

#include <cstdint>
#include <ostream>
#include <string>

#include "protocol/protocol.h"
#include "runtime/event.h"
#include "runtime/fd.h"
#include "runtime/measure.h"
#include "runtime/timer.h"

// Adds "Enter StrmProtocol::~StrmProtocol()" lines when a layer goes.
extern bool strm_protocol_debug;

// The bottom layer of a message connection: a connected, non-blocking
// stream socket. What arrives goes up as fresh packets; each packet that
// comes down is written in full, waiting at most 1000 ms for the socket to
// drain. Every socket failure deactivates the stack from the bottom up with
// an error status.
class StrmProtocol : public Protocol {
public:
    // How long one packet may wait for room in the socket.
    static const unsigned write_budget_ms = 1000;
    // How soon a reader that found the pool empty looks again.
    static const unsigned read_retry_ms = 10;

    StrmProtocol();
    explicit StrmProtocol(Fd fd);
    ~StrmProtocol() override;

    void init();
    // Keeps a close-on-exec duplicate of `fd`; the caller keeps its own.
    void attach(Fd fd);
    // Leaves the loop and closes the descriptor.
    void release();
    bool attached() const { return bool(sock); }
    // The peer has closed its side or the connection has failed; what it
    // sent before may still wait to be read.
    bool peer_closed() const;

    void local_activate() override;
    void local_deactivate() override;
    bool local_prepare_head(Packet& p) override;
    bool local_prepare_tail(Packet& p) override;
    // Writes the packet in full; false on a write error or time-out (the
    // stack is then deactivated) or when no socket is attached.
    bool message(Packet& p) override;
    // While held the socket is not polled: its data, and a hang-up behind
    // it, wait in the kernel until the layer above takes more.
    void hold_receive(bool hold) override;
    void on_event(int fd, short revents);
    void on_error(const std::string& text);

    int sendbuf_space() const;
    int recvbuf_space() const;
    int inq_space() const;
    int outq_space() const;
    int free_space() const;

    void service_name(const std::string& name) { service = name; }
    const std::string& service_name() const { return service; }
    void set_trace(bool on) { trace = on; }
    uint32_t fail_counter() const { return failures; }
    const Measure& read_measure() const { return reads; }
    const Measure& write_measure() const { return writes; }

    void PutHeader(std::ostream& os) const { os << "SockStream[" << service << "]: "; }

private:
    void do_read();
    void pause_reading();
    void resume_reading();
    bool wait_writable(uint32_t start);
    void write_failed(const char* what, const std::string& error);
    void put_figures(std::ostream& os) const;

    Fd sock;
    bool free_space_flag = false;
    bool trace = false;
    std::string service;
    Event event;
    Measure reads;
    Measure writes;
    uint32_t failures = 0;
    Timer read_retry;
    bool starved = false;  // a read found the pool empty; said once
    bool held = false;     // the layer above takes nothing more for now
};

#endif
