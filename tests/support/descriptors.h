#ifndef KORVAND_TESTS_SUPPORT_DESCRIPTORS_H
#define KORVAND_TESTS_SUPPORT_DESCRIPTORS_H

// The process's open descriptors, the one that reads the list left out;
// -1 if the list cannot be read.
int openDescriptors();

#endif
