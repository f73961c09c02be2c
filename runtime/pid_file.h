#ifndef KORVAND_RUNTIME_PID_FILE_H
#define KORVAND_RUNTIME_PID_FILE_H

#include <string>

namespace Linux {

// Publishes the process id in "/var/run/<name>.pid" (under the filesystem
// root) for the lifetime of the object.
class Run {
public:
    explicit Run(const char* name);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    const std::string& filePath() const { return path; }
    bool ok() const { return fd >= 0; }

private:
    bool stillOurs() const;

    int fd = -1;
    std::string path;
};

}  // namespace Linux

// The pid of a running process whose command name is `name`, or -1. `pid`
// is tried first when above 0.
int find_proc_by_name(const char* name, int pid);

#endif
