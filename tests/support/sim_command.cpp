#include "tests/support/sim_command.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "board/sim_board.h"

std::string simCommand(const std::string& root, const std::string& line, int timeoutMs) {
    std::string path = root + kSimControlPath;
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un self;
    std::memset(&self, 0, sizeof self);
    self.sun_family = AF_UNIX;
    // An abstract address of the kernel's choosing, so the reply finds us.
    bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof(sa_family_t));
    sockaddr_un to;
    std::memset(&to, 0, sizeof to);
    to.sun_family = AF_UNIX;
    std::strncpy(to.sun_path, path.c_str(), sizeof to.sun_path - 1);
    std::string reply = "error: no reply";
    if (sendto(fd, line.data(), line.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) >= 0) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) > 0) {
            char buf[65536];
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n >= 0) reply.assign(buf, static_cast<size_t>(n));
        }
    }
    close(fd);
    return reply;
}
