#ifndef KORVAND_BOARD_SIM_RECORD_H
#define KORVAND_BOARD_SIM_RECORD_H

#include <cstring>

// Driver records arrive as the caller laid them out, maybe unaligned: the
// models copy them in and out instead of casting the caller's pointer.
template <class Record>
Record loadRecord(const void* arg) {
    Record r;
    std::memcpy(&r, arg, sizeof r);
    return r;
}

template <class Record>
void storeRecord(void* arg, const Record& r) {
    std::memcpy(arg, &r, sizeof r);
}

#endif
