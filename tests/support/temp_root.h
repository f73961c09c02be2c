#ifndef KORVAND_TESTS_SUPPORT_TEMP_ROOT_H
#define KORVAND_TESTS_SUPPORT_TEMP_ROOT_H

#include <string>

// A private filesystem root: a temporary directory with the daemon's
// usual folders, published as KORVAND_ROOT while the object lives.
class TempRoot {
public:
    TempRoot();
    ~TempRoot();
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;

    const std::string& dir() const { return dir_; }
    std::string path(const std::string& absolute) const { return dir_ + absolute; }
    void writeFile(const std::string& absolute, const std::string& content) const;
    std::string readFile(const std::string& absolute) const;
    bool exists(const std::string& absolute) const;

private:
    std::string dir_;
};

#endif
