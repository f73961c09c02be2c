#include "board/sim_board.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <iostream>
#include <sstream>

#include "board/sim_control.h"

namespace {

// True when the descriptor the kernel described in `st` is the daemon's end
// of the open `h`.
bool endOf(const struct stat& st, const SimHandle& h) {
    return S_ISSOCK(st.st_mode) && st.st_ino == h.ino && st.st_dev == h.dev;
}

// What the kernel says `fd` is (in `st`), or null when it is no open
// descriptor.
const struct stat* describe(int fd, struct stat& st) {
    return fd >= 0 && ::fstat(fd, &st) == 0 ? &st : nullptr;
}

}  // namespace

SimBoard::SimBoard() : clock_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
    if (clock_ >= 0) poller_.watch(clock_, [this] { serveClock(); });
}

// The daemon's board is built before anything that closes descriptors
// through it and lives until exit, so its end is the last look at its
// numbers: the slots, the factories and the singletons are gone by then,
// and none of its devices may still be open. A check when the loop ends
// would come before the singletons close theirs, and miss a plain close
// among them.
SimBoard::~SimBoard() {
    checkNumbers();
    if (endsLast_) reportOpenNumbers();
    // Whatever closes a descriptor after the board has gone closes it in
    // the kernel.
    if (&boardIo() == this) setBoardIo(nullptr);
    while (!handles_.empty()) drop(handles_.size() - 1);
    if (control_ >= 0) ::close(control_);
    if (clock_ >= 0) {
        poller_.unwatch(clock_);
        ::close(clock_);
    }
}

void SimBoard::wake() {
    if (clock_ < 0) return;
    bool needed = false;
    for (const auto& d : devices_) needed = needed || d->ticking();
    if (needed == clockRunning_) return;
    itimerspec period{};
    if (needed) period.it_interval.tv_nsec = period.it_value.tv_nsec = long(kTickMs) * 1000000;
    ::timerfd_settime(clock_, 0, &period, nullptr);
    clockRunning_ = needed;
}

void SimBoard::serveClock() {
    uint64_t expirations;
    if (::read(clock_, &expirations, sizeof expirations) < 0) return;
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t us = uint64_t(now.tv_sec) * 1000000 + uint64_t(now.tv_nsec) / 1000;
    for (const auto& d : devices_)
        if (d->ticking()) d->tick(us);
    wake();
}

std::string SimBoard::control(const std::string& line) {
    std::istringstream in(line);
    std::string path;
    std::vector<std::string> words;
    in >> path;
    for (std::string w; in >> w;) words.push_back(w);
    SimDevice* dev = device(path);
    if (!dev) return "error: no device " + path;
    if (!words.empty() && words[0] == "fault") return SimControl::fault(*dev, SimControl::tail(words, 1));
    std::string reply = dev->control(words);
    wake();
    return reply;
}

bool SimBoard::runCommands(const std::string& list, std::ostream& errors) {
    bool ok = true;
    std::istringstream in(list);
    for (std::string line; std::getline(in, line, ';');) {
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        std::string reply = control(line);
        if (reply.compare(0, 6, "error:") != 0) continue;
        errors << "sim board: " << line << ": " << reply << std::endl;
        ok = false;
    }
    return ok;
}

int SimBoard::openControl(const std::string& path) {
    int fd = bindUnixSocket(path, SOCK_DGRAM);
    if (fd < 0) return -1;
    if (control_ >= 0) ::close(control_);
    control_ = fd;
    return fd;
}

bool SimBoard::controlAnswers(const std::string& path) {
    return datagramSocketAnswers(path);
}

void SimBoard::serveControl() {
    char buf[4096];
    for (;;) {
        sockaddr_un from;
        socklen_t len = sizeof from;
        ssize_t n = ::recvfrom(control_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) return;
        std::string reply = control(std::string(buf, static_cast<size_t>(n)));
        ::sendto(control_, reply.data(), reply.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), len);
    }
}

std::unique_ptr<SimBoard> SimBoard::makeStandard() {
    std::unique_ptr<SimBoard> board(new SimBoard);
    installStandardDevices(*board);
    return board;
}

SimDevice& SimBoard::add(std::unique_ptr<SimDevice> device) {
    device->setPoller(&poller_);
    devices_.push_back(std::move(device));
    return *devices_.back();
}

SimDevice* SimBoard::device(const std::string& path) const {
    for (const auto& d : devices_)
        if (d->path() == path) return d.get();
    return nullptr;
}

void SimBoard::drop(size_t index) {
    SimHandle* h = handles_[index].get();
    h->device->onClose(*h);
    h->device->record(SimRequest{SimRequest::Close, 0, 0, {}});
    h->device->detachHandle(h);
    ::close(h->peer);
    handles_.erase(handles_.begin() + static_cast<long>(index));
}

void SimBoard::collect() {
    for (size_t i = handles_.size(); i-- > 0;) {
        pollfd p{handles_[i]->peer, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLHUP)) continue;
        forgetNumbers(*handles_[i]);
        drop(i);
    }
}

// The open ends when the daemon has closed every descriptor of it, or when
// its model hung it up. A number that still names it but no longer reaches
// its socket was closed without the board, and the kernel may have handed
// it out again.
void SimBoard::forgetNumbers(const SimHandle& h) {
    for (size_t fd = 0; fd < numbers_.size(); ++fd) {
        if (numbers_[fd] != &h) continue;
        checkNumber(int(fd));
        numbers_[fd] = nullptr;
    }
}

void SimBoard::checkNumbers() {
    for (size_t fd = 0; fd < numbers_.size(); ++fd) checkNumber(int(fd));
}

void SimBoard::checkNumber(int fd) {
    struct stat st;
    if (numbered(fd)) checkNumber(fd, describe(fd, st));
}

// The daemon closes its descriptors through the board, which forgets the
// number then: a listed number that reaches another socket, or none, was
// closed without the board.
void SimBoard::checkNumber(int fd, const struct stat* now) {
    SimHandle* h = numbered(fd);
    if (!h || (now && endOf(*now, *h))) return;
    remember(fd, nullptr);
    ++closedAround_;
    report(fd, *h, "was closed around the board");
}

void SimBoard::reportOpenNumbers() const {
    for (size_t fd = 0; fd < numbers_.size(); ++fd)
        if (numbers_[fd]) report(int(fd), *numbers_[fd], "is still open at the board's end");
}

void SimBoard::report(int fd, const SimHandle& h, const char* what) {
    std::cerr << "sim board: descriptor " << fd << " of " << h.device->path() << " " << what << std::endl;
}

void SimBoard::clearLogs() {
    for (const auto& d : devices_) d->clearLogs();
}

void SimBoard::remember(int fd, SimHandle* h) {
    if (fd < 0) return;
    if (size_t(fd) >= numbers_.size()) {
        if (!h) return;
        numbers_.resize(size_t(fd) + 1);
    }
    numbers_[size_t(fd)] = h;
}

SimHandle* SimBoard::handleOf(int fd) {
    ++kernelLookups_;
    struct stat st;
    const struct stat* now = describe(fd, st);
    checkNumber(fd, now);
    SimHandle* found = nullptr;
    if (now) {
        for (const auto& h : handles_) {
            if (!endOf(*now, *h)) continue;
            found = h.get();
            break;
        }
    }
    remember(fd, found);
    return found;
}

SimHandle* SimBoard::numbered(int fd) const {
    return fd >= 0 && size_t(fd) < numbers_.size() ? numbers_[size_t(fd)] : nullptr;
}

// The daemon opens, duplicates and closes its device descriptors through
// the board, so the open a number names is known without asking the kernel.
// Requests that their device alone serves, answered alike through every
// open, are routed so: that spares the switch refresh a system call for
// each of its 256 requests a loop pass. Other requests and writes still ask
// the kernel, which also finds descriptors made outside the board.
SimHandle* SimBoard::handleFor(int fd, unsigned long request) {
    SimHandle* h = numbered(fd);
    if (h && h->device->routedByNumber(request)) return h;
    return handleOf(fd);
}

int SimBoard::open(const char* path, int flags) {
    collect();
    SimDevice* dev = device(path);
    if (!dev) {
        errno = ENOENT;
        return -1;
    }
    dev->record(SimRequest{SimRequest::Open, 0, flags, {}});
    if (int err = dev->takeOpenFault()) {
        errno = err;
        return -1;
    }
    int sv[2];
    if (::socketpair(AF_UNIX, dev->socketType() | SOCK_CLOEXEC, 0, sv) != 0) return -1;
    if (flags & O_NONBLOCK) ::fcntl(sv[0], F_SETFL, ::fcntl(sv[0], F_GETFL) | O_NONBLOCK);
    ::fcntl(sv[1], F_SETFL, ::fcntl(sv[1], F_GETFL) | O_NONBLOCK);
    struct stat st;
    ::fstat(sv[0], &st);
    std::unique_ptr<SimHandle> h(new SimHandle);
    h->device = dev;
    h->peer = sv[1];
    h->dev = st.st_dev;
    h->ino = st.st_ino;
    h->openFlags = flags;
    dev->attachHandle(h.get());
    for (int end : sv) checkNumber(end, nullptr);
    remember(sv[0], h.get());
    handles_.push_back(std::move(h));
    dev->onOpen(*handles_.back());
    return sv[0];
}

// The number is forgotten before the kernel can hand it out again.
int SimBoard::close(int fd) {
    checkNumber(fd);
    remember(fd, nullptr);
    return ::close(fd);
}

// The copy names what its original names, once the kernel has confirmed
// the original.
int SimBoard::dup(int fd) {
    checkNumber(fd);
    int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    checkNumber(copy, nullptr);
    remember(copy, numbered(fd));
    return copy;
}

SimDevice* SimBoard::socketModel(int fd, unsigned long request) const {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) return nullptr;
    for (const auto& d : devices_)
        if (d->servesSocketRequest(request)) return d.get();
    return nullptr;
}

int SimBoard::ioctl(int fd, unsigned long request, void* arg) {
    SimHandle* h = handleFor(fd, request);
    if (!h) {
        SimDevice* model = socketModel(fd, request);
        if (!model) return ::ioctl(fd, request, arg);
        model->record(SimRequest{SimRequest::Ioctl, request, 0, {}});
        if (int err = model->takeRequestFault(request)) {
            errno = err;
            return -1;
        }
        return model->onSocketRequest(request, arg);
    }
    h->device->record(SimRequest{SimRequest::Ioctl, request, 0, {}});
    if (int err = h->device->takeRequestFault(request)) {
        errno = err;
        return -1;
    }
    return h->device->onIoctl(*h, request, arg);
}

int SimBoard::ioctl(int fd, unsigned long request, long arg) {
    SimHandle* h = handleFor(fd, request);
    if (!h) return ::ioctl(fd, request, arg);
    h->device->record(SimRequest{SimRequest::IoctlValue, request, arg, {}});
    if (int err = h->device->takeRequestFault(request)) {
        errno = err;
        return -1;
    }
    return h->device->onIoctlValue(*h, request, arg);
}

ssize_t SimBoard::read(int fd, void* buf, size_t len) { return ::read(fd, buf, len); }

ssize_t SimBoard::write(int fd, const void* buf, size_t len) {
    SimHandle* h = handleOf(fd);
    if (!h) return ::write(fd, buf, len);
    if (!buf && len > 0) {  // as the kernel's copy from the caller would fail
        errno = EFAULT;
        return -1;
    }
    const uint8_t* p = static_cast<const uint8_t*>(buf);
    h->device->record(SimRequest{SimRequest::Write, 0, 0, std::vector<uint8_t>(p, p + len)});
    if (int err = h->device->takeWriteFault()) {
        errno = err;
        return -1;
    }
    ssize_t n = h->device->onWrite(*h, fd, buf, len);
    int err = errno;
    wake();
    errno = err;
    return n;
}
