#ifndef KORVAND_TESTS_SUPPORT_DAEMON_PROCESS_IMPL_H
#define KORVAND_TESTS_SUPPORT_DAEMON_PROCESS_IMPL_H

#include <chrono>
#include <thread>

template <class Pred>
bool waitFor(Pred predicate, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > end) return predicate();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

#endif
