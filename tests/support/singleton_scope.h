#ifndef KORVAND_TESTS_SUPPORT_SINGLETON_SCOPE_H
#define KORVAND_TESTS_SUPPORT_SINGLETON_SCOPE_H

#include <cstddef>

#include "runtime/singleton.h"

// Destroys, at its end, the singletons built while it lived, newest first,
// so that the next test builds its own.
class SingletonScope {
public:
    SingletonScope() = default;
    ~SingletonScope() { end(); }
    SingletonScope(const SingletonScope&) = delete;
    SingletonScope& operator=(const SingletonScope&) = delete;

    // Ends the scope early: while the board they were built on is still
    // installed, for instance.
    void end() { Singletons::resetTo(kept_); }

private:
    size_t kept_ = Singletons::count();
};

#endif
