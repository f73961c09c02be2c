#ifndef KORVAND_TOOLS_LGCPC_SESSION_H
#define KORVAND_TOOLS_LGCPC_SESSION_H

#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

#include "runtime/event.h"
#include "tools/lgcpc/client.h"
#include "tools/lgcpc/input_values.h"
#include "tools/lgcpc/send.h"

namespace Lgcpc {

// One `lgcpc send` session with a daemon. The slots a controller creates
// live as long as its connection, so one session carries a whole exchange:
// each LGCP.Message of the input is sent as soon as it is complete, and
// the session stays connected until the input has ended and every request
// with a sequence number has its final answer (a response with that
// number; a delayed one counts when it comes). It then ends its sending
// side, so the daemon closes the connection after whatever it sent before,
// and every message up to then is printed.
//
// The session fails, naming the requests still unanswered, when the
// connection is lost first or when the answers are still missing
// `waitMs` after the end of the input. A value that does not read or does
// not encode is reported and skipped, and the session goes on.
class Session {
public:
    Session(const SendOptions& options, std::ostream& out, std::ostream& err);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs the session fed from the descriptor `input`; the exit status.
    int Run(int input);

private:
    void OnInput(int fd, short revents);
    void EndInput();
    // Sends every value the input has completed and reports the bad ones.
    void SendReady();
    void OnMessage(const std::string& text, const LGCP::Message* message);
    // Whether the session is over; ends the sending side once all is done.
    bool Over();
    // What went wrong, if anything; the exit status.
    int Report();
    // "seq 3, seq 4".
    std::string Unanswered() const;

    SendOptions options;
    std::ostream& out;
    std::ostream& err;
    Client client;
    InputValues values;
    Event input;
    // The sequence numbers of the requests sent and not finally answered,
    // in the order they were sent.
    std::vector<int> unanswered;
    size_t printed = 0;
    bool inputEnded = false;
    bool badInput = false;
    // A value was not sent: the connection was lost.
    bool unsent = false;
    // The sending side is ended: every request was answered.
    bool finishing = false;
    std::chrono::steady_clock::time_point deadline;
};

}  // namespace Lgcpc

#endif
