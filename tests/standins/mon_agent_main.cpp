// An SNMP agent stand-in as its own process: "mon_agent PORT [--silent]".
// It prints "listening PORT" once it listens, then every MON message it
// receives in value notation on one line, and runs until it is killed.

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "runtime/multiplexer.h"
#include "tests/standins/mon_agent.h"

namespace {

// One line per message: the value notation with its line breaks folded.
std::string oneLine(const std::string& text) {
    std::string line;
    bool blank = false;
    for (char c : text) {
        bool space = c == '\n' || c == ' ';
        if (space && blank) continue;
        line += space ? ' ' : c;
        blank = space;
    }
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: mon_agent PORT [--silent]" << std::endl;
        return 2;
    }
    MonAgent agent(std::atoi(argv[1]));
    if (!agent.listening()) {
        std::cerr << "mon_agent: cannot listen on port " << argv[1] << std::endl;
        return 1;
    }
    agent.setSilent(argc > 2 && std::strcmp(argv[2], "--silent") == 0);
    agent.onMessage = [](const std::string& text) { std::cout << oneLine(text) << std::endl; };
    std::cout << "listening " << agent.port() << std::endl;
    multiplexer.run(false, true);
    return 0;
}
