#ifndef KORVAND_BENCH_DAEMON_LGCP_H
#define KORVAND_BENCH_DAEMON_LGCP_H

// What the benchmarks that drive a daemon on the simulated board send it:
// LGCP messages in TPKT frames, and commands on the board's control socket.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/gen/lgcp.h"
#include "bench/daemon.h"
#include "board/sim_board.h"

// The TPKT frame of the message written in value notation.
inline std::vector<uint8_t> EncodeLgcp(const std::string& text) {
    LGCP::Message msg;
    msg.setFromValueNotation(text);
    std::vector<char> payload;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    ASN1::encode(msg, &env, std::back_inserter(payload));
    std::vector<uint8_t> frame(payload.size() + 4);
    frame[0] = 3;
    frame[2] = uint8_t(frame.size() >> 8);
    frame[3] = uint8_t(frame.size());
    std::copy(payload.begin(), payload.end(), frame.begin() + 4);
    return frame;
}

// The message of a TPKT frame (header included); false when it does not
// decode.
inline bool DecodeLgcp(const std::vector<uint8_t>& frame, LGCP::Message& msg) {
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    const char* data = reinterpret_cast<const char*>(frame.data());
    return frame.size() >= 4 && ASN1::decode(data + 4, data + frame.size(), &env, msg, false);
}

// Reads one TPKT frame and decodes its message; false when the link fails
// or the message does not decode.
inline bool ReadLgcp(int fd, LGCP::Message& msg) {
    static std::vector<uint8_t> frame;
    return ReadFrame(fd, frame) && DecodeLgcp(frame, msg);
}

// Reads the next frame that is not a signal the daemon sends of itself at
// a controller's connection and on its timers (every trunk's status, the
// power supply's state), whatever the controller asked.
inline bool ReadAnswerFrame(int fd, std::vector<uint8_t>& frame) {
    for (;;) {
        if (!ReadFrame(fd, frame)) return false;
        LGCP::Message msg;
        if (!DecodeLgcp(frame, msg) || !msg.get_pdu().is_signal()) return true;
        const LGCP::Signal& s = msg.get_pdu().get_signal();
        if (!s.is_trunkStatus() && !s.is_power()) return true;
    }
}

// The board's control socket of the daemon under `root`.
struct BoardControl {
    explicit BoardControl(const std::string& root) {
        fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un self{};
        self.sun_family = AF_UNIX;
        ::bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof(sa_family_t));
        to.sun_family = AF_UNIX;
        std::strncpy(to.sun_path, (root + kSimControlPath).c_str(), sizeof to.sun_path - 1);
    }
    ~BoardControl() { ::close(fd); }
    BoardControl(const BoardControl&) = delete;
    BoardControl& operator=(const BoardControl&) = delete;

    // The board's answer to the command line, empty when none came.
    std::string Run(const std::string& line) {
        ::sendto(fd, line.data(), line.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        pollfd p{fd, POLLIN, 0};
        char buf[256];
        ssize_t n = ::poll(&p, 1, 2000) > 0 ? ::recv(fd, buf, sizeof buf, 0) : -1;
        return n < 0 ? "" : std::string(buf, size_t(n));
    }

    int fd;
    sockaddr_un to{};
};

#endif
