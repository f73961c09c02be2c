#ifndef KORVAND_TESTS_SUPPORT_DESCRIPTORS_H
#define KORVAND_TESTS_SUPPORT_DESCRIPTORS_H

#include <sys/types.h>

#include <map>
#include <string>

// The process's open descriptors, the one that reads the list left out;
// -1 if the list cannot be read.
int openDescriptors();

// The open descriptors of process `pid`, counted while it waits in the poll of its
// event loop, so that none a callback holds for a moment is counted (the
// daemon's timers open and close files and sockets); -1 if they cannot be
// read.
int descriptorsAtRest(pid_t pid);

// The open descriptors of process `pid`, each with what it names as
// /proc shows it ("pipe:[1234]", a path); empty if they cannot be read.
std::map<int, std::string> descriptorTargets(pid_t pid);

#endif
