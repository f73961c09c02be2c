// Phrase names from the controller against the voice directory: whatever
// the name, a phrase that opens is one of the regular files inside
// "/usr/local/voice/" below the root, never a directory, a file beside the
// directory reached through "..", or one named by an absolute path.

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "slots/play_slot.h"

namespace {

std::set<ino_t> playable;
std::string root;
const char* const kFiles[] = {"/usr/local/voice/a.raw", "/usr/local/voice/sub/b.raw", "/usr/local/secret.raw",
                              "/a.raw"};
const char* const kDirs[] = {"/usr/local/voice/sub", "/usr/local/voice", "/usr/local", "/usr", ""};

void removeRoot() {
    for (const char* f : kFiles) ::unlink((root + f).c_str());
    for (const char* d : kDirs) ::rmdir((root + d).c_str());
}

void file(const std::string& path, bool voice) {
    std::ofstream(path) << "x";
    struct stat st;
    if (voice && ::stat(path.c_str(), &st) == 0) playable.insert(st.st_ino);
}

bool setUp() {
    char dir[] = "/tmp/korvand-voice-names-XXXXXX";
    if (!::mkdtemp(dir)) std::abort();
    root = dir;
    std::atexit(removeRoot);
    for (size_t i = sizeof kDirs / sizeof kDirs[0] - 1; i-- > 0;) ::mkdir((root + kDirs[i]).c_str(), 0700);
    for (const char* f : kFiles) file(root + f, std::string(f).compare(0, 17, "/usr/local/voice/") == 0);
    ::setenv("KORVAND_ROOT", dir, 1);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = setUp();
    (void)ready;
    Fd f = PlaySlotFile::OpenPhrase(std::string(reinterpret_cast<const char*>(data), size));
    if (!f) return 0;
    struct stat st;
    if (::fstat(f.get(), &st) != 0 || !playable.count(st.st_ino)) std::abort();
    f.close();
    return 0;
}
