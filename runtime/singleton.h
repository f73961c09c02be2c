#ifndef KORVAND_RUNTIME_SINGLETON_H
#define KORVAND_RUNTIME_SINGLETON_H

#include <cstddef>

// The process's objects that exist once, built on first use. Each one is
// listed when it is built, and they are destroyed in the reverse order: a
// later one may use an earlier one (the bus tests use the switch), never
// the other way round. At exit that happens before the global objects that
// existed before the first of them (the loop, the control server) go.
// Tests destroy the ones they caused earlier, so that the next test builds
// its own on its own simulated board.
class Singletons {
public:
    using Reset = void (*)();

    // How many exist now.
    static size_t count();
    // Destroys the newest ones, newest first, until only `keep` remain.
    static void resetTo(size_t keep);

    // Called by Singleton<T> once its object is built.
    static void listBuilt(Reset reset);
};

// The one object of class T: built by `make` (a function returning a new T)
// at the first `get`, destroyed by Singletons.
template <class T>
class Singleton {
public:
    template <class Make>
    static T& get(Make make) {
        if (!object) {
            // Listed once built: whatever `make` builds on the way is
            // listed before it, so it outlives it.
            T* built = make();
            object = built;
            Singletons::listBuilt(&reset);
        }
        return *object;
    }
    static T& get() {
        return get([] { return new T; });
    }
    static bool exists() { return object != nullptr; }

private:
    static void reset() {
        T* old = object;
        object = nullptr;
        delete old;
    }

    static T* object;
};

template <class T>
T* Singleton<T>::object = nullptr;

#endif
