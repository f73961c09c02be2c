// A stand-in for the outside programs the daemon starts (pppd, the fax
// sender and receiver, the T.38 program), for the tests. A test installs it
// below its KORVAND_ROOT at the paths the daemon runs. Its role is the
// folder and name it was started as: argv[0] "/usr/local/sbin/pppd" is
// "sbin-pppd", "/usr/local/bin/fax" is "bin-fax"; "-count" is added when
// the first argument is "--num-of-instances".
//
// Each run records itself in $KORVAND_ROOT/standins/<role>.<n>/, n the
// first free number from 1:
//   argv      the arguments, each followed by a NUL
//   cwd       the working directory
//   ready     made last, once the signals are set up: the run may be
//             signalled from now on
//   stdin     the bytes read from the standard input ("read-stdin")
//   signals   one line per SIGHUP or SIGTERM received: "HUP", "TERM"
//   records   each authentication record received, one line of hex
// and behaves as $KORVAND_ROOT/standins/<role>.conf says, one command a
// line:
//   print <text>          writes the text and a newline on its output
//   exit <code>           then exits with the code
//   ignore HUP|TERM       survives the signal (it still records it);
//                         otherwise either ends the run with status 0
//   read-stdin            copies its standard input into "stdin"
//   auth <port> <key> <user> <password>
//                         connects to 127.0.0.1:<port> and sends an
//                         authentication request (type 1) for <key>;
//                         after an address record (type 3) comes back it
//                         sends accounting (type 4) with the "acct" counters
//   acct <octetsOut> <octetsIn> <packetsOut> <packetsIn> <time>
// Without "exit" it runs until a signal ends it.

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t hups = 0;
volatile sig_atomic_t terms = 0;

void OnSignal(int sig) {
    if (sig == SIGHUP) ++hups;
    if (sig == SIGTERM) ++terms;
}

struct Config {
    std::vector<std::string> print;
    bool exits = false;
    int exitCode = 0;
    bool ignoreHup = false;
    bool ignoreTerm = false;
    bool readStdin = false;
    int authPort = 0;
    uint32_t key = 0;
    std::string user, password;
    uint64_t acct[5] = {0, 0, 0, 0, 0};
};

std::string Role(int argc, char** argv) {
    std::string path = argv[0];
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string dir = slash == std::string::npos ? "" : path.substr(0, slash);
    size_t up = dir.rfind('/');
    std::string role = (up == std::string::npos ? dir : dir.substr(up + 1)) + "-" + name;
    if (argc > 1 && std::string(argv[1]) == "--num-of-instances") role += "-count";
    return role;
}

Config Read(const std::string& file) {
    Config c;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        if (verb == "print") {
            std::string text;
            std::getline(words >> std::ws, text);
            c.print.push_back(text);
        } else if (verb == "exit") {
            c.exits = true;
            words >> c.exitCode;
        } else if (verb == "ignore") {
            std::string sig;
            words >> sig;
            c.ignoreHup |= sig == "HUP";
            c.ignoreTerm |= sig == "TERM";
        } else if (verb == "read-stdin") {
            c.readStdin = true;
        } else if (verb == "auth") {
            words >> c.authPort >> c.key >> c.user >> c.password;
        } else if (verb == "acct") {
            for (uint64_t& v : c.acct) words >> v;
        }
    }
    return c;
}

void Append(const std::string& file, const std::string& text) {
    std::ofstream(file, std::ios::app) << text << std::flush;
}

// The run's folder: the first free <role>.<n>.
std::string RunFolder(const std::string& base, const std::string& role) {
    ::mkdir(base.c_str(), 0755);
    for (int n = 1;; ++n) {
        std::string dir = base + "/" + role + "." + std::to_string(n);
        if (::mkdir(dir.c_str(), 0755) == 0) return dir;
        if (errno != EEXIST) std::exit(120);
    }
}

// ---- the authentication link ----------------------------------------------------

void Word(std::vector<uint8_t>& out, uint32_t w) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(w >> shift));
}

void Text(std::vector<uint8_t>& out, const std::string& text, size_t field) {
    for (size_t i = 0; i < field; ++i) out.push_back(i < text.size() ? uint8_t(text[i]) : 0);
}

bool SendAll(int fd, const std::vector<uint8_t>& bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

int Connect(const Config& c) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(c.authPort));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) std::exit(121);
    std::vector<uint8_t> request;
    Word(request, 140);
    Word(request, 1);
    Word(request, c.key);
    Text(request, c.user, 64);
    Text(request, c.password, 64);
    if (!SendAll(fd, request)) std::exit(122);
    return fd;
}

void SendAccounting(int fd, const Config& c) {
    std::vector<uint8_t> acct;
    Word(acct, 64);
    Word(acct, 4);
    Word(acct, c.key);
    for (int i = 0; i < 3; ++i) Word(acct, 0);
    for (int i = 0; i < 4; ++i) {
        Word(acct, uint32_t(c.acct[i] >> 32));
        Word(acct, uint32_t(c.acct[i]));
    }
    Word(acct, uint32_t(c.acct[4]));
    Word(acct, 0);
    SendAll(fd, acct);
}

// Reads what arrived; each whole record goes to "records". False at the end
// of the connection.
bool ReadRecords(int fd, std::vector<uint8_t>& buffer, const std::string& run, const Config& c) {
    uint8_t chunk[1024];
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer.insert(buffer.end(), chunk, chunk + n);
    while (buffer.size() >= 4) {
        uint32_t length = uint32_t(buffer[0]) << 24 | uint32_t(buffer[1]) << 16 | uint32_t(buffer[2]) << 8 | buffer[3];
        if (length < 12 || buffer.size() < length) break;
        std::string hex;
        char pair[3];
        for (uint32_t i = 0; i < length; ++i) {
            std::snprintf(pair, sizeof pair, "%02x", buffer[i]);
            hex += pair;
        }
        Append(run + "/records", hex + "\n");
        if (buffer[7] == 3) SendAccounting(fd, c);
        buffer.erase(buffer.begin(), buffer.begin() + length);
    }
    return true;
}

// ---- the run ----------------------------------------------------------------------

void Record(const std::string& run, int argc, char** argv) {
    std::string args;
    for (int i = 0; i < argc; ++i) args += std::string(argv[i]) + '\0';
    std::ofstream(run + "/argv", std::ios::binary) << args;
    char cwd[4096];
    std::ofstream(run + "/cwd") << (::getcwd(cwd, sizeof cwd) ? cwd : "?");
}

// Records the signals; true when one of them ends the run.
bool Signalled(const std::string& run, const Config& c) {
    bool ends = false;
    for (; hups > 0; --hups) {
        Append(run + "/signals", "HUP\n");
        ends |= !c.ignoreHup;
    }
    for (; terms > 0; --terms) {
        Append(run + "/signals", "TERM\n");
        ends |= !c.ignoreTerm;
    }
    return ends;
}

}  // namespace

int main(int argc, char** argv) {
    const char* rootEnv = std::getenv("KORVAND_ROOT");
    std::string base = std::string(rootEnv ? rootEnv : "") + "/standins";
    std::string role = Role(argc, argv);
    Config config = Read(base + "/" + role + ".conf");
    std::string run = RunFolder(base, role);
    Record(run, argc, argv);

    sigset_t blocked, old;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGHUP);
    sigaddset(&blocked, SIGTERM);
    sigprocmask(SIG_BLOCK, &blocked, &old);
    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    sigaction(SIGHUP, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::ofstream(run + "/ready");

    for (const std::string& line : config.print) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (config.exits) return config.exitCode;

    int auth = config.authPort ? Connect(config) : -1;
    std::vector<uint8_t> received;
    bool input = config.readStdin;
    for (;;) {
        pollfd fds[2] = {{input ? STDIN_FILENO : -1, POLLIN, 0}, {auth, POLLIN, 0}};
        int ready = ::ppoll(fds, 2, nullptr, &old);
        if (Signalled(run, config)) return 0;
        if (ready <= 0) continue;
        if (fds[0].revents) {
            char buf[4096];
            ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n > 0)
                Append(run + "/stdin", std::string(buf, size_t(n)));
            else
                input = false;
        }
        if (fds[1].revents && !ReadRecords(auth, received, run, config)) {
            ::close(auth);
            auth = -1;
        }
    }
}
