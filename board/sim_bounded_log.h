#ifndef KORVAND_BOARD_SIM_BOUNDED_LOG_H
#define KORVAND_BOARD_SIM_BOUNDED_LOG_H

#include <cstddef>
#include <deque>
#include <utility>

// The models' logs of what they saw (requests, sent frames) keep the newest
// entries only: at most `entries` of them, holding at most `bytes` bytes of
// data together, so that a board that runs for days in a daemon's process
// holds no more than that. The newest entry stays, whatever its size.
// `bytesHeld` is the data the log holds; `sizeOf` gives an entry's.
template <class T, class SizeOf>
void keepNewest(std::deque<T>& log, size_t& bytesHeld, T entry, size_t entries, size_t bytes,
                SizeOf sizeOf) {
    bytesHeld += sizeOf(entry);
    log.push_back(std::move(entry));
    while (log.size() > entries || (bytesHeld > bytes && log.size() > 1)) {
        bytesHeld -= sizeOf(log.front());
        log.pop_front();
    }
}

#endif
