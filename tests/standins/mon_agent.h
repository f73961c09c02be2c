#ifndef KORVAND_TESTS_STANDINS_MON_AGENT_H
#define KORVAND_TESTS_STANDINS_MON_AGENT_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "asn1/gen/mon.h"
#include "runtime/event.h"

// A stand-in for an SNMP agent process: a TCP server on 127.0.0.1 that
// takes one connection at a time, reads TPKT frames, decodes each payload
// as a MON::Message and keeps it. It answers a ping with a success unless
// told to stay silent, and can send garbage or a command of its own. It
// runs on the process's event loop; its TPKT framing is its own, so the
// daemon's TPKT layer is checked against an independent reader.
class MonAgent {
public:
    // One set command received, flattened.
    struct Set {
        int uniq;
        std::string section;  // or the oid, for a command identified by oid
        std::string name;
        int index;
        std::string value;
    };

    // Listens on `port` (0: a free port of the kernel's choice).
    explicit MonAgent(int port = 0);
    ~MonAgent();
    MonAgent(const MonAgent&) = delete;
    MonAgent& operator=(const MonAgent&) = delete;

    int port() const { return port_; }
    bool listening() const { return listen_.fd.get() >= 0; }
    bool connected() const { return conn_.fd.get() >= 0; }
    // Pings are left unanswered while silent.
    void setSilent(bool silent) { silent_ = silent; }

    // A frame whose payload is no MON message.
    void sendGarbage();
    // A MON command, as an agent never should send one.
    void sendCommand();
    // Closes the connection (the daemon's side sees the loss).
    void drop();

    // Called with each message as it arrives, in value notation.
    std::function<void(const std::string&)> onMessage;

    std::vector<MON::Message> messages;
    std::vector<Set> sets;             // every set command, in arrival order
    std::vector<std::string> trapsinks;  // hosts of the last trap-sink list
    int trapsinkLists = 0;
    int pings = 0;
    int setMessages = 0;
    int badFrames = 0;   // payloads that did not decode
    int connections = 0;

private:
    void OnListen(int fd, short revents);
    void OnData(int fd, short revents);
    void takeFrames();
    void take(const MON::Message& m);
    void sendFrame(const std::string& payload);
    void sendMessage(const MON::Message& m);

    Event listen_;
    Event conn_;
    int port_ = 0;
    bool silent_ = false;
    std::string input_;
};

#endif
