#include "runtime/child_wait.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <iostream>

#include "runtime/ipc_signal.h"

int ChildWait::UsageCounter = 0;
ChildWaitService* ChildWaitService::childWaitService = nullptr;

namespace {

// The writing end as the signal handler sees it; -1 while there is none.
std::atomic<int> wakeFd{-1};
static_assert(std::atomic<int>::is_always_lock_free,
              "the signal handler needs a lock-free descriptor");

}  // namespace

// ---- ChildWait ----------------------------------------------------------------

ChildWait::Unit::Unit() {
    if (++UsageCounter == 1) Initialize();
}

ChildWait::Unit::~Unit() {
    if (--UsageCounter == 0) Cleanup();
}

ChildWait::~ChildWait() {
    handler->~Handler();
    Detach();
}

void ChildWait::Attach(int p) {
    pid = p;
    ChildWaitService* service = ChildWaitService::childWaitService;
    if (!service) return;
    Detach();
    service->waiters.push_back(this);
}

void ChildWait::Detach() {
    if (list) list->remove(this);
}

void ChildWait::Activate() {
    if (ChildWaitService::childWaitService) ChildWaitService::childWaitService->Activate();
}

void ChildWait::Initialize() {
    ChildWaitService::childWaitService = new ChildWaitService;
}

void ChildWait::Cleanup() {
    delete ChildWaitService::childWaitService;
    ChildWaitService::childWaitService = nullptr;
}

// ---- ChildWaitService ---------------------------------------------------------

ChildWaitService::~ChildWaitService() {
    wakeFd.store(-1);
    event.Release();
    while (waiters.remove_from_head()) {
    }
    writer.close();
}

void ChildWaitService::Activate() {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_DGRAM, 0, ends) != 0) {
        std::cerr << "ChildWaitService: initialize fails" << std::endl;
        return;
    }
    wakeFd.store(-1);
    writer.close();
    SetCloexec(ends[0], true);
    writer = Fd(ends[0]).dup();
    // The handler must never block, however many wake-ups pile up.
    writer.NonBlock();
    event.Bind("ChildWaitService::OnChildEvent", &ChildWaitService::OnChildEvent, this);
    SetCloexec(ends[1], true);
    NonBlockMode(ends[1]);
    event.Schedule(ends[1], POLLIN);
    wakeFd.store(writer.get());
    IPC::Signal::handle(SIGCHLD, &ChildWaitService::SigChldHandlerWrapper, SA_RESTART);
    ::close(ends[0]);
    ::close(ends[1]);
}

// Only wakes the loop: reaping here would race with pclose and other
// waitpid callers, and writing records could block when they pile up.
void ChildWaitService::SigChldHandlerWrapper(int) {
    int saved = errno;
    int fd = wakeFd.load();
    if (fd >= 0 && ::send(fd, "", 1, MSG_DONTWAIT) < 0) {
        // Full: a wake-up is pending already.
    }
    errno = saved;
}

void ChildWaitService::OnChildEvent(int fd, short revents) {
    if (!(revents & POLLIN)) return;
    char drain[64];
    while (::recv(fd, drain, sizeof drain, MSG_DONTWAIT) >= 0) {
    }
    // Wake-ups read before the reaping cannot hide a child: one that ends
    // after the last waitpid wakes the loop again.
    int status = 0;
    pid_t pid;
    while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) Deliver(pid, status);
}

void ChildWaitService::Deliver(int pid, int status) {
    std::clog << "terminate child process, pid=" << pid << " status=" << status << std::endl;
    for (ChildWait* w : waiters) {
        if (w->pid != pid) continue;
        waiters.remove(w);
        w->handler->Invoke(*w, status);
        return;
    }
}
