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

}  // namespace Fs

#endif
