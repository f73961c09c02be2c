#include "monitoring/status_tree.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "board/fs_root.h"
#include "runtime/fd.h"

namespace StatusTree {

const char* const kTop = "/var/monitoring/";

namespace {

const mode_t kDirectoryMode = 0755;
const mode_t kFileMode = 0644;

// Closes a descriptor when it goes out of scope.
struct FdGuard {
    int fd;
    explicit FdGuard(int f) : fd(f) {}
    ~FdGuard() {
        if (fd >= 0) ::close(fd);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
};

// The components of `path` below the top; false when it is not below it or
// a component is not a plain name. Trailing slashes are dropped.
bool split(const std::string& path, std::vector<std::string>& parts) {
    size_t top = std::strlen(kTop);
    if (path.compare(0, top, kTop) != 0) return false;
    std::string rest = path.substr(top);
    while (!rest.empty() && rest.back() == '/') rest.pop_back();
    parts.clear();
    size_t start = 0;
    while (start < rest.size()) {
        size_t slash = rest.find('/', start);
        if (slash == std::string::npos) slash = rest.size();
        parts.push_back(rest.substr(start, slash - start));
        if (!isComponent(parts.back())) return false;
        start = slash + 1;
    }
    return true;
}

int openTop() {
    std::string top = Fs::path(kTop);
    return ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Opens the directory of the first `depth` components; -1 with errno set.
int openDirectory(const std::vector<std::string>& parts, size_t depth) {
    int fd = openTop();
    for (size_t i = 0; i < depth && fd >= 0; ++i) {
        int next = ::openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int err = errno;
        ::close(fd);
        errno = err;
        fd = next;
    }
    return fd;
}

// Opens the directory that holds the last component; `leaf` names it.
int openParent(const std::string& path, std::string& leaf) {
    std::vector<std::string> parts;
    if (!split(path, parts) || parts.empty()) {
        errno = EINVAL;
        return -1;
    }
    leaf = parts.back();
    return openDirectory(parts, parts.size() - 1);
}

int errnoOr0(bool ok) {
    return ok ? 0 : errno;
}

// A name for one write's temporary entry: hidden, so that no name given
// from outside can be it, and numbered by process and write.
std::string temporaryName() {
    static unsigned long writes = 0;
    return ".tmp." + std::to_string(::getpid()) + "." + std::to_string(++writes);
}

// Writes the new entry under a temporary name with `make`, then renames it
// over `leaf`. The temporary name is cleared first, without following it,
// in case a write that ended the process left it.
template <class Make>
int replace(const std::string& path, Make make) {
    std::string leaf;
    FdGuard dir(openParent(path, leaf));
    if (dir.fd < 0) return errno;
    std::string temp = temporaryName();
    ::unlinkat(dir.fd, temp.c_str(), 0);
    bool ok = make(dir.fd, temp) && ::renameat(dir.fd, temp.c_str(), dir.fd, leaf.c_str()) == 0;
    int err = errnoOr0(ok);
    if (!ok) ::unlinkat(dir.fd, temp.c_str(), 0);
    return err;
}

// Sets a directory that others may write to back to the usual mode.
void tighten(int fd) {
    struct stat st;
    if (::fstat(fd, &st) == 0 && (st.st_mode & S_IWOTH)) ::fchmod(fd, kDirectoryMode);
}

}  // namespace

bool isComponent(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool isEntryName(const std::string& name) {
    return isComponent(name) && name[0] != '.';
}

int makeDirectory(const std::string& path, bool* created) {
    if (created) *created = false;
    std::vector<std::string> parts;
    if (!split(path, parts)) return EINVAL;
    FdGuard existing(openDirectory(parts, parts.size()));
    if (existing.fd >= 0) {
        tighten(existing.fd);
        return 0;
    }
    bool ok;
    if (parts.empty()) {
        std::string top = Fs::path(kTop);
        ok = ::mkdir(top.c_str(), kDirectoryMode) == 0;
    } else {
        FdGuard parent(openDirectory(parts, parts.size() - 1));
        ok = parent.fd >= 0 && ::mkdirat(parent.fd, parts.back().c_str(), kDirectoryMode) == 0;
    }
    if (ok && created) *created = true;
    return errnoOr0(ok);
}

int replaceFile(const std::string& path, const std::string& content) {
    return replace(path, [&](int dir, const std::string& temp) {
        int fd = ::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          kFileMode);
        if (fd < 0) return false;
        bool ok = WriteAll(fd, content.data(), content.size());
        int err = errno;
        ok = ::close(fd) == 0 && ok;
        if (!ok && err) errno = err;
        return ok;
    });
}

int replaceLink(const std::string& path, const std::string& target) {
    return replace(path, [&](int dir, const std::string& temp) {
        return ::symlinkat(target.c_str(), dir, temp.c_str()) == 0;
    });
}

int list(const std::string& path, std::vector<std::string>& names) {
    names.clear();
    std::vector<std::string> parts;
    if (!split(path, parts)) return EINVAL;
    int fd = openDirectory(parts, parts.size());
    if (fd < 0) return errno;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        int err = errno;
        ::close(fd);
        return err;
    }
    while (const dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return 0;
}

int remove(const std::string& path) {
    std::string leaf;
    FdGuard dir(openParent(path, leaf));
    if (dir.fd < 0) return errno;
    if (::unlinkat(dir.fd, leaf.c_str(), 0) == 0) return 0;
    if (errno != EISDIR && errno != EPERM) return errno;
    return errnoOr0(::unlinkat(dir.fd, leaf.c_str(), AT_REMOVEDIR) == 0);
}

}  // namespace StatusTree
