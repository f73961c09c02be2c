#ifndef KORVAND_TOOLS_LGCPC_CLIENT_H
#define KORVAND_TOOLS_LGCPC_CLIENT_H

// A controller's end of the control link, for the `send` command and for
// tests that drive a daemon. It speaks through the same message connection
// and TPKT framing as the daemon and runs on the process's event loop, so
// it also works beside a control server in the same process.
//
//   Lgcpc::Client c;
//   std::string error;
//   if (!c.Connect("127.0.0.1", 20001, error)) ...
//   c.Send("{ seq 1, pdu command : ping : NULL }", error);
//   c.WaitFor(1);  // c.Received()[0] == Lgcpc::canonical("{ seq 1, pdu response : success : NULL }")

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "asn1/gen/lgcp.h"
#include "protocol/control_service.h"
#include "runtime/fd.h"

namespace Lgcpc {

class Client : private Control::Notify {
public:
    Client();
    ~Client() override;
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Connects to `host` (a name or a dotted-quad address) within `ms`;
    // false with `error` set when refused, unreachable or too slow.
    bool Connect(const std::string& host, uint16_t port, std::string& error, int ms = 5000);
    // Sends one LGCP.Message in value notation as one frame; false with
    // `error` set for bad notation, a value that does not encode, or no
    // connection.
    bool Send(const std::string& text, std::string& error);
    bool Send(const LGCP::Message& msg, std::string& error);
    // Sends arbitrary octets as one frame's payload.
    bool SendOctets(const std::vector<char>& payload, std::string& error);
    // Ends the sending side (the daemon then closes the connection once it
    // has handled everything before); what it still sends keeps coming.
    void Finish();
    // Closes the connection from this side.
    void Close();

    // Run the event loop: until `count` messages have come in all, the
    // connection is lost or `ms` passed (true when they came); for `ms`
    // or until the loss; until the loss (true when it came).
    bool WaitFor(size_t count, int ms = 5000);
    void Listen(int ms);
    bool WaitForClose(int ms = 5000);

    bool Connected() const;
    // The peer closed or the connection failed.
    bool Lost() const { return lost; }
    // Every message received, in the value-notation printer's layout; a
    // payload that does not decode as "-- undecodable: " and its hex.
    const std::vector<std::string>& Received() const { return received; }
    // Called with each received message's text as it comes, and the
    // message itself (null when it did not decode).
    using ReceiveCallback =
        std::function<void(const std::string& text, const LGCP::Message* message)>;
    void OnReceive(ReceiveCallback callback) { onReceive = callback; }

private:
    class Link;

    void OnConnect() override {}
    void OnDisconnect() override { lost = true; }
    void OnMessage(const char* data, int len) override;
    // Runs loop passes until `done` holds or `ms` pass; returns done().
    bool Pump(const std::function<bool()>& done, int ms);

    std::unique_ptr<Link> link;
    // The client's own handle on the link's socket, to end its sending side.
    Fd sock;
    bool lost = false;
    std::vector<std::string> received;
    ReceiveCallback onReceive;
};

// An LGCP.Message in value notation, reprinted in the printer's layout
// (what Received() holds); "" when the text is not such a value.
std::string canonical(const std::string& text);

}  // namespace Lgcpc

#endif
