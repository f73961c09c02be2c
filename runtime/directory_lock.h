#ifndef KORVAND_RUNTIME_DIRECTORY_LOCK_H
#define KORVAND_RUNTIME_DIRECTORY_LOCK_H

#include <string>

// An exclusive lock on a directory, held through a descriptor of its own
// while the object lives. The kernel drops the lock with the last copy of
// that descriptor, so a process that dies however it dies leaves nothing
// behind that stops the next one, and taking it changes nothing on disk.
// A fork's copy of the descriptor holds the lock too, so a process that
// detaches by forking keeps it; the programs this process starts
// (ChildProgram) close every descriptor of its that they are not given
// first thing after their fork, so they never hold it, however long they
// wait to exec.
class DirectoryLock {
public:
    // Takes the lock at once, or fails at once when another open of the
    // directory, in this process or another, holds it.
    explicit DirectoryLock(const std::string& dir);
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

    bool held() const { return fd_ >= 0; }
    // Why it is not held: EWOULDBLOCK while another holds it, or the error
    // of opening the directory; 0 when held.
    int error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

#endif
