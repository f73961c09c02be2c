#include "runtime/pid_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/fs_root.h"

namespace Linux {

Run::Run(const char* name) : path(Fs::path(std::string("/var/run/") + name + ".pid")) {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_SYNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    std::string pid = std::to_string(getpid());
    if (::write(fd, pid.data(), pid.size()) < 0) {
        // The file stays, empty; it is still removed at exit.
    }
    fsync(fd);
}

// Another instance may have rewritten the file since: it is ours only while
// it is the same file and still holds our pid.
bool Run::stillOurs() const {
    struct stat mine, now;
    if (fstat(fd, &mine) != 0 || stat(path.c_str(), &now) != 0) return false;
    if (mine.st_ino != now.st_ino || mine.st_dev != now.st_dev) return false;
    char buf[32] = {0};
    int rfd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (rfd < 0) return false;
    ssize_t n = ::read(rfd, buf, sizeof buf - 1);
    ::close(rfd);
    return n > 0 && std::string(buf, static_cast<size_t>(n)) == std::to_string(getpid());
}

Run::~Run() {
    if (fd < 0) return;
    if (stillOurs()) unlink(path.c_str());
    ::close(fd);
    fd = -1;
}

}  // namespace Linux

namespace {

bool commandIs(int pid, const char* name) {
    char file[32];
    snprintf(file, sizeof file, "/proc/%d/stat", pid);
    int fd = ::open(file, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[256];
    std::memset(buf, 0, sizeof buf);
    ssize_t n = ::read(fd, buf, 255);
    ::close(fd);
    if (n <= 0) return false;
    char* close = std::strrchr(buf, ')');
    char* open = std::strchr(buf, '(');
    if (!close || !open || open > close) return false;
    *close = '\0';
    return std::strcmp(open + 1, name) == 0;
}

}  // namespace

int find_proc_by_name(const char* name, int pid) {
    if (pid > 0 && commandIs(pid, name)) return pid;
    DIR* dir = opendir("/proc");
    if (!dir) return -1;
    int found = -1;
    while (struct dirent* e = readdir(dir)) {
        int candidate = std::atoi(e->d_name);
        if (candidate > 0 && commandIs(candidate, name)) {
            found = candidate;
            break;
        }
    }
    closedir(dir);
    return found;
}
