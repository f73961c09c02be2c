#include "tests/support/standins.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "runtime/child_wait.h"
#include "tests/support/daemon_process.h"

namespace {

const char* const kPrograms[] = {"/usr/local/sbin/pppd", "/usr/local/sbin/fax", "/usr/local/bin/fax",
                                 "/usr/local/sbin/t38"};

}  // namespace

Standins::Standins(const TempRoot& root) : root_(root) {
    for (const char* p : kPrograms) install(p);
}

void Standins::install(const std::string& path) const {
    root_.writeFile(path, "");
    std::string at = root_.path(path);
    ::unlink(at.c_str());
    std::string target = buildProgram("tests/standins/outside_program");
    if (::symlink(target.c_str(), at.c_str()) != 0) std::abort();
}

void Standins::configure(const std::string& role, const std::string& commands) const {
    root_.writeFile("/standins/" + role + ".conf", commands);
}

bool Standins::ran(const std::string& role, int n) const {
    return root_.exists("/standins/" + role + "." + std::to_string(n) + "/ready");
}

std::string Standins::run(const std::string& role, int n, int ms) const {
    if (!waitFor([&] { return ran(role, n); }, ms)) return std::string();
    return "/standins/" + role + "." + std::to_string(n);
}

std::vector<std::string> Standins::argv(const std::string& run) const {
    std::vector<std::string> out;
    std::string all = file(run, "argv");
    for (size_t at = 0; at < all.size();) {
        size_t end = all.find('\0', at);
        out.push_back(all.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

std::string Standins::file(const std::string& run, const std::string& name) const {
    return root_.readFile(run + "/" + name);
}

bool Standins::waitFile(const std::string& run, const std::string& name, const std::string& text, int ms) const {
    return waitFor([&] { return file(run, name).find(text) != std::string::npos; }, ms);
}

// ---- children ---------------------------------------------------------------------

std::vector<int> childPids() {
    std::vector<int> pids;
    std::string self = std::to_string(::getpid());
    DIR* proc = ::opendir("/proc");
    if (!proc) return pids;
    while (dirent* e = ::readdir(proc)) {
        char* end;
        long pid = std::strtol(e->d_name, &end, 10);
        if (*end || pid <= 0) continue;
        std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        std::getline(stat, line);
        size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        std::string state, ppid;
        rest >> state >> ppid;
        if (ppid == self) pids.push_back(int(pid));
    }
    ::closedir(proc);
    return pids;
}

ChildScope::ChildScope() {
    ChildWait::Activate();
}

ChildScope::~ChildScope() {
    for (int pid : childPids()) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    ChildWait::Cleanup();
    ChildWait::Initialize();
    ::signal(SIGCHLD, SIG_DFL);
}
