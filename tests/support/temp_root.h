#ifndef KORVAND_TESTS_SUPPORT_TEMP_ROOT_H
#define KORVAND_TESTS_SUPPORT_TEMP_ROOT_H

#include <string>

// A private filesystem root: a temporary directory with the daemon's
// usual folders, published as KORVAND_ROOT while the object lives.
class TempRoot {
public:
    TempRoot();
    // The root at `below` (an absolute path) inside a fresh temporary
    // directory, its folders made by the program `layout`, which is given
    // the root's path.
    TempRoot(const std::string& below, const std::string& layout);
    ~TempRoot();
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;

    const std::string& dir() const { return dir_; }
    // The temporary directory that holds the root (the root itself unless
    // it was made below).
    const std::string& top() const { return top_; }
    std::string path(const std::string& absolute) const { return dir_ + absolute; }
    void writeFile(const std::string& absolute, const std::string& content) const;
    std::string readFile(const std::string& absolute) const;
    bool exists(const std::string& absolute) const;

private:
    std::string top_, dir_;
};

#endif
