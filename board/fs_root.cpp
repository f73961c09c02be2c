#include "board/fs_root.h"

#include <cstdlib>

namespace Fs {

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

}  // namespace Fs
