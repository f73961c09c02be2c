// scripts/run, as a user starts it from a clone. Its own steps run as they
// are; the package set-up, cmake and the daemon it builds are stand-ins,
// so that the test sees each build as it goes and what runs after it.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/e2e/daemon_fixture.h"

namespace {

// Configuring does nothing; a build holds until the file `go` appears
// beside its tree (or the tree goes), fails when it finds another build
// in its tree, and leaves a daemon that says how it was started and runs
// until it is stopped.
const char* const kCmake = R"(#!/bin/sh
[ "$1" = --build ] || exit 0
build=$2
mkdir "$build/building" 2>/dev/null || { echo "cmake: another build in $build" >&2; exit 1; }
while [ ! -e "$build/../go" ] && [ -d "$build" ]; do sleep 0.01; done
printf '#!/bin/sh\necho "korvand $KORVAND_BOARD $KORVAND_ROOT $*"\nexec sleep 3600\n' >"$build/korvand"
chmod +x "$build/korvand"
rmdir "$build/building"
)";

// Writes the program `relative` below `temp`, folders and all.
void writeProgram(const TempRoot& temp, const std::string& relative, const std::string& text) {
    temp.writeFile(relative, text);
    ::chmod(temp.path(relative).c_str(), 0755);
}

std::string readAll(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Two started at the same moment in one clone: the second waits, saying
// so, for the build the first is making, and both reach the daemon (the
// real one then refuses the second on its root), so the first's daemon
// holds no lock of the build's.
TEST(ScriptsRun, TwoStartedTogetherInOneCloneBuildInTurnAndBothReachTheDaemon) {
    TempRoot temp;
    for (const char* script : {"/run", "/root"})
        writeProgram(temp, "/clone/scripts" + std::string(script), readAll(std::string(KORVAND_SCRIPTS) + script));
    writeProgram(temp, "/clone/scripts/setup", "#!/bin/sh\n");
    writeProgram(temp, "/clone/bin/cmake", kCmake);
    const std::string clone = temp.path("/clone");
    const char* path = std::getenv("PATH");
    const std::vector<std::string> env = {"PATH=" + clone + "/bin:" + (path ? path : "/usr/bin:/bin")};

    ChildProcess one, other;
    ASSERT_TRUE(one.start(clone + "/scripts/run", {"--port", "1"}, env));
    ASSERT_TRUE(other.start(clone + "/scripts/run", {"--port", "1"}, env));
    const std::string waiting =
        "scripts/run: waiting for the build that another scripts/run is making in build/run\n";
    auto said = [&](const std::string& text) {
        return one.err().find(text) != std::string::npos || other.err().find(text) != std::string::npos;
    };
    ASSERT_TRUE(waitFor(
        [&] {
            return (temp.exists("/clone/build/run/building") && said(waiting)) || !one.running() || !other.running();
        },
        20000))
        << one.err() << other.err();
    ASSERT_TRUE(one.running() && other.running()) << one.err() << other.err();

    temp.writeFile("/clone/build/go", "");
    const std::string daemon = "korvand sim " + clone + "/build/run/root --port 1\n";
    EXPECT_TRUE(waitFor([&] { return one.out() == daemon && other.out() == daemon; }, 20000))
        << one.out() << one.err() << other.out() << other.err();
    EXPECT_FALSE(said("another build")) << one.err() << other.err();
    EXPECT_TRUE(one.running() && other.running());
}

}  // namespace
