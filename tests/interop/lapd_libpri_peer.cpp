// An independent Q.921/Q.931 stack at the far end of a link: Debian's
// libpri, run over a SOCK_SEQPACKET socket that carries one frame per
// datagram (a simulated MCC channel handed to an outside process).
//
//   lapd_libpri_peer SOCKET network|user
//
// Commands on standard input, one a line:
//   setup DIGITS    place a call to DIGITS (a SETUP goes out)
//   drop-rx N       lose the next N frames that arrive
//   drop-tx N       lose the next N frames libpri sends
//   quit
// Reports on standard output, one a line: "up", "down", "ring DIGITS" (a
// SETUP arrived; the call is then cleared with cause 16), "hangup CAUSE",
// "error TEXT". With LAPD_LIBPRI_PEER_DEBUG set, libpri's own traces go to
// standard error.

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {
#include <libpri.h>
}

// libpri keeps its calls and timers until the process ends.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpri\n";
}

namespace {

// libpri reads and writes each frame with room for the two check octets
// that a D-channel device adds.
const int kCheckOctets = 2;

int dropRx = 0;
int dropTx = 0;

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int readFrame(struct pri* pri, void* buf, int len) {
    ssize_t n = ::recv(pri_fd(pri), buf, size_t(len - kCheckOctets), MSG_DONTWAIT);
    return n <= 0 ? -1 : int(n) + kCheckOctets;
}

// A frame lost on the way in: libpri never sees it.
void loseFrame(int fd) {
    char buf[512];
    if (::recv(fd, buf, sizeof buf, MSG_DONTWAIT) >= 0) --dropRx;
}

int writeFrame(struct pri* pri, void* buf, int len) {
    if (dropTx > 0) {
        --dropTx;
        return len;
    }
    ssize_t n = ::send(pri_fd(pri), buf, size_t(len - kCheckOctets), MSG_NOSIGNAL);
    return n < 0 ? -1 : int(n) + kCheckOctets;
}

void quietly(struct pri*, char*) {}
void toStandardError(struct pri*, char* text) {
    std::fputs(text, stderr);
}

void reportError(struct pri*, char* text) {
    std::string line(text);
    while (!line.empty() && line.back() == '\n') line.pop_back();
    say("error " + line);
}

int connectTo(const char* path) {
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
    return fd;
}

void handle(struct pri* pri, pri_event* e) {
    switch (e->e) {
        case PRI_EVENT_DCHAN_UP:
            return say("up");
        case PRI_EVENT_DCHAN_DOWN:
            return say("down");
        case PRI_EVENT_RING:
            say(std::string("ring ") + e->ring.callednum);
            pri_hangup(pri, e->ring.call, PRI_CAUSE_NORMAL_CLEARING);
            return;
        case PRI_EVENT_HANGUP:
            say("hangup " + std::to_string(e->hangup.cause));
            pri_hangup(pri, e->hangup.call, e->hangup.cause);
            return;
        default:
            return;
    }
}

void setup(struct pri* pri, const std::string& digits) {
    q931_call* call = pri_new_call(pri);
    struct pri_sr* sr = pri_sr_new();
    if (!call || !sr) return say("error no call");
    pri_sr_set_channel(sr, 1, 1, 0);
    pri_sr_set_bearer(sr, PRI_TRANS_CAP_SPEECH, PRI_LAYER_1_ALAW);
    std::string called = digits;
    pri_sr_set_called(sr, &called[0], PRI_UNKNOWN, 1);
    if (pri_setup(pri, call, sr) != 0) say("error setup");
    pri_sr_free(sr);
}

// One command line; false to stop.
bool command(struct pri* pri, const std::string& line) {
    size_t blank = line.find(' ');
    std::string verb = line.substr(0, blank),
                arg = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (verb == "quit") return false;
    if (verb == "setup") setup(pri, arg);
    if (verb == "drop-rx") dropRx += std::atoi(arg.c_str());
    if (verb == "drop-tx") dropTx += std::atoi(arg.c_str());
    return true;
}

int timeoutMs(struct pri* pri) {
    struct timeval* next = pri_schedule_next(pri);
    if (!next) return 1000;
    struct timeval now;
    gettimeofday(&now, nullptr);
    long ms = (next->tv_sec - now.tv_sec) * 1000 + (next->tv_usec - now.tv_usec) / 1000;
    return ms < 0 ? 0 : int(ms);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lapd_libpri_peer SOCKET network|user\n");
        return 2;
    }
    int fd = connectTo(argv[1]);
    if (fd < 0) {
        std::perror("lapd_libpri_peer: connect");
        return 1;
    }
    int node = std::strcmp(argv[2], "network") == 0 ? PRI_NETWORK : PRI_CPE;
    bool debug = std::getenv("LAPD_LIBPRI_PEER_DEBUG") != nullptr;
    pri_set_message(debug ? toStandardError : quietly);
    pri_set_error(reportError);
    struct pri* pri = pri_new_cb(fd, node, PRI_SWITCH_EUROISDN_E1, readFrame, writeFrame, nullptr);
    if (!pri) return 1;
    if (debug)
        pri_set_debug(pri, PRI_DEBUG_Q921_STATE | PRI_DEBUG_Q931_STATE | PRI_DEBUG_Q921_DUMP);

    std::string input;
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {0, POLLIN, 0}};
        int n = ::poll(p, 2, timeoutMs(pri));
        if (n == 0) {
            if (pri_event* e = pri_schedule_run(pri)) handle(pri, e);
            continue;
        }
        if (p[0].revents & (POLLHUP | POLLERR)) return 0;
        if ((p[0].revents & POLLIN) && dropRx > 0) {
            loseFrame(fd);
        } else if (p[0].revents & POLLIN) {
            if (pri_event* e = pri_check_event(pri)) handle(pri, e);
        }
        if (!(p[1].revents & (POLLIN | POLLHUP))) continue;
        char c[256];
        ssize_t got = ::read(0, c, sizeof c);
        if (got <= 0) return 0;
        input.append(c, size_t(got));
        for (size_t eol; (eol = input.find('\n')) != std::string::npos; input.erase(0, eol + 1))
            if (!command(pri, input.substr(0, eol))) return 0;
    }
}
