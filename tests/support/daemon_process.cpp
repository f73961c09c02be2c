#include "tests/support/daemon_process.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string tempFile(const char* tag) {
    std::string t = std::string("/tmp/korvand-") + tag + "-XXXXXX";
    std::vector<char> buf(t.begin(), t.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd >= 0) close(fd);
    return buf.data();
}

}  // namespace

ChildProcess::~ChildProcess() {
    endInput();
    if (pid_ > 0 && status_ == -1) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (!outFile_.empty()) unlink(outFile_.c_str());
    if (errFile_.empty()) return;
    // A daemon on the simulated board names each board descriptor it
    // closed around the board; none may.
    EXPECT_FALSE(boardReported(err())) << err();
    unlink(errFile_.c_str());
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env, const std::string& stdinText) {
    std::string inFile = tempFile("in");
    std::ofstream(inFile, std::ios::binary) << stdinText;
    int in = open(inFile.c_str(), O_RDONLY | O_CLOEXEC);
    unlink(inFile.c_str());
    return launch(program, args, env, in);
}

// A stream socket pair rather than a pipe: a write to a child that has
// gone fails instead of raising SIGPIPE in the test.
bool ChildProcess::startFed(const std::string& program, const std::vector<std::string>& args,
                            const std::vector<std::string>& env) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
    input_ = ends[1];
    return launch(program, args, env, ends[0]);
}

bool ChildProcess::feed(const std::string& text) {
    return input_ >= 0 &&
           send(input_, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
}

void ChildProcess::endInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
}

bool ChildProcess::launch(const std::string& program, const std::vector<std::string>& args,
                          const std::vector<std::string>& env, int in) {
    outFile_ = tempFile("out");
    errFile_ = tempFile("err");
    int out = open(outFile_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    int err = open(errFile_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (const std::string& e : env) putenv(strdup(e.c_str()));
        std::vector<char*> argv;
        argv.push_back(strdup(program.c_str()));
        for (const std::string& a : args) argv.push_back(strdup(a.c_str()));
        argv.push_back(nullptr);
        execve(program.c_str(), argv.data(), environ);
        _exit(127);
    }
    close(in);
    close(out);
    close(err);
    return pid_ >= 0;
}

void ChildProcess::signal(int sig) const {
    if (pid_ > 0) kill(pid_, sig);
}

int ChildProcess::wait(int ms) {
    if (status_ != -1) return status_;
    for (int waited = 0; waited <= ms; waited += 5) {
        int st = 0;
        pid_t r = waitpid(pid_, &st, WNOHANG);
        if (r == pid_) {
            status_ = st;
            return st;
        }
        usleep(5000);
    }
    return -1;
}

int ChildProcess::stop(int ms) {
    if (running()) signal(SIGTERM);
    return wait(ms);
}

bool ChildProcess::running() {
    if (status_ != -1) return false;
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) == pid_) {
        status_ = st;
        return false;
    }
    return true;
}

std::string ChildProcess::out() const { return slurp(outFile_); }
std::string ChildProcess::err() const { return slurp(errFile_); }

bool boardReported(const std::string& err) {
    return err.find("sim board: descriptor ") != std::string::npos;
}

std::string buildProgram(const std::string& relative) {
    const char* bin = getenv("KORVAND_TEST_BIN");
    return std::string(bin ? bin : ".") + "/" + relative;
}

std::vector<std::string> korvandEnvironment(const std::string& root) {
    return {"KORVAND_BOARD=sim", "KORVAND_ROOT=" + root};
}

bool startKorvand(ChildProcess& p, const std::string& root, const std::vector<std::string>& args,
                  const std::vector<std::string>& env) {
    std::vector<std::string> e = korvandEnvironment(root);
    e.insert(e.end(), env.begin(), env.end());
    return p.start(buildProgram("korvand"), args, e);
}
