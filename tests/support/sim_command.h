#ifndef KORVAND_TESTS_SUPPORT_SIM_COMMAND_H
#define KORVAND_TESTS_SUPPORT_SIM_COMMAND_H

#include <string>

// Sends one command ("<device path> <words...>") to the simulated board of
// a daemon running with KORVAND_ROOT=`root` and returns its reply, or
// "error: no reply" after `timeoutMs`.
std::string simCommand(const std::string& root, const std::string& line, int timeoutMs = 2000);

#endif
