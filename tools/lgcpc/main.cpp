// lgcpc, the controller client: drives a running daemon over its control
// port and encodes and decodes control and monitoring protocol messages;
// see tools/lgcpc/lgcpc.h for the verbs.

#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "tools/lgcpc/lgcpc.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return Lgcpc::run(args, STDIN_FILENO, std::cout, std::cerr);
}
