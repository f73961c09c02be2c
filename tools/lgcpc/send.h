#ifndef KORVAND_TOOLS_LGCPC_SEND_H
#define KORVAND_TOOLS_LGCPC_SEND_H

#include <string>
#include <vector>

#include <iosfwd>

namespace Lgcpc {

// What `lgcpc send` is told on its command line.
struct SendOptions {
    std::string host = "127.0.0.1";
    long port = 20001;
    // How long to wait, once the input has ended, for the answers missing.
    long waitMs = 5000;
};

// Reads the options after "send" ("--port N" or "--port=N"); false with
// `error` set for an unknown option, a missing value or a number out of
// range.
bool parseSendOptions(const std::vector<std::string>& args, SendOptions& options,
                      std::string& error);

// lgcpc send [--host H] [--port N] [--wait MS]: a session (see Session)
// fed from the descriptor `input`. `args` starts with "send". Returns the
// exit status; a failure writes its reason on `err`.
int send(const std::vector<std::string>& args, int input, std::ostream& out, std::ostream& err);

}  // namespace Lgcpc

#endif
