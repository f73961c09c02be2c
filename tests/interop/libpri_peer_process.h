#ifndef KORVAND_TESTS_INTEROP_LIBPRI_PEER_PROCESS_H
#define KORVAND_TESTS_INTEROP_LIBPRI_PEER_PROCESS_H

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// A SETUP on a primary-rate interface: a two-octet call reference, speech,
// B channel 1, called number "5678". Each call takes a new reference: the
// peer clears our calls, and we never answer at layer 3.
inline std::vector<uint8_t> setupMessage(uint8_t callReference) {
    return {0x08, 0x02, 0x00, callReference, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3, 0x18,
            0x03, 0xA9, 0x83, 0x81,          0x70, 0x05, 0x81, 0x35, 0x36, 0x37, 0x38};
}

// The peer program, with its standard input and output.
class PeerProcess {
  public:
    PeerProcess(const std::string& socket, const char* role) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::execl(LIBPRI_PEER, LIBPRI_PEER, socket.c_str(), role, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        toPeer = in[1];
        fromPeer = out[0];
        ::fcntl(fromPeer, F_SETFL, O_NONBLOCK);
    }
    ~PeerProcess() { kill(); }

    void command(const std::string& line) {
        std::string l = line + "\n";
        ASSERT_EQ(ssize_t(l.size()), ::write(toPeer, l.data(), l.size()));
    }
    // Whether the peer has said `line` (reading what it wrote so far).
    bool said(const std::string& line) {
        char buf[4096];
        for (ssize_t n; (n = ::read(fromPeer, buf, sizeof buf)) > 0;) text.append(buf, size_t(n));
        return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
    }
    void kill() {
        if (pid <= 0) return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        ::close(toPeer);
        ::close(fromPeer);
        pid = -1;
    }

    pid_t pid = -1;
    int toPeer = -1;
    int fromPeer = -1;
    std::string text;
};

#endif
