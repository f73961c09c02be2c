#include "board/fs_root.h"

#include <unistd.h>

#include <cstdlib>

namespace Fs {

namespace {

int systemChdir(const char* resolved) {
    return ::chdir(resolved);
}

DirectoryChanger changer = systemChdir;

}  // namespace

std::string root() {
    const char* env = std::getenv("KORVAND_ROOT");
    std::string r = env ? env : "";
    while (!r.empty() && r.back() == '/') r.pop_back();
    return r;
}

std::string path(const std::string& absolute) {
    if (absolute.empty() || absolute[0] != '/') return absolute;
    return root() + absolute;
}

int changeDirectory(const std::string& absolute) {
    return changer(path(absolute).c_str());
}

DirectoryChanger setDirectoryChanger(DirectoryChanger next) {
    DirectoryChanger previous = changer;
    changer = next ? next : systemChdir;
    return previous;
}

}  // namespace Fs
