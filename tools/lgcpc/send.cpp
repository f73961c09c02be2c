#include "tools/lgcpc/send.h"

#include <cstdlib>
#include <iostream>

#include "tools/lgcpc/session.h"

namespace Lgcpc {

namespace {

// A whole decimal number in [low, high].
bool number(const std::string& text, long low, long high, long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9)
        return false;
    value = std::strtol(text.c_str(), nullptr, 10);
    return value >= low && value <= high;
}

// Sets one option from its text; false with `error` set.
bool setOption(const std::string& name, const std::string& value, SendOptions& options,
               std::string& error) {
    struct Range {
        const char* name;
        long* target;
        long low, high;
    } const ranges[] = {{"--port", &options.port, 1, 65535},
                        {"--wait", &options.waitMs, 0, 100000000}};
    if (name == "--host") {
        options.host = value;
        if (!value.empty()) return true;
        error = "--host takes a host name or address";
        return false;
    }
    for (const Range& r : ranges) {
        if (name != r.name) continue;
        if (number(value, r.low, r.high, *r.target)) return true;
        error = name + " takes a number from " + std::to_string(r.low) + " to " +
                std::to_string(r.high) + ", not \"" + value + "\"";
        return false;
    }
    error = "unknown option \"" + name + "\"";
    return false;
}

}  // namespace

bool parseSendOptions(const std::vector<std::string>& args, SendOptions& options,
                      std::string& error) {
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.compare(0, 2, "--") != 0) {
            error = "unexpected argument \"" + arg + "\"";
            return false;
        }
        size_t equals = arg.find('=');
        std::string name = arg.substr(0, equals);
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            error = name + " needs a value";
            return false;
        }
        if (!setOption(name, value, options, error)) return false;
    }
    return true;
}

int send(const std::vector<std::string>& args, int input, std::ostream& out, std::ostream& err) {
    SendOptions options;
    std::string error;
    if (!parseSendOptions(args, options, error)) {
        err << "lgcpc: send: " << error << " (see lgcpc --help)" << std::endl;
        return 1;
    }
    Session session(options, out, err);
    return session.Run(input);
}

}  // namespace Lgcpc
