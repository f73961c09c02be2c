#include "tests/support/reserved_port.h"

#include <dirent.h>
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

// How many numbers below the kernel's range a test may be given.
const int kSpan = 8192;
const int kLowest = 1024;
const int kHighest = 65535;

enum class Bind { Free, Taken, NoSuchFamily };

// Whether a socket of `family` and `type` binds `port` of every address,
// without sharing it: no socket of any process has it, nor a connection
// lingering in TIME_WAIT. The IPv6 socket takes IPv4 too (dual stack), so
// it clashes with a socket of either family: an IPv6-only listener, on
// [::] or [::1], holds a port that IPv4 finds free.
Bind bindEveryAddress(int family, int type, int port) {
    int s = ::socket(family, type | SOCK_CLOEXEC, 0);
    if (s < 0) return errno == EAFNOSUPPORT ? Bind::NoSuchFamily : Bind::Taken;
    sockaddr_storage a{};
    socklen_t len;
    if (family == AF_INET6) {
        int v6only = 0;
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &v6only, sizeof v6only);
        auto& a6 = reinterpret_cast<sockaddr_in6&>(a);
        a6.sin6_family = AF_INET6;
        a6.sin6_port = htons(uint16_t(port));
        a6.sin6_addr = in6addr_any;
        len = sizeof a6;
    } else {
        auto& a4 = reinterpret_cast<sockaddr_in&>(a);
        a4.sin_family = AF_INET;
        a4.sin_port = htons(uint16_t(port));
        a4.sin_addr.s_addr = htonl(INADDR_ANY);
        len = sizeof a4;
    }
    int bound = ::bind(s, reinterpret_cast<sockaddr*>(&a), len);
    int err = errno;
    ::close(s);
    if (bound == 0) return Bind::Free;
    if (family == AF_INET6 && (err == EAFNOSUPPORT || err == EADDRNOTAVAIL))
        return Bind::NoSuchFamily;
    return Bind::Taken;
}

// Free for `type` in both families; IPv4 alone where the host has no IPv6.
bool bindable(int type, int port) {
    return bindEveryAddress(AF_INET, type, port) == Bind::Free &&
           bindEveryAddress(AF_INET6, type, port) != Bind::Taken;
}

// The number `at` places after the first of `spans`, counted through them
// in order.
int nthNumber(const std::vector<PortSpan>& spans, int at) {
    for (const PortSpan& s : spans) {
        if (at <= s.last - s.first) return s.first + at;
        at -= s.last - s.first + 1;
    }
    return -1;
}

std::string listed(const std::vector<PortSpan>& spans) {
    std::string text;
    for (const PortSpan& s : spans)
        text += (text.empty() ? "" : ", ") + std::to_string(s.first) + "-" + std::to_string(s.last);
    return text.empty() ? "none" : text;
}

}  // namespace

PortSpan kernelLocalPorts() {
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    PortSpan kernel{32768, 60999};
    range >> kernel.first >> kernel.last;
    return kernel;
}

std::vector<PortSpan> reservableSpans(const PortSpan& kernel) {
    std::vector<PortSpan> spans;
    PortSpan below{std::max(kLowest, kernel.first - kSpan), kernel.first - 1};
    PortSpan above{std::max(kLowest, kernel.last + 1), kHighest};
    for (const PortSpan& s : {below, above})
        if (s.first <= s.last) spans.push_back(s);
    return spans;
}

namespace {

// Adds the sockets on `port` of the table `file` of /proc/net (the local
// address ends in ":PORT" in hex).
void tcpTable(const char* file, int port, std::vector<TcpSocket>& found) {
    std::ifstream table(file);
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, ":%04X", unsigned(port));
    std::string line;
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        std::istringstream f(line);
        std::string slot, local, remote, timer, retransmits, uid, timeout;
        TcpSocket s;
        f >> slot >> local >> remote >> s.state >> s.queues >> timer >> retransmits >> uid >>
            timeout >> s.inode;
        if (local.size() > 5 && local.compare(local.size() - 5, 5, suffix) == 0) found.push_back(s);
    }
}

}  // namespace

std::vector<TcpSocket> tcpSocketsAt(int port) {
    std::vector<TcpSocket> found;
    tcpTable("/proc/net/tcp", port, found);
    tcpTable("/proc/net/tcp6", port, found);
    return found;
}

ReservedPort::ReservedPort(int count) {
    PortSpan kernel = kernelLocalPorts();
    reserve(count, reservableSpans(kernel),
            "outside the kernel's local port range " + std::to_string(kernel.first) + "-" +
                std::to_string(kernel.last) + " (ip_local_port_range)");
}

ReservedPort::ReservedPort(int count, const std::vector<PortSpan>& spans) {
    reserve(count, spans, "in " + listed(spans));
}

void ReservedPort::reserve(int count, const std::vector<PortSpan>& spans,
                           const std::string& where) {
    // Where a run of `count` may start.
    std::vector<PortSpan> starts;
    for (const PortSpan& s : spans)
        if (count > 0 && s.last - s.first + 1 >= count) starts.push_back({s.first, s.last - count + 1});
    int total = 0;
    for (const PortSpan& s : starts) total += s.last - s.first + 1;
    // A random start, so that tests started together seldom try the same
    // numbers first.
    std::random_device seed;
    int from = total > 0 ? int(seed() % unsigned(total)) : 0;
    for (int i = 0; i < total; ++i) {
        int first = nthNumber(starts, (from + i) % total);
        if (!claim(first, count)) continue;
        number_ = first;
        return;
    }
    throw std::runtime_error("no " +
                             (count == 1 ? std::string("free port")
                                         : std::to_string(count) + " consecutive free ports") +
                             " to reserve " + where);
}

ReservedPort::~ReservedPort() {
    release();
}

void ReservedPort::release() {
    for (int s : claims_) ::close(s);
    claims_.clear();
}

bool ReservedPort::claim(int first, int count) {
    for (int number = first; number < first + count; ++number) {
        int s = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (s < 0) break;
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::string name = "korvand-test-port-" + std::to_string(number);
        std::memcpy(a.sun_path + 1, name.data(), name.size());  // abstract: sun_path[0] stays 0
        socklen_t len = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        bool held = ::bind(s, reinterpret_cast<sockaddr*>(&a), len) == 0;
        if (!held || !bindable(SOCK_STREAM, number) || !bindable(SOCK_DGRAM, number)) {
            ::close(s);
            break;
        }
        claims_.push_back(s);
    }
    if (claims_.size() == size_t(count) && count > 0) return true;
    release();
    return false;
}

bool listensOn(pid_t pid, int port) {
    std::set<std::string> inodes;
    for (const TcpSocket& s : tcpSocketsAt(port))
        if (s.state == "0A") inodes.insert("socket:[" + s.inode + "]");
    if (inodes.empty()) return false;
    std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* fds = ::opendir(dir.c_str());
    if (!fds) return false;
    bool found = false;
    while (dirent* e = ::readdir(fds)) {
        char target[64];
        ssize_t n = ::readlink((dir + "/" + e->d_name).c_str(), target, sizeof target - 1);
        if (n > 0 && inodes.count(std::string(target, size_t(n)))) found = true;
    }
    ::closedir(fds);
    return found;
}
