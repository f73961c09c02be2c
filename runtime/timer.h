#ifndef KORVAND_RUNTIME_TIMER_H
#define KORVAND_RUNTIME_TIMER_H

#include <memory>

#include "runtime/multiplexer.h"

// The holder of at most one pending one-shot timer event. Arming it again
// deletes the pending event; destroying or resetting it cancels the event.
class Timer {
public:
    Timer() = default;
    ~Timer() = default;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    template <class T>
    void set(unsigned ms, void (T::*member)(), T* object);
    template <class T>
    void set(unsigned ms, void (T::*member)(Timer*), T* object);
    void set(unsigned ms, void (*function)());

    // Disarms: the pending event, if any, is deleted.
    void reset() { event_.reset(); }
    bool armed() const { return event_ != nullptr; }
    TimerEvent* pending() const { return event_.get(); }

    // Used by a firing event: gives up ownership of `e` if it is the
    // pending one, so the callback may re-arm or destroy this holder.
    TimerEvent* release(TimerEvent* e) {
        if (event_.get() == e) event_.release();
        return e;
    }
    void adopt(TimerEvent* e) { event_.reset(e); }

private:
    std::unique_ptr<TimerEvent> event_;
};

// Fires by first leaving its holder, then calling, then deleting itself.
template <class Call>
class HeldTimerEvent : public TimerEvent {
public:
    HeldTimerEvent(Timer* owner, unsigned ms, Call call) : owner(owner), call(call) { schedule(ms); }
    void fire() override {
        std::unique_ptr<TimerEvent> self(owner->release(this));
        call(owner);
    }

    Timer* owner;
    Call call;
};

template <class T>
struct ObjCall1 {
    void (T::*member)();
    T* object;
    void operator()(Timer*) const { (object->*member)(); }
};

template <class T>
struct ObjCall2 {
    void (T::*member)(Timer*);
    T* object;
    void operator()(Timer* t) const { (object->*member)(t); }
};

struct SimpleCall1 {
    void (*function)();
    void operator()(Timer*) const { function(); }
};

template <class T>
using ObjTimerEvent1 = HeldTimerEvent<ObjCall1<T>>;
using SimpleTimerEvent1 = HeldTimerEvent<SimpleCall1>;

// Also built by hand: new ObjTimerEvent2<T>(&holder, &T::member, object, ms)
// schedules itself; the holder then adopts it.
template <class T>
class ObjTimerEvent2 : public HeldTimerEvent<ObjCall2<T>> {
public:
    ObjTimerEvent2(Timer* owner, unsigned ms, ObjCall2<T> call) : HeldTimerEvent<ObjCall2<T>>(owner, ms, call) {}
    ObjTimerEvent2(Timer* owner, void (T::*member)(Timer*), T* object, unsigned ms)
        : HeldTimerEvent<ObjCall2<T>>(owner, ms, ObjCall2<T>{member, object}) {}
};

// A timer whose callback and period are fixed in a static record, for an
// owner that arms one holder with the same period over and over:
//   static const TimerSpec<Slot>::Record TUpdateRecord = {&Slot::OnUpdateTimer, 3000};
//   TimerSpec<Slot> update{TUpdateRecord};   ...   update.set(this);
template <class T>
class TimerSpec {
public:
    struct Record {
        void (T::*member)();
        unsigned ms;
    };

    explicit TimerSpec(const Record& record) : record(record) {}

    // Arms the holder for the record's period, cancelling what it held.
    void set(T* owner) { timer.set(record.ms, record.member, owner); }
    void reset() { timer.reset(); }
    bool armed() const { return timer.armed(); }

    const Record& record;
    Timer timer;
};

template <class T>
void Timer::set(unsigned ms, void (T::*member)(), T* object) {
    adopt(new ObjTimerEvent1<T>(this, ms, ObjCall1<T>{member, object}));
}

template <class T>
void Timer::set(unsigned ms, void (T::*member)(Timer*), T* object) {
    adopt(new ObjTimerEvent2<T>(this, ms, ObjCall2<T>{member, object}));
}

inline void Timer::set(unsigned ms, void (*function)()) {
    adopt(new SimpleTimerEvent1(this, ms, SimpleCall1{function}));
}

#endif
