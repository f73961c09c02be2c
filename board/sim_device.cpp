#include "board/sim_device.h"

#include <errno.h>
#include <sys/socket.h>

#include <algorithm>

#include "board/sim_bounded_log.h"

SimDevice::SimDevice(std::string path, int socketType)
    : path_(std::move(path)), socketType_(socketType) {}

SimDevice::~SimDevice() = default;

int SimDevice::onIoctl(SimHandle&, unsigned long, void*) {
    errno = ENOTTY;
    return -1;
}

int SimDevice::onIoctlValue(SimHandle&, unsigned long, long) {
    errno = ENOTTY;
    return -1;
}

int SimDevice::onSocketRequest(unsigned long, void*) {
    errno = ENOTTY;
    return -1;
}

ssize_t SimDevice::onWrite(SimHandle&, int, const void*, size_t) {
    errno = EINVAL;
    return -1;
}

std::string SimDevice::control(const std::vector<std::string>& words) {
    return "error: unknown command " + (words.empty() ? std::string() : words[0]);
}

void SimDevice::failOpen(int err, int count) { openFault_ = Fault{err, count}; }

void SimDevice::failRequest(unsigned long request, int err, int count) {
    if (err == 0)
        requestFaults_.erase(request);
    else
        requestFaults_[request] = Fault{err, count};
}

void SimDevice::failWrite(int err, int count) { writeFault_ = Fault{err, count}; }

int SimDevice::take(Fault& f) {
    if (f.err == 0 || f.count == 0) return 0;
    if (f.count > 0) --f.count;
    return f.err;
}

int SimDevice::takeOpenFault() { return take(openFault_); }
int SimDevice::takeWriteFault() { return take(writeFault_); }

int SimDevice::takeRequestFault(unsigned long request) {
    auto it = requestFaults_.find(request);
    return it == requestFaults_.end() ? 0 : take(it->second);
}

bool SimDevice::emit(SimHandle& h, const void* data, size_t len) {
    if (h.peer < 0) return false;
    return ::send(h.peer, data, len, MSG_DONTWAIT | MSG_NOSIGNAL) == static_cast<ssize_t>(len);
}

void SimDevice::emitAll(const void* data, size_t len) {
    for (SimHandle* h : handles_) emit(*h, data, len);
}

std::vector<SimHandle*> SimDevice::handles() const { return handles_; }

void SimDevice::record(SimRequest r) {
    keepNewest(log_, logData_, std::move(r), logLimit_, kLogDataLimit,
               [](const SimRequest& e) { return e.data.size(); });
}

void SimDevice::detachHandle(SimHandle* h) {
    handles_.erase(std::remove(handles_.begin(), handles_.end(), h), handles_.end());
}
