#ifndef KORVAND_RUNTIME_LOG_FILE_STREAM_BUF_H
#define KORVAND_RUNTIME_LOG_FILE_STREAM_BUF_H

#include <fstream>
#include <string>

// A stream buffer that writes hourly log files "<dir>/%Y_%m_%d-%H.log"
// (the directory below the filesystem root). Every line starts with
// "mm:ss:uuuuu: ", the time of the flush that wrote its first text. The
// file of the current date and hour is opened for appending at the first
// flush of a new hour, so a restart keeps what that hour logged, and the
// text of every flush reaches the file at once. The clock is the loop's
// (Mux::gettimeval).
class LogFileStreamBuf : public std::streambuf {
public:
    explicit LogFileStreamBuf(const std::string& dir);
    ~LogFileStreamBuf() override;
    LogFileStreamBuf(const LogFileStreamBuf&) = delete;
    LogFileStreamBuf& operator=(const LogFileStreamBuf&) = delete;

    // Opens the file of the current date and hour.
    void NewFile();
    // The path of the open file; empty before the first.
    const std::string& filePath() const { return mPath; }

protected:
    // Adopts `buffer` (allocated with new[]) as the put area.
    std::streambuf* setbuf(char* buffer, std::streamsize n) override;
    int sync() override;
    int_type overflow(int_type c) override;

private:
    void openFile(const std::string& stamp);
    void write(const char* begin, const char* end) { mFile->sputn(begin, end - begin); }

    std::filebuf* mFile;
    std::string mDir;
    std::string mStamp;  // date and hour of the open file
    std::string mPath;
    bool mMidLine = false;
    char* mArray = nullptr;
};

#endif
