#include "board/sim_driver.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "board/sim_words.h"

namespace {

// The request's argument size as the board encodes it.
size_t argumentSize(unsigned long request) {
    return (request >> 16) & 0x1FFF;
}

// A descriptor of this process on the daemon's end of `h`, or -1. The
// simulated board lives in the daemon's process, so its descriptor table is
// ours to search.
int daemonEnd(const SimHandle& h) {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return -1;
    int found = -1;
    while (dirent* e = ::readdir(dir)) {
        char* end = nullptr;
        long fd = std::strtol(e->d_name, &end, 10);
        struct stat st;
        if (*end != '\0' || end == e->d_name || fd == ::dirfd(dir)) continue;
        if (::fstat(static_cast<int>(fd), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_ino == h.ino &&
            st.st_dev == h.dev && static_cast<int>(fd) != h.peer) {
            found = static_cast<int>(fd);
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace

SimDriver::SimDriver(std::string path) : SimDevice(std::move(path), SOCK_SEQPACKET) {}

bool SimDriver::timeslotWord(const std::string& word, uint32_t& timeslot) {
    long v;
    if (!SimWords::number(word, 0, long(kTdmChannels) - 1, v)) return false;
    timeslot = static_cast<uint32_t>(v);
    return true;
}

int SimDriver::refuse(int err) {
    errno = err;
    return -1;
}

void SimDriver::serve(unsigned long request, size_t size, Argument argument,
                      std::function<int(SimHandle&, void*, long)> handler) {
    // A table that disagrees with the request number, or serves a request
    // twice, is a set-up mistake.
    if (argumentSize(request) != size || requests_.count(request)) {
        std::cerr << "sim driver " << path() << ": bad request 0x" << std::hex << request
                  << std::dec << std::endl;
        std::abort();
    }
    requests_[request] = Entry{argument, std::move(handler)};
}

void SimDriver::serveValue(unsigned long request, std::function<int(SimHandle&, long)> handler) {
    serve(request, sizeof(int32_t), ByValue,
          [handler](SimHandle& h, void*, long value) { return handler(h, value); });
}

void SimDriver::serveBare(unsigned long request, std::function<int(SimHandle&)> handler) {
    serve(request, 0, NoArgument,
          [handler](SimHandle& h, void*, long) { return handler(h); });
}

int SimDriver::onIoctl(SimHandle& h, unsigned long request, void* arg) {
    auto it = requests_.find(request);
    if (it == requests_.end()) return SimDevice::onIoctl(h, request, arg);
    if (isDown(h)) return refuse(EIO);
    const Entry& e = it->second;
    if (e.argument == ByValue) return refuse(EINVAL);
    if (e.argument == ByRecord && !arg) return refuse(EFAULT);
    return e.handler(h, arg, 0);
}

int SimDriver::onIoctlValue(SimHandle& h, unsigned long request, long arg) {
    auto it = requests_.find(request);
    if (it == requests_.end()) return SimDevice::onIoctlValue(h, request, arg);
    if (isDown(h)) return refuse(EIO);
    const Entry& e = it->second;
    if (e.argument == ByRecord) return refuse(EFAULT);
    return e.handler(h, nullptr, arg);
}

void SimDriver::onClose(SimHandle& h) {
    down_.erase(std::remove(down_.begin(), down_.end(), &h), down_.end());
}

bool SimDriver::isDown(const SimHandle& h) const {
    return std::find(down_.begin(), down_.end(), &h) != down_.end();
}

bool SimDriver::hangUp(SimHandle& h) {
    if (h.peer < 0 || isDown(h)) return false;
    ::shutdown(h.peer, SHUT_RDWR);
    down_.push_back(&h);
    return true;
}

bool SimDriver::breakDown(SimHandle& h) {
    if (h.peer < 0 || isDown(h)) return false;
    int end = daemonEnd(h);
    if (end < 0) return false;
    // Closing our end while it holds an unread record makes the kernel
    // reset the daemon's end. Our descriptor is replaced by one whose
    // partner is gone, so the board sees the hang-up and forgets the open.
    int gone[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, gone) != 0) return false;
    ::close(gone[1]);
    ::send(end, "!", 1, MSG_DONTWAIT | MSG_NOSIGNAL);
    ::dup3(gone[0], h.peer, O_CLOEXEC);
    ::close(gone[0]);
    down_.push_back(&h);
    return true;
}

size_t SimDriver::emitToEvery(const void* data, size_t len) {
    size_t taken = 0;
    for (SimHandle* h : handles())
        if (!isDown(*h) && emit(*h, data, len)) ++taken;
    return taken;
}

std::string SimDriver::control(const std::vector<std::string>& words) {
    using namespace SimWords;
    if (words.empty()) return SimDevice::control(words);
    const std::string& verb = words[0];
    if (verb == "raw" && words.size() <= 2) {
        std::vector<uint8_t> data;
        if (words.size() == 2 && !bytes(words[1], data)) return error("bad hex");
        return emitToEvery(data.data(), data.size()) ? ok() : error("no open took it");
    }
    if ((verb == "hangup" || verb == "fail") && words.size() == 1) {
        size_t n = 0;
        for (SimHandle* h : handles()) n += verb == "hangup" ? hangUp(*h) : breakDown(*h);
        return n ? ok() : error("no open");
    }
    return SimDevice::control(words);
}
