// lgcpc: encodes and decodes control and monitoring protocol messages; see
// tools/lgcpc/lgcpc.h for the commands.

#include <iostream>
#include <string>
#include <vector>

#include "tools/lgcpc/lgcpc.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return Lgcpc::run(args, std::cin, std::cout, std::cerr);
}
