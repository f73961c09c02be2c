#include "board/sim_request_model.h"

#include <errno.h>
#include <poll.h>

#include <cstdint>

#include "board/sim_control.h"

int simRefuse(int err) {
    errno = err;
    return -1;
}

SimRequestModel::SimRequestModel(std::string path, int socketType, std::vector<Request> requests)
    : SimDevice(std::move(path), socketType), requests_(std::move(requests)) {}

namespace {

// An open the driver ended (hung up) answers nothing any more.
bool hungUp(const SimHandle& h) {
    pollfd p{h.peer, 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
}

}  // namespace

const SimRequestModel::Request* SimRequestModel::find(unsigned long number) const {
    for (const Request& r : requests_)
        if (r.number == number) return &r;
    return nullptr;
}

int SimRequestModel::onIoctl(SimHandle& h, unsigned long request, void* arg) {
    const Request* r = find(request);
    if (!r) return SimDevice::onIoctl(h, request, arg);
    if (hungUp(h)) return simRefuse(EIO);
    if (r->plainInteger)
        return onValue(h, request, static_cast<long>(reinterpret_cast<intptr_t>(arg)));
    return arg ? onRecord(h, request, arg) : simRefuse(EFAULT);
}

int SimRequestModel::onIoctlValue(SimHandle& h, unsigned long request, long arg) {
    const Request* r = find(request);
    if (!r) return SimDevice::onIoctlValue(h, request, arg);
    if (hungUp(h)) return simRefuse(EIO);
    return r->plainInteger ? onValue(h, request, arg) : simRefuse(EFAULT);
}

std::string SimRequestModel::logCommand(const std::vector<std::string>& args) {
    return SimControl::log(*this, args, [this](unsigned long number) {
        const Request* r = find(number);
        return r ? r->name : nullptr;
    });
}
