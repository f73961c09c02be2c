#ifndef KORVAND_MONITORING_STATUS_TREE_H
#define KORVAND_MONITORING_STATUS_TREE_H

#include <string>
#include <vector>

// The directory "/var/monitoring/" below the filesystem root and the
// entries the monitoring keeps in it, for readers outside the process.
//
// Every operation takes an absolute path below that directory and walks to
// it from the top one component at a time without following symbolic
// links, so nothing planted in the tree can redirect a write or a removal
// outside it. Files are replaced whole: written under a temporary name
// beside the file, then renamed over it, so a reader never sees a file cut
// short and a link or hard link at the file's name is replaced, not
// written through. Temporary names begin with ".", which no entry named
// from outside may (see isEntryName), and are unique to the write, so they
// never meet an entry of the tree. Each operation returns 0 or the errno of
// the failure.
namespace StatusTree {

extern const char* const kTop;  // "/var/monitoring/"

// True when `name` can stand as one component of a path in the tree: not
// empty, not "." or "..", and without "/" or NUL.
bool isComponent(const std::string& name);

// True when `name` may be given to an entry from outside (a set command's
// section or name): a component that does not begin with ".", as the
// tree's temporary names do.
bool isEntryName(const std::string& name);

// Makes the directory (mode 0755) when it is missing; the top itself may be
// made too, its parent must exist. `created` tells whether it was made. An
// existing directory that any local user could write to (as earlier
// versions made them) is set to 0755.
int makeDirectory(const std::string& path, bool* created = nullptr);

// Replaces the file with `content`.
int replaceFile(const std::string& path, const std::string& content);

// Replaces the entry with a symbolic link to `target`.
int replaceLink(const std::string& path, const std::string& target);

// The names of the directory's entries other than "." and "..".
int list(const std::string& path, std::vector<std::string>& names);

// Removes a file or a link, or a directory when it is empty.
int remove(const std::string& path);

}  // namespace StatusTree

#endif
