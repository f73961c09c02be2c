#include "tools/lgcpc/send.h"

#include <cstdlib>
#include <iostream>

#include "tools/lgcpc/client.h"

namespace Lgcpc {

namespace {

struct SendOptions {
    std::string host = "127.0.0.1";
    long port = 20001;
    long waitMs = 500;
};

// A whole decimal number in [low, high].
bool number(const std::string& text, long low, long high, long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9)
        return false;
    value = std::strtol(text.c_str(), nullptr, 10);
    return value >= low && value <= high;
}

bool parse(const std::vector<std::string>& args, SendOptions& options) {
    for (size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return false;
        const std::string& value = args[i + 1];
        if (args[i] == "--host" && !value.empty())
            options.host = value;
        else if (!(args[i] == "--port" && number(value, 1, 65535, options.port)) &&
                 !(args[i] == "--wait" && number(value, 0, 100000000, options.waitMs)))
            return false;
    }
    return true;
}

enum class Read { value, end, bad };

// The next value of the input; white space between values is skipped.
Read next(std::istream& in, LGCP::Message& msg) {
    in >> std::ws;
    if (in.peek() == std::char_traits<char>::eof()) return Read::end;
    return msg.get_from(in) == std::ios_base::goodbit ? Read::value : Read::bad;
}

// Sends every value of the input, showing what has come meanwhile.
bool sendAll(Client& client, std::istream& in, std::string& error) {
    for (;;) {
        LGCP::Message msg;
        switch (next(in, msg)) {
            case Read::end:
                return true;
            case Read::bad:
                error = "LGCP.Message: the input is not a value in value notation";
                return false;
            case Read::value:
                if (!client.Send(msg, error)) return false;
                client.Listen(0);
        }
    }
}

}  // namespace

int send(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
         std::ostream& err) {
    SendOptions options;
    if (!parse(args, options)) {
        err << "lgcpc: usage: lgcpc send [--host H] [--port P] [--wait MS]" << std::endl;
        return 1;
    }
    Client client;
    size_t shown = 0;
    client.OnReceive([&](const std::string& text) {
        if (shown++ > 0) out << '\n';
        out << text << std::endl;
    });
    std::string error;
    bool ok = client.Connect(options.host, uint16_t(options.port), error) &&
              sendAll(client, in, error);
    if (ok) {
        client.Listen(int(options.waitMs));
        ok = !client.Lost();
        if (!ok) error = "connection closed by " + options.host + ":" + std::to_string(options.port);
    }
    if (ok) return 0;
    err << "lgcpc: " << error << std::endl;
    return 1;
}

}  // namespace Lgcpc
