#ifndef KORVAND_RUNTIME_DPC_H
#define KORVAND_RUNTIME_DPC_H

#include "runtime/multiplexer.h"

class DpcHandler {
public:
    virtual void Invoke() = 0;
    virtual ~DpcHandler() = default;
};

template <class T>
class TDpcHandler : public DpcHandler {
public:
    TDpcHandler(T* o, void (T::*m)()) : object(o), member(m) {}
    void Invoke() override { (object->*member)(); }
    T* object;
    void (T::*member)();
};

class DpcHandler1 : public DpcHandler {
public:
    explicit DpcHandler1(void (*f)()) : function(f) {}
    void Invoke() override { function(); }
    void (*function)();
};

// A deferred call that the loop runs twice per pass while it is active:
// once after the due timers and once just before the poll.
class Dpc {
public:
    Dpc() = default;
    // Deactivates, so the loop never holds a dangling deferred call.
    ~Dpc() {
        Deactivate();
        delete handler;
    }
    Dpc(const Dpc&) = delete;
    Dpc& operator=(const Dpc&) = delete;

    void Bind(DpcHandler* h) {
        if (h == handler) return;
        delete handler;
        handler = h;
    }
    template <class T>
    void Bind(T* object, void (T::*member)()) {
        Bind(new TDpcHandler<T>(object, member));
    }
    void Activate() {
        if (!active) multiplexer.attach(this);
        active = true;
    }
    void Deactivate() {
        if (active) multiplexer.dettach(this);
        active = false;
    }
    bool isActive() const { return active; }

    DpcHandler* handler = nullptr;
    bool active = false;
};

#endif
