#ifndef KORVAND_RUNTIME_EVENT_H
#define KORVAND_RUNTIME_EVENT_H

#include <string>

#include "runtime/fd.h"
#include "runtime/measure.h"
#include "runtime/multiplexer.h"

// A descriptor registered with the loop for given poll events, and the
// callback that receives the descriptor and the returned events. The event
// keeps its own close-on-exec duplicate of the descriptor.
class Event : public EventHandler {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void Invoke(int fd, short revents) = 0;
    };

    template <class T>
    class THandler : public Handler {
    public:
        typedef void (T::*Action)(int, short);
        THandler(Action a, T* o) : action(a), object(o) {}
        void Invoke(int fd, short revents) override {
            if (action) (object->*action)(fd, revents);
        }
        Action action;
        T* object;
    };

    Event() = default;
    ~Event() override;

    void Bind(Handler* h);
    template <class T>
    void Bind(const std::string& n, typename THandler<T>::Action a, T* o) {
        name = n;
        Bind(new THandler<T>(a, o));
    }
    void UnBind();

    // Takes a duplicate of `fd` for `events` and registers with the loop;
    // the caller keeps and closes its own descriptor. Given the event's own
    // descriptor, it keeps it and registers again for `events`.
    void Schedule(Fd fd, short events);
    // Leaves the loop and closes the duplicate.
    void Release();

    void shedule_event(pollfd& entry) override;
    void svc_event(short revents) override;
    std::string event_name() const override { return name; }
    bool is_named() const override { return true; }

    Handler* handler = nullptr;
    Fd fd;
    short events = 0;
    std::string name = "Unknown";
    unsigned count = 0;
    Measure measure;
};

#endif
