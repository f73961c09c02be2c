#ifndef KORVAND_BOARD_FS_ROOT_H
#define KORVAND_BOARD_FS_ROOT_H

#include <string>

// Every absolute path of a file that the daemon reads or writes passes
// through Fs::path, which puts the value of KORVAND_ROOT in front of it.
// Without KORVAND_ROOT the paths are used as they are. /proc/<pid> process
// lookups do not use it.
namespace Fs {

// The root directory, without a trailing slash; empty for "/".
std::string root();

// `absolute` below the root. Relative paths are returned unchanged.
std::string path(const std::string& absolute);

// Makes `absolute` (below the root) the working directory of the process,
// through the installed directory changer. Returns 0, or -1 with errno set.
int changeDirectory(const std::string& absolute);

// What changes the working directory, given the path below the root. The
// default is chdir; a test that must keep its working directory installs
// its own and puts the previous one back (null restores chdir).
typedef int (*DirectoryChanger)(const char* resolved);
DirectoryChanger setDirectoryChanger(DirectoryChanger changer);

}  // namespace Fs

#endif
