#ifndef KORVAND_RUNTIME_CHILD_WAIT_H
#define KORVAND_RUNTIME_CHILD_WAIT_H

#include <cstddef>
#include <new>

#include "runtime/dual_list.h"
#include "runtime/event.h"
#include "runtime/fd.h"

// Child-exit notification on the loop's thread.
//
// The SIGCHLD handler only wakes the loop (one byte on a local socket pair);
// the loop then reaps every ended child with waitpid and hands each exit
// record (pid, raw status) to the ChildWait attached to that pid. A child
// that nobody waits for is reaped and logged.
//
// The loop reaps any ended child, so a child started with popen must be
// collected with pclose before its caller returns to the loop (popen and
// pclose inside one handler keep their child: nothing reaps during pclose).
class ChildWait : public F_dual_list_item<ChildWait> {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void Invoke(ChildWait& waiter, int status) = 0;
        // Handlers live in their waiter's storage: destroyed, never freed.
        static void operator delete(void*) {}
    };

    class DummyHandler : public Handler {
    public:
        void Invoke(ChildWait&, int) override {}
    };

    template <class T>
    class THandler1 : public Handler {
    public:
        THandler1(T& object, void (T::*member)(int)) : object(object), member(member) {}
        void Invoke(ChildWait&, int status) override { (object.*member)(status); }
        T& object;
        void (T::*member)(int);
    };

    // Keeps the process-wide service alive while a program unit uses it.
    class Unit {
    public:
        Unit();
        ~Unit();
    };

    ChildWait() { handler = new (storage) DummyHandler; }
    ~ChildWait();
    ChildWait(const ChildWait&) = delete;
    ChildWait& operator=(const ChildWait&) = delete;

    // Replaces the handler: the status of the child goes to (object->*member).
    template <class T>
    void Bind(T* object, void (T::*member)(int)) {
        static_assert(sizeof(THandler1<T>) <= sizeof storage, "handler does not fit its storage");
        handler->~Handler();
        handler = new (storage) THandler1<T>(*object, member);
    }

    // Starts waiting for `pid` (at the end of the waiters; once only).
    void Attach(int pid);
    void Detach();

    // Creates the socket pair, registers its reading end with the loop and
    // installs the SIGCHLD handler. Start-up calls it once before the loop.
    static void Activate();
    static void Initialize();
    static void Cleanup();

    static int UsageCounter;

    int pid = 0;
    alignas(alignof(std::max_align_t)) unsigned char storage[64];
    Handler* handler;
};

// The one service behind every ChildWait: the socket pair that the SIGCHLD
// handler writes to and the waiters in attach order.
class ChildWaitService {
public:
    ChildWaitService() = default;
    ~ChildWaitService();
    ChildWaitService(const ChildWaitService&) = delete;
    ChildWaitService& operator=(const ChildWaitService&) = delete;

    void Activate();
    // Reaps every ended child and delivers its record; only on POLLIN.
    void OnChildEvent(int fd, short revents);
    void Deliver(int pid, int status);

    static void SigChldHandlerWrapper(int sig);
    static ChildWaitService* childWaitService;

    Event event;
    Fd writer;
    F_dual_list<ChildWait> waiters;
};

namespace {
// One per program unit that includes this header: the first one built
// creates the service, the last one destroyed removes it.
ChildWait::Unit childWaitUnit;
}  // namespace

#endif
