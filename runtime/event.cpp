#include "runtime/event.h"

Event::~Event() {
    delete handler;
    handler = nullptr;
    Release();
}

void Event::Bind(Handler* h) {
    if (h == handler) return;
    delete handler;
    handler = h;
}

void Event::UnBind() { Bind(nullptr); }

// Scheduled with its own descriptor, the event keeps it and only takes the
// new events: closing it first would leave nothing to duplicate.
void Event::Schedule(Fd newFd, short ev) {
    if (fd) mux_detach();
    if (!fd || newFd != fd) {
        fd.close();
        fd = newFd.dup();
    }
    events = ev;
    if (fd) mux_attach();
}

void Event::Release() {
    if (fd) mux_detach();
    fd.close();
}

void Event::shedule_event(pollfd& entry) {
    entry.fd = fd.get();
    entry.events = events;
    entry.revents = 0;
}

void Event::svc_event(short rev) {
    if (rev & events) ++count;
    if (handler) handler->Invoke(fd.get(), rev);
}
