#ifndef KORVAND_TESTS_RTP_ALLOC_COUNTER_H
#define KORVAND_TESTS_RTP_ALLOC_COUNTER_H

#include <cstddef>

// The number of global operator new calls so far in this test binary
// (alloc_counter.cpp replaces the operator).
size_t allocationCount();

#endif
