#ifndef KORVAND_PROTOCOL_TPKT_TRACER_H
#define KORVAND_PROTOCOL_TPKT_TRACER_H

#include <cstdint>
#include <list>
#include <memory>

#include "runtime/event.h"
#include "runtime/timer.h"

// A small TCP server that fans trace data out, framed as TPKT, to every
// client connected to it, and reads TPKT frames from those clients (at
// most 512 payload octets each). A client that sends a bad frame or cannot
// take a whole frame at once is dropped.
class TPKTTracer {
public:
    // Takes what the clients send; the bytes are valid during the call.
    class Receiver {
    public:
        virtual ~Receiver() = default;
        virtual void OnTrace(const uint8_t* data, unsigned len) = 0;
    };

    static const unsigned max_payload = 512;
    static const unsigned header_size = 4;
    static const unsigned max_frame_payload = 65535 - header_size;
    static const unsigned accept_retry_ms = 1000;

    // One client: the frame being read into its buffer, header then body.
    class Connection {
    public:
        enum Phase { Body = 0, Header = 1 };
        enum Outcome { More, Payload, Close };

        Connection() { Restart(); }
        Connection(const Connection&) = delete;
        Connection& operator=(const Connection&) = delete;

        // Where the next octets go, and how many are still expected there.
        uint8_t* Space() { return buffer + received; }
        unsigned Wanted() const { return unsigned(expected - received); }
        // `n` octets (at most Wanted()) were put at Space(). Payload: the
        // payload stands in the buffer until Restart().
        Outcome Received(unsigned n);
        void Restart();
        const uint8_t* Data() const { return buffer; }
        unsigned Size() const { return unsigned(received); }

        int phase = Header;
        int expected = 0;
        int received = 0;
        Event event;  // holds the client's descriptor
        uint8_t buffer[max_payload];
    };

    TPKTTracer();
    ~TPKTTracer() = default;
    TPKTTracer(const TPKTTracer&) = delete;
    TPKTTracer& operator=(const TPKTTracer&) = delete;

    void SetReceiver(Receiver* r) { receiver = r; }
    // Listens on all addresses; false, and nothing open, on any failure.
    bool Listen(unsigned short port);
    // One frame. While a client's payload is being handed to the receiver
    // it goes to that client only, otherwise to every client. A payload
    // longer than a frame carries is not sent.
    void Send(const void* data, unsigned len);
    size_t Connections() const { return connections.size(); }

    void OnEvent(int fd, short revents);
    void OnDataEvent(int fd, short revents);

private:
    typedef std::list<std::unique_ptr<Connection>> List;

    void Accept(int fd);
    void ReadFrom(List::iterator pos);
    void SendTo(List::iterator pos, const uint8_t* header, const void* data, unsigned len);
    void CloseConnection(List::iterator pos);
    List::iterator FindConnection(int fd);
    void ResumeAccepting();

    Receiver* receiver = nullptr;
    Event listening;
    List connections;
    List::iterator current;
    Timer resume;  // out of descriptors: accepting waits a while
};

#endif
