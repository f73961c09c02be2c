#ifndef KORVAND_TOOLS_LGCPC_SEND_H
#define KORVAND_TOOLS_LGCPC_SEND_H

#include <iosfwd>
#include <string>
#include <vector>

namespace Lgcpc {

// lgcpc send [--host H] [--port P] [--wait MS]
// Connects to the control port (127.0.0.1:20001 by default), sends each
// LGCP.Message read in value notation from `in` as one frame, prints every
// message received in value notation (a blank line between two), listens
// MS milliseconds (500) after the last send and returns 0. A refused or
// lost connection, bad input or bad arguments: one line on `err`, 1.
// `args` starts with "send".
int send(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
         std::ostream& err);

}  // namespace Lgcpc

#endif
