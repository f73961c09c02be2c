#ifndef KORVAND_PROTOCOL_CDR_SENDER_H
#define KORVAND_PROTOCOL_CDR_SENDER_H

#include <string>

#include "runtime/fd.h"

namespace CDR_Sender {

// Sends one text record as a UDP datagram to each address of a list.
class Sender {
public:
    Sender();
    virtual ~Sender();
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    // `addresses` holds "a.b.c.d:port" words separated by white space;
    // words that are not such an address are skipped, and failed sends are
    // not reported. False only when the sender has no socket.
    bool SendTo(std::string& record, const std::string& addresses);

private:
    Fd sock;  // non-blocking, so a full send queue never holds the loop
};

}  // namespace CDR_Sender

#endif
