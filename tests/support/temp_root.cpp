#include "tests/support/temp_root.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

void makeDirs(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}

std::string makeTop() {
    char tmpl[] = "/tmp/korvand-root-XXXXXX";
    return mkdtemp(tmpl);
}

}  // namespace

TempRoot::TempRoot() : top_(makeTop()), dir_(top_) {
    for (const char* d : {"/var/run", "/var/log", "/var/monitoring", "/usr/local/etc", "/dev", "/proc"})
        makeDirs(dir_ + d);
    setenv("KORVAND_ROOT", dir_.c_str(), 1);
}

TempRoot::TempRoot(const std::string& below, const std::string& layout) : top_(makeTop()), dir_(top_ + below) {
    std::string cmd = "'" + layout + "' '" + dir_ + "'";
    if (system(cmd.c_str()) != 0) ADD_FAILURE() << cmd << " did not lay out the root";
    setenv("KORVAND_ROOT", dir_.c_str(), 1);
}

TempRoot::~TempRoot() {
    unsetenv("KORVAND_ROOT");
    std::string cmd = "rm -rf '" + top_ + "'";
    if (system(cmd.c_str()) != 0) {
        // Leaving a temporary directory behind is harmless.
    }
}

void TempRoot::writeFile(const std::string& absolute, const std::string& content) const {
    std::string p = path(absolute);
    makeDirs(p.substr(0, p.rfind('/')));
    std::ofstream(p, std::ios::binary) << content;
}

std::string TempRoot::readFile(const std::string& absolute) const {
    std::ifstream in(path(absolute), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool TempRoot::exists(const std::string& absolute) const { return access(path(absolute).c_str(), F_OK) == 0; }
