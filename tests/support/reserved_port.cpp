#include "tests/support/reserved_port.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>

namespace {

// How many numbers below the kernel's range a test may be given.
const int kSpan = 8192;

// The lowest port of the range the kernel picks local ports from.
int kernelRangeStart() {
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    int low = 32768;
    range >> low;
    return low;
}

// Whether a socket of `type` binds `port` of every address, without
// sharing it: no socket of any process has it, nor a connection lingering
// in TIME_WAIT.
bool bindable(int type, int port) {
    int s = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (s < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    bool free = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return free;
}

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
        f >> slot >> local >> remote >> s.state >> s.queues >> timer >> retransmits >> uid >> timeout >> s.inode;
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
    int top = kernelRangeStart() - count;
    int bottom = std::max(1024, top - kSpan + 1);
    int span = top - bottom + 1;
    if (span <= 0) {
        ADD_FAILURE() << "no ports below the kernel's local range to reserve";
        return;
    }
    // A random start, so that tests started together seldom try the same
    // numbers first.
    std::random_device seed;
    int start = int(seed() % unsigned(span));
    for (int i = 0; i < span; ++i) {
        int n = bottom + (start + i) % span;
        if (claim(n, count)) {
            number_ = n;
            return;
        }
    }
    ADD_FAILURE() << "no free port to reserve in " << bottom << "-" << top;
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
